// ATX test: the board driver checks the ATX power supply signals.
#include <fcntl.h>
#include <sys/ioctl.h>

#include "diag/self_tests.h"
#include "platform/ioctls.h"

int testATX() {
  int fd = open("/dev/qerl/0", O_RDWR);
  if (fd < 0) testDie("testATX", "open qerl/0");
  // The device stays open: the process ends right after the test.
  return ioctl(fd, QERL_ATX_TEST) == 0 ? 0 : 3;
}
