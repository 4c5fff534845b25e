#include "main/batch.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/ioctls.h"

void rtcToSystemTime() {
  rtcSetup();
  long t = rtcGetTime(0);
  if (!rtcIsValid() || t == -1) return;
  struct timespec ts = {static_cast<time_t>(t), 0};
  clock_settime(CLOCK_REALTIME, &ts);
}

void setUsbDiskType() {
  int fd = open("/dev/usbd", O_RDWR);
  int diskType = cfgGetN("diskType");  // read whether or not the node opened
  if (fd < 0) return;
  ioctl(fd, USBD_SET_DISK_TYPE, &diskType);
  close(fd);
}
