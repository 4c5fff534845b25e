// Random bytes from the kernel's generator.
#include <errno.h>
#include <sys/random.h>

#include "platform/device_services.h"

// The kernel hands out at most 32 MiB per call and a signal may cut a call
// short, so the buffer is filled in a loop.  Without random numbers the
// caller cannot do its job, so a failure ends the process.
void randomBytes(void *buf, int n) {
  auto *p = static_cast<unsigned char *>(buf);
  while (n > 0) {
    ssize_t got = getrandom(p, static_cast<size_t>(n), 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      _pdie("randomBytes", "getrandom");
    }
    p += got;
    n -= static_cast<int>(got);
  }
}
