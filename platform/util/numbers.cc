// Numbers read from text the way the appliance reads them.  The appliance's
// long is 32 bits wide; this machine's is 64, so strtoul and strtol give
// different answers past the 32-bit edge ("4294967296" is 0xffffffff there,
// 0 here once cut to 32 bits).  Every stored number goes through these two,
// so both builds answer alike.
#include <cstdint>

#include "platform/device_services.h"

namespace {

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// The magnitude after the sign, in the base strtoul would pick, saturated
// one past 0xffffffff.  `end` gets the first character not used, or the
// text itself when there are no digits.
uint64_t readMagnitude(const char *text, int base, bool *negative,
                       const char **end) {
  const char *p = text;
  while (isBlank(*p)) ++p;
  *negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if ((base == 0 || base == 16) && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
      digitValue(p[2]) < 16) {
    p += 2;
    base = 16;
  } else if (base == 0) {
    base = *p == '0' ? 8 : 10;
  }
  constexpr uint64_t kPast = uint64_t{0xffffffffu} + 1;
  uint64_t n = 0;
  const char *first = p;
  for (; digitValue(*p) < base; ++p) {
    n = n * static_cast<unsigned>(base) + static_cast<unsigned>(digitValue(*p));
    if (n > kPast) n = kPast;
  }
  if (end) *end = p == first ? text : p;
  return n;
}

}  // namespace

uint32_t textToU32(const char *text, const char **end, int base) {
  bool negative;
  uint64_t n = readMagnitude(text, base, &negative, end);
  if (n > 0xffffffffu) return 0xffffffffu;
  uint32_t value = static_cast<uint32_t>(n);
  return negative ? 0u - value : value;
}

int32_t textToI32(const char *text, const char **end, int base) {
  bool negative;
  uint64_t n = readMagnitude(text, base, &negative, end);
  if (negative) return n >= uint64_t{1} << 31 ? INT32_MIN : -static_cast<int32_t>(n);
  return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}
