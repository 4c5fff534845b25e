// The store's saved-text parser.  Whatever text the EEPROM holds, what the
// store takes from it and writes back is a fixed point: parsing the written
// text gives the same keys and values, and writing them again gives the
// same text.
#include <cstdint>
#include <cstring>

#include "fuzz/stand_ins.h"
#include "platform/store/store_internal.h"

using fuzzing::check;

namespace {

char text[kEepromSize];
char first[kEepromSize];
char second[kEepromSize];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > kCfgTextMax) size = kCfgTextMax;
  memcpy(text, data, size);
  text[size] = 0;

  int taken = cfgTextParse(text);
  // A key given twice is taken twice and kept once.
  check(cfgCount() <= taken, "no more keys than were taken");
  int length = cfgTextFormat(first, sizeof first);
  check(length >= 0 && length == cfgTextSize(), "the working copy fits as counted");

  int count = cfgCount();
  check(cfgTextParse(first) == count, "the written text holds every key once");
  check(cfgTextFormat(second, sizeof second) == length, "the same length again");
  check(memcmp(first, second, static_cast<size_t>(length) + 1) == 0,
        "the written text is a fixed point");
  return 0;
}
