// The reader of the unit's key=value files (identity, DHCP lease) over any
// file content, held in an anonymous memory file.  Every pair it hands on
// has a key without blanks around it, no '=' in it and no comment mark in
// front, a value without blanks around it, both within the line limit, and
// there are never more pairs than lines.
#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "fuzz/stand_ins.h"
#include "platform/util/kv_file.h"

using fuzzing::check;

namespace {

char path[64];
int fileFd = -1;

bool blankAtEnds(const char *s) {
  size_t n = strlen(s);
  return n > 0 && (isspace(static_cast<unsigned char>(s[0])) ||
                   isspace(static_cast<unsigned char>(s[n - 1])));
}

int pairs;
void onPair(void *, const char *key, const char *value) {
  pairs++;
  check(key[0] != 0 && key[0] != '#', "a key is neither empty nor a comment");
  check(strchr(key, '=') == nullptr, "a key holds no '='");
  check(!blankAtEnds(key) && !blankAtEnds(value), "no blanks around key or value");
  check(strlen(key) + strlen(value) < kKeyValueLineMax, "within the line limit");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fileFd = fuzzing::memoryFile("kv", path, sizeof path);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  check(ftruncate(fileFd, 0) == 0, "truncate");
  check(pwrite(fileFd, data, size, 0) == static_cast<ssize_t>(size), "write");
  pairs = 0;
  check(forEachKeyValue(path, onPair, nullptr) == 0, "a whole file is read");
  size_t lines = 1;
  for (size_t i = 0; i < size; i++) lines += data[i] == '\n';
  check(static_cast<size_t>(pairs) <= lines, "at most one pair a line");
  return 0;
}
