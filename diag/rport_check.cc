// R-port power test: switches the power of the R-port off and on again and
// checks through the driver's status record that it followed.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "diag/self_tests.h"
#include "platform/ioctls.h"

namespace {

// R-port status record, filled by the driver.
constexpr int kStatusSize = 24;
constexpr int kPowerPresent = 0;   // non-zero: the port has power
constexpr int kPowerDisabled = 1;  // non-zero: the port's switch is off

constexpr int kPowerFailed = 2;
constexpr int kStillPowered = 3;
constexpr int kNotDisabled = 4;
constexpr int kNotRestored = 5;
constexpr int kCannotOpen = 99;

struct PowerState {
  bool present;
  bool disabled;
};

PowerState readPower(int fd) {
  unsigned char status[kStatusSize] = {};
  if (ioctl(fd, RPORT_GET_STATUS, status) != 0) testDie("testRPort", "RPORT_GET_STATUS");
  return {status[kPowerPresent] != 0, status[kPowerDisabled] != 0};
}

void sleepMs(long ms) {
  struct timespec wait = {ms / 1000, (ms % 1000) * 1000 * 1000};
  nanosleep(&wait, nullptr);
}

}  // namespace

// The operator watches the steps on the console, so each is shown before
// the wait that follows it.
int testRPort() {
  int fd = open("/dev/rport", O_RDWR);
  if (fd < 0) {
    perror("/dev/rport");
    return kCannotOpen;
  }

  printf("Turn on power... ");
  fflush(stdout);
  ioctl(fd, RPORT_POWER_ON);  // may be on already; the status tells
  sleepMs(100);
  PowerState power = readPower(fd);
  if (!power.present || power.disabled) {
    printf("Power is off already? Check +12v working and no shorts on R-port.\n");
    return kPowerFailed;
  }

  printf("OK\nTurn off power... ");
  fflush(stdout);
  if (ioctl(fd, RPORT_POWER_OFF) != 0) {
    printf("Wrong version of driver running. Version skew.\n");
    testDie("testRPort", "RPORT_POWER_OFF");
  }
  sleepMs(2000);  // the port's capacitors take a while to drain
  power = readPower(fd);
  if (!power.disabled) {
    printf("Power is not disabled?\n");
    return kNotDisabled;
  }
  if (power.present) {
    printf("Power is still on? Kill rhub. Check regulator and resistor network.\n");
    return kStillPowered;
  }

  printf("OK\nRestore power.\n");
  if (ioctl(fd, RPORT_POWER_ON) != 0) {
    printf("Unable to restore power?! Might be shorted.\n");
    return kNotRestored;
  }
  sleepMs(1000);
  power = readPower(fd);
  if (!power.present || power.disabled) {
    printf("Power is didn't come back?\n");
    return kNotRestored;
  }
  return 0;
}
