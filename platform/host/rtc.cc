// The real-time clock.  The simulated unit keeps it in one file holding
// "SECONDS VALID": seconds since the epoch (-1 when the clock cannot be
// read) and 1 or 0 for whether the clock was ever set (a clock that lost
// its battery runs, but from a wrong time).  Blanks and a line end around
// the numbers are allowed; anything else makes the clock unreadable: -1,
// not valid.  Every call reads the file again, as a clock chip is read
// again.
#include "platform/host/rtc.h"

#include <errno.h>

#include <cstdio>
#include <cstdlib>

#include "platform/device_services.h"
#include "platform/host/unit_paths.h"

namespace {

// Wide enough for a clock past 2038 whatever the width of long.
bool parseNumber(const char *text, char **end, long long *value) {
  char *stop;
  errno = 0;
  *value = strtoll(text, &stop, 10);
  if (stop == text || errno == ERANGE) return false;
  *end = stop;
  return true;
}

}  // namespace

RtcReading readRtcFile(const char *path) {
  const RtcReading unreadable = {-1, 0};
  char line[64];
  // readFirstLine() hands out a shared buffer; take a copy before parsing.
  snprintf(line, sizeof line, "%s", readFirstLine(path));
  char *p = trimL(line);
  long long seconds, valid;
  if (!parseNumber(p, &p, &seconds)) return unreadable;
  if (!parseNumber(p, &p, &valid)) return unreadable;
  if (*trimL(p) != '\0' || (valid != 0 && valid != 1) || seconds < -1)
    return unreadable;
  // A time this build's time_t cannot hold reads as an unreadable clock,
  // never as a wrapped one.
  time_t t = static_cast<time_t>(seconds);
  if (t != seconds) return unreadable;
  return {t, static_cast<int>(valid)};
}

// Nothing to prepare: the clock file is read on each call.
void rtcSetup() {}

time_t rtcGetTime(int flags) {
  (void)flags;
  return readRtcFile(unit::kRtc).seconds;
}

int rtcIsValid() { return readRtcFile(unit::kRtc).valid; }
