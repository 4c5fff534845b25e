// Ending the process on failures that leave nothing sensible to do.
#include <errno.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/device_services.h"

// "function: operation: error text" on standard error, the way perror
// reports, with the function naming where it happened.
void _pdie(const char *function, const char *operation) {
  int error = errno;
  fflush(stdout);
  fprintf(stderr, "%s: %s: %s\n", function, operation, strerror(error));
  exit(1);
}

// Reported on standard error and in the system log (standard error may be a
// serial line nobody watches, or closed), then aborted so that the state
// can be examined in a core file.
void __my_assert(const char *expression, const char *source,
                 const char *function, int line) {
  fflush(stdout);
  fprintf(stderr, "%s:%d: %s: Assertion `%s' failed.\n", source, line,
          function, expression);
  logIt(kLogError, "%s:%d: %s: Assertion `%s' failed.", source, line, function,
        expression);
  abort();
}
