// The simulated unit's real-time clock, read from a clock file.
#pragma once

#include <time.h>

struct RtcReading {
  time_t seconds;  // since the epoch; -1 when the clock cannot be read
  int valid;     // non-zero when the clock holds a time that was set
};

// Reads the clock file at path.  A missing or malformed file reads as
// {-1, 0}.
RtcReading readRtcFile(const char *path);
