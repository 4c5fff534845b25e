// Line reader behind readline(), on any descriptor.
#pragma once

// Reads one line from fd into buf (n + 1 bytes) as readline() does.
int readLineFrom(int fd, char *buf, int n);
