// Dotted-quad text of IPv4 addresses.  The first octet is the most
// significant byte of the 32-bit value.
//
// Only the canonical form is accepted: exactly four decimal octets 0..255
// separated by single dots, nothing before, between or after them (no
// blanks, signs, empty octets or a trailing dot).  An octet has no leading
// zero ("0" itself is fine, "010" is not): other parsers read such octets
// as octal, so "010" would mean different addresses to different tools.
#include "platform/device_services.h"

// Written out by hand: the agent answers every address key of a walk with
// it, and the formatted-print machinery costs many times what four octets
// need.
const char *ipToStr(uint32_t address) {
  static char text[16];  // "255.255.255.255" and its NUL
  char *at = text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    unsigned octet = (address >> shift) & 0xffu;
    if (octet >= 100) *at++ = static_cast<char>('0' + octet / 100);
    if (octet >= 10) *at++ = static_cast<char>('0' + octet / 10 % 10);
    *at++ = static_cast<char>('0' + octet % 10);
    *at++ = '.';
  }
  at[-1] = '\0';
  return text;
}

int strToIP(const char *text, uint32_t *address) {
  if (!text) return -1;
  uint32_t value = 0;
  const char *p = text;
  for (int octet = 0; octet < 4; ++octet) {
    if (octet > 0) {
      if (*p != '.') return -1;
      ++p;
    }
    if (*p < '0' || *p > '9') return -1;
    if (*p == '0' && p[1] >= '0' && p[1] <= '9') return -1;
    unsigned part = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9') {
      if (++digits > 3) return -1;
      part = part * 10 + static_cast<unsigned>(*p - '0');
      ++p;
    }
    if (part > 255) return -1;
    value = (value << 8) | part;
  }
  if (*p != '\0') return -1;
  *address = value;
  return 0;
}
