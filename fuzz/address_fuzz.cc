// The address and mask parsers: the dotted-quad parser takes only the
// canonical form, so whatever it accepts prints back as the same text; the
// console's address entry agrees with it on dotted text and turns "/n"
// into a mask of n leading ones.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/console_internal.h"
#include "fuzz/stand_ins.h"
#include "platform/device_services.h"

using fuzzing::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  char text[64];
  if (size >= sizeof text) return 0;
  memcpy(text, data, size);
  text[size] = 0;

  uint32_t address = 0;
  bool dotted = strToIP(text, &address) == 0;
  if (dotted) check(strcmp(ipToStr(address), text) == 0, "an accepted address is canonical");
  if (size >= 4) {
    uint32_t any;
    memcpy(&any, data, 4);
    uint32_t back = ~any;
    check(strToIP(ipToStr(any), &back) == 0 && back == any, "every address prints and parses back");
  }

  if (!text[0]) return 0;
  uint32_t value = 0xDEADBEEF;
  AddressEntry entry = parseAddressEntry(text, &value);
  if (dotted) {
    check(entry == AddressEntry::kAccepted && value == address, "dotted text is the address");
  } else if (entry == AddressEntry::kAccepted && text[0] == '/') {
    // A mask: leading ones, then zeros.
    uint32_t inverted = ~value;
    check(value != 0 && (inverted & (inverted + 1)) == 0, "a mask is contiguous");
  }
  return 0;
}
