// USB test: connects the USB controller to the host and asks which of its
// emulated devices the host accepted.
#include <errno.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "diag/self_tests.h"
#include "platform/ioctls.h"

namespace {

// Bits of the controller's status byte.
constexpr unsigned kKeyboardGood = 0x80;
constexpr unsigned kMouseGood = 0x40;
constexpr unsigned kFloppyGood = 0x20;
constexpr unsigned kUsbGood = 0x10;

constexpr unsigned kConnectSettleSeconds = 2;

int bit(unsigned status, unsigned mask) { return (status & mask) ? 1 : 0; }

}  // namespace

int testUSB() {
  int fd = open("/dev/usbd", O_RDWR);
  if (fd < 0) {
    if (errno != ENOENT) testDie("testUSB", "open dev");
    // Reaching this test means the unit is sold with the USB option.
    printf("\n*** NOTE: Looks like USB chip not installed.\n");
    printf(".. but USB option is installed. Bad.\n\n");
    return 1;
  }
  if (ioctl(fd, USBD_CONNECT) != 0) testDie("testUSB", "USBD_CONNECT");
  // The host needs a moment to enumerate the devices after the connect.
  sleep(kConnectSettleSeconds);
  unsigned char status = 0;
  if (ioctl(fd, USBD_GET_STATUS, &status) != 0) testDie("testUSB", "USBD_GET_STATUS");
  fprintf(stderr, "usbGood=%d => kbdGood=%d msGood=%d fddGood=%d\n", bit(status, kUsbGood),
          bit(status, kKeyboardGood), bit(status, kMouseGood), bit(status, kFloppyGood));
  // Mouse and floppy are shown only; the host may not have taken them.
  const unsigned required = kKeyboardGood | kUsbGood;
  return (status & required) == required ? 0 : 1;
}
