// Subtree 4: read-only identity of the unit (versions, serial number, LAN
// Ethernet address, OEM texts).
#include <climits>
#include <cstdio>

#include "platform/device_services.h"
#include "snmp/snmp_internal.h"

namespace {

constexpr int kLastIndex = 8;

}  // namespace

int doIdentity(const char *instance, int subtree, int next) {
  int index = leadingNumber(instance, nullptr);
  if (next && index < INT_MAX) ++index;
  if (index < 1 || index > kLastIndex) return -1;

  printf("%s.%d.%d\n", oidPrefix, subtree, index);
  switch (index) {
    case 1:
      printText(readFirstLine("/etc/version"));
      break;
    case 2:
      printf("string\n%06d\n", static_cast<int>(unitSerialNumber & 0xffff));
      break;
    case 3: {
      const unsigned char *mac = unitMacAddress;
      printf("octet\n%02x %02x %02x %02x %02x %02x.\n", mac[0], mac[1], mac[2],
             mac[3], mac[4], mac[5]);
      break;
    }
    case 4:
      printText(oem->productName);
      break;
    case 5:
      printText(oem->secondText);
      break;
    case 6:
      printText(oem->thirdText);
      break;
    case 7:
      fputs("string\nsorry, not supported anymore\n", stdout);
      break;
    default:
      printText(readFirstLine("/proc/version"));
      break;
  }
  return 0;
}
