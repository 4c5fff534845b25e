// Getty mode on one serial port.
#pragma once

// Replaces the process with the IPMI serial process when IPMI is enabled and
// `port` is (or, when requested, becomes) the IPMI port; otherwise returns.
void startIpmi(int requested, int port);
// Sets the port up and answers it; returns only when a human is to be given
// the console.  `name` is the terminal's name, or null.
void doSerialLogin(int port, const char *name);
