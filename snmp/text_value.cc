// Text values in answers.  Whatever a writer of the store put into a value
// (unitcfg takes any bytes), its answer stays one value line that the
// daemon takes in whole.
#include <cstdio>
#include <cstring>

#include "snmp/snmp_internal.h"

namespace {

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// Two hex digits and a blank per byte, the last byte without its blank.
constexpr int kOctetBytesMax = (kAnswerValueMax + 1) / 3;

void printOctets(const unsigned char *bytes, size_t length) {
  static const char hex[] = "0123456789abcdef";
  if (length > static_cast<size_t>(kOctetBytesMax)) length = kOctetBytesMax;
  fputs("octet\n", stdout);
  for (size_t i = 0; i < length; ++i) {
    if (i > 0) putchar_unlocked(' ');
    putchar_unlocked(hex[bytes[i] >> 4]);
    putchar_unlocked(hex[bytes[i] & 0xf]);
  }
  putchar_unlocked('\n');
}

}  // namespace

void printText(const char *text) {
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(text);
  size_t length = strlen(text);
  for (size_t i = 0; i < length; ++i) {
    // The protocol's "string" value is one line read up to its newline;
    // "octet" carries any byte, so a text that the line would break goes
    // that way instead of the "string" that such values are published as.
    if (isControl(bytes[i])) {
      printOctets(bytes, length);
      return;
    }
  }
  if (length > static_cast<size_t>(kAnswerValueMax)) length = kAnswerValueMax;
  // Written as it stands: a printf precision this wide would have the C
  // library allocate a work buffer.
  fputs("string\n", stdout);
  fwrite(text, 1, length, stdout);
  putchar_unlocked('\n');
}
