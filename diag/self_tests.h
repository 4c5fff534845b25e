// The hardware self-tests behind setup -t.  Each returns its result code:
// 0 passed; 1 failed; some tests give further codes for particular faults.
#pragma once

#include <cstdio>

#include "platform/device_services.h"

int testATX();
int testEEPROM();
int testK();
int testM();
int testRPort();
int testUSB();

// A system call the test cannot go on without failed: report and end.
// Standard output is flushed first so that what the test printed comes out
// ahead of the report.
[[noreturn]] inline void testDie(const char *function, const char *operation) {
  fflush(stdout);
  _pdie(function, operation);
}
