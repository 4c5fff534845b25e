// Flash partitions of the unit.  The boot ROM is the second partition of
// the flash; the simulated unit binds a file with its image at that node.
// No other kind of partition is looked up by this program.
#include "platform/device_services.h"

const char *mtdLookupPartition(int kind, int flags) {
  (void)flags;
  if (kind == kMtdBootRom) return "/dev/mtd1";
  return nullptr;
}
