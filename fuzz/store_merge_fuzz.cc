// The merge of a save: another process's newest saved text with this
// process's changes (sets, deletes, clears) applied.  Input: the saved text,
// a NUL byte, the change text.  Whatever the two hold, a merge that fits is
// what a load of its own text gives back (a fixed point), and a merge
// without changes is exactly a load of the saved text.
#include <cstdint>
#include <cstring>

#include "fuzz/stand_ins.h"
#include "platform/config_store.h"
#include "platform/store/store_internal.h"

using fuzzing::check;

namespace {

char newest[kEepromSize];
char changes[1 << 14];
char merged[kEepromSize];
char reloaded[kEepromSize];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const uint8_t *nul = static_cast<const uint8_t *>(memchr(data, 0, size));
  size_t first = nul ? static_cast<size_t>(nul - data) : size;
  size_t kept = first < static_cast<size_t>(kCfgTextMax) ? first : kCfgTextMax;
  memcpy(newest, data, kept);
  newest[kept] = 0;
  size_t rest = nul ? size - first - 1 : 0;
  if (rest >= sizeof changes) rest = sizeof changes - 1;
  memcpy(changes, nul ? nul + 1 : data, rest);
  changes[rest] = 0;

  int length = cfgMergeText(newest, changes, merged, sizeof merged);
  if (length >= 0) {
    check(length == static_cast<int>(strlen(merged)), "the length given is the text's");
    // A merge that leaves no key is loaded as the factory defaults.
    if (cfgTextParse(merged) > 0) {
      check(cfgTextFormat(reloaded, sizeof reloaded) == length &&
                strcmp(merged, reloaded) == 0,
            "a merge is a fixed point of loading");
    }
  }

  check(cfgMergeText(newest, "", merged, sizeof merged) >= 0, "the saved text alone fits");
  if (cfgTextParse(newest) == 0) factoryDefaults();
  check(cfgTextFormat(reloaded, sizeof reloaded) >= 0 && strcmp(merged, reloaded) == 0,
        "no changes merge to the saved text as loaded");
  return 0;
}
