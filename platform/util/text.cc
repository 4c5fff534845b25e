// Small text helpers: white-space trimming, decimal numbers and the first
// line of a file.
#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "platform/device_services.h"

namespace {

// Longest first line handed out; the rest of a longer line is cut off.
constexpr int kFirstLineMax = 255;

}  // namespace

char *trimL(char *text) {
  while (isspace(static_cast<unsigned char>(*text))) ++text;
  return text;
}

char *trimR(char *text) {
  size_t length = strlen(text);
  while (length > 0 && isspace(static_cast<unsigned char>(text[length - 1])))
    --length;
  text[length] = '\0';
  return text;
}

// Version files and /proc entries are short; one bounded read loop is
// enough, and a file that cannot be read gives "" so that callers can print
// the result as it is.
const char *readFirstLine(const char *path) {
  static char line[kFirstLineMax + 1];
  line[0] = '\0';
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return line;
  int length = 0;
  while (length < kFirstLineMax) {
    ssize_t got = read(fd, line + length, kFirstLineMax - length);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    // Stop as soon as the first line is complete.
    if (memchr(line + length, '\n', got)) {
      length += got;
      break;
    }
    length += got;
  }
  close(fd);
  line[length] = '\0';
  line[strcspn(line, "\n")] = '\0';
  // A CR before the line end is part of the line end.
  size_t used = strlen(line);
  if (used > 0 && line[used - 1] == '\r') line[used - 1] = '\0';
  return line;
}

char *putDecimal(char *at, unsigned value, int width, char pad) {
  char digits[12];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  while (count < width--) *at++ = pad;
  while (count) *at++ = digits[--count];
  return at;
}
