// Inside the system log client, for its tests: where the log socket is.
#pragma once

// Lines go to the datagram socket at `path` from the next line on
// ("/dev/log" unless changed); the present connection is closed.
void logUseSocket(const char *path);
