// The PPP start detector against a plain reading of what it looks for:
// a byte reports a start exactly when everything since the last flag byte
// is FF, then 03 or 7D 23, then C0, then one or more 21.
#include <cstdint>
#include <cstring>

#include "fuzz/stand_ins.h"
#include "login/login.h"

using fuzzing::check;

namespace {

bool startSince(const uint8_t *data, size_t end) {
  // end is one past the byte just fed; find the last flag before it.
  size_t flag = end;
  while (flag > 0 && data[flag - 1] != 0x7E) flag--;
  if (flag == 0) return false;
  const uint8_t *p = data + flag;
  size_t n = end - flag;
  size_t at = 0;
  if (at >= n || p[at++] != 0xFF) return false;
  if (at < n && p[at] == 0x03) {
    at++;
  } else if (at + 1 < n && p[at] == 0x7D && p[at + 1] == 0x23) {
    at += 2;
  } else {
    return false;
  }
  if (at >= n || p[at++] != 0xC0) return false;
  if (at >= n) return false;
  while (at < n && p[at] == 0x21) at++;
  return at == n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // A mismatch always returns the detector to its start, so a fresh one is
  // made by a byte that matches nothing.
  pppFrameSeen(0x00);
  for (size_t i = 0; i < size; i++)
    check(pppFrameSeen(data[i]) == startSince(data, i + 1), "detector and reading agree");
  return 0;
}
