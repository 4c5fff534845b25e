#include "platform/util/kv_file.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "platform/device_services.h"

namespace {

void handleLine(char *line, KeyValueFn fn, void *context) {
  char *key = trimL(line);
  if (*key == '\0' || *key == '#') return;
  char *eq = strchr(key, '=');
  if (!eq) return;
  *eq = '\0';
  trimR(key);
  if (*key == '\0') return;
  char *value = trimR(trimL(eq + 1));
  fn(context, key, value);
}

}  // namespace

int forEachKeyValue(const char *path, KeyValueFn fn, void *context) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;

  char chunk[512];
  char line[kKeyValueLineMax + 1];
  int length = 0;
  bool overlong = false;
  int result = 0;
  for (;;) {
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      result = -1;
      break;
    }
    if (got == 0) break;
    for (ssize_t i = 0; i < got; ++i) {
      char c = chunk[i];
      if (c == '\n') {
        line[length] = '\0';
        if (!overlong) handleLine(line, fn, context);
        length = 0;
        overlong = false;
      } else if (length < kKeyValueLineMax) {
        line[length++] = c;
      } else {
        overlong = true;
      }
    }
  }
  // A last line without its line end still counts.
  if (result == 0 && length > 0 && !overlong) {
    line[length] = '\0';
    handleLine(line, fn, context);
  }
  close(fd);
  return result;
}
