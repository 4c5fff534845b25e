// The two helpers of the batch option -x: the system clock from the
// real-time clock, and the stored disk type to the USB device driver.
#include "main/batch.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/ioctls.h"

// Units run well past January 2038: a 32-bit time_t would wrap the clock
// there (32-bit targets need the C library's _TIME_BITS=64).
static_assert(sizeof(time_t) >= 8, "time_t must be 64 bits wide");

// A clock that cannot be read (-1) or was never set leaves the system time
// alone.  The C library no longer offers stime(); clock_settime on the
// realtime clock is the same request to the kernel.  Its result does not
// matter: -x goes on either way.
void rtcToSystemTime() {
  rtcSetup();
  time_t t = rtcGetTime(0);
  if (!rtcIsValid() || t == -1) return;
  struct timespec ts = {t, 0};
  clock_settime(CLOCK_REALTIME, &ts);
}

// The driver takes the disk type as a 4-byte int; what it answers is not
// looked at.
void setUsbDiskType() {
  int fd = open("/dev/usbd", O_RDWR);
  int diskType = cfgGetN("diskType");  // read whether or not the node opened
  if (fd < 0) return;
  ioctl(fd, USBD_SET_DISK_TYPE, &diskType);
  close(fd);
}
