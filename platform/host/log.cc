// The system log.  Lines carry the tag "setup" and the process id, so that
// the lines of the several setup processes on a unit (console, one per
// serial port, the SNMP extension) can be told apart.  The priority goes
// out exactly as the caller gives it: the program's own priorities carry
// their facility (local0); a bare level falls back to local0 as well.
#include <syslog.h>

#include <cstdarg>

#include "platform/device_services.h"

void logIt(int priority, const char *format, ...) {
  static bool opened = false;
  if (!opened) {
    openlog("setup", LOG_PID, LOG_LOCAL0);
    opened = true;
  }
  va_list args;
  va_start(args, format);
  vsyslog(priority, format, args);
  va_end(args);
}
