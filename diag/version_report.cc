// setup -V: the unit's hardware and firmware identity as name=value lines.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "diag/bootrom_text.h"
#include "diag/diag.h"
#include "platform/device_services.h"
#include "platform/ioctls.h"

namespace {

// Board information items of the board driver, by index.
constexpr const char *kBoardItems[] = {
    "fpga", "pci_dev", "cpld", "serial", "uid_l24", "uid_h24", "num_adcs", "num_inputs",
};

// An item the driver cannot give prints 0, as when the node is missing.
void printBoardInfo() {
  int fd = open("/dev/qerl/0", O_RDWR);
  for (int index = 0; index < 8; ++index) {
    int value = index;
    if (fd < 0 || ioctl(fd, QERL_GET_BOARD_INFO, &value) < 0) value = 0;
    printf("%s=%d\n", kBoardItems[index], value);
  }
  if (fd >= 0) close(fd);
}

void printUsbChip() {
  int fd = open("/dev/usbd", O_RDWR);
  printf("usb_chip=%d\n", fd >= 0 ? 1 : 0);
  if (fd >= 0) close(fd);
}

// Plain read(2) on the partition: the flash driver is a character device
// with no use for buffering.
void printBootRom() {
  const char *path = mtdLookupPartition(kMtdBootRom, 0);
  if (!path) return;
  int fd = open(path, O_RDONLY);
  if (fd < 0) return;
  char skip[kBootRomSkip];
  char text[kBootRomTextMax + 1];
  ssize_t n = read(fd, skip, sizeof skip);
  n = n < 0 ? -1 : read(fd, text, kBootRomTextMax);
  close(fd);
  if (n <= 0) return;
  const char *version = bootRomVersion(text, static_cast<size_t>(n));
  if (version) printf("bootrom=\"%s\"\n", version);
}

}  // namespace

int printVersion() {
  printf("product=%c\n", oem->productCode);
  printf("board=%c\n", oem->boardCode);
  printBoardInfo();
  printUsbChip();
  printBootRom();
  printf("oem_version=%d\noem_brand=%s\n", static_cast<int>(oem->oemVersion),
         tfGet(oemDB, "brand"));
  return 0;
}
