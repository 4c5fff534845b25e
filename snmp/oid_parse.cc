// Text parsers of the agent: numbers at the start of OID text, table
// instances, set OIDs and set values.  They only read (or cut up) the text
// they are given, so that every request is served from fixed buffers.
#include <climits>
#include <cstring>

#include "platform/device_services.h"
#include "snmp/snmp_internal.h"

namespace {

// Reads as strtol does in base 10 (leading white space, a sign), clamped
// to int.  False when there are no digits; `end` then gets the text itself.
// Every request parses two or three numbers: by hand it costs a tenth of
// the library call, which also knows other bases and locales.
bool readInt(const char *text, int *out, const char **end) {
  const char *p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) p++;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') p++;
  if (*p < '0' || *p > '9') {
    if (end) *end = text;
    return false;
  }
  // Past the int range the value stays clamped; the digits are still read.
  constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
  long long n = 0;
  for (; *p >= '0' && *p <= '9'; p++)
    if (n <= kLimit) n = n * 10 + (*p - '0');
  if (end) *end = p;
  if (negative) n = -n;
  if (n > INT_MAX) n = INT_MAX;
  if (n < INT_MIN) n = INT_MIN;
  *out = static_cast<int>(n);
  return true;
}

}  // namespace

int leadingNumber(const char *text, const char **end) {
  int n = 0;
  readInt(text, &n, end);
  return n;
}

void parseTableInstance(const char *instance, int *column, int *row) {
  *column = -1;
  *row = -1;
  if (strncmp(instance, "1.1.", 4) != 0) return;
  const char *p;
  if (!readInt(instance + 4, column, &p)) return;
  if (*p != '.') return;
  readInt(p + 1, row, nullptr);
}

bool sortsAfterTable(const char *instance) {
  int first;
  const char *p;
  if (!readInt(instance, &first, &p)) return false;
  if (first != 1) return first > 1;
  int second;
  if (*p != '.' || !readInt(p + 1, &second, nullptr)) return false;
  return second > 1;
}

int parseSetOid(const char *text, int *numbers, const char **instance) {
  *instance = "";
  int count = 0;
  const char *p = text;
  while (count < kSetOidNumbersMax) {
    const char *end;
    numbers[count++] = leadingNumber(p, &end);
    if (*end == '\0') break;
    if (*end != '.') return -1;
    if (count == 1) *instance = end + 1;
    p = end + 1;
  }
  return count;
}

bool splitTypeValue(char *line, char **type, char **value) {
  char *p = trimL(line);
  char *blank = strpbrk(p, " \t");
  if (!blank) return false;
  *blank = '\0';
  *type = p;
  char *v = blank + 1;
  if (*v == '"') {
    // The quotes a manager puts around a text are not part of it; a lone
    // quote leaves nothing.
    size_t length = strlen(v);
    if (length >= 2) {
      v[length - 1] = '\0';
      ++v;
    } else {
      *v = '\0';
    }
  }
  *value = v;
  return true;
}
