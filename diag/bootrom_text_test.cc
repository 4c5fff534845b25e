#include "diag/bootrom_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// The version found in the first `length` bytes of `raw`, or "<none>".
std::string version(const char *raw, size_t length) {
  char buf[kBootRomTextMax + 1];
  memcpy(buf, raw, length);
  const char *v = bootRomVersion(buf, length);
  return v ? v : "<none>";
}

// The first parenthesised part of a text that names "Boot", unclosed parts
// running to its end; the text ends at its first NUL or after length bytes.
TEST(BootRomVersion, FoundOnlyInsideTheText) {
  const struct {
    const char *raw;
    size_t length;
    const char *expected;
  } cases[] = {
      {"U-Boot 2.4.1 (build 117) (debug)", 0, "(build 117)"},
      {"rev (A7) of Boot 2.0 (build 5)", 0, "(A7)"},
      {"Loader 2.0 (build 5)", 0, "<none>"},
      {"boot (1.0)", 0, "<none>"},
      {"Boot 2.0 without version", 0, "<none>"},
      {"Boot (v1.0", 0, "(v1.0"},
      {"(v1)\0 Boot", 10, "<none>"},
      {"Boot (1.0)", 7, "(1"},
      {"(1) Boot", 7, "<none>"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(version(c.raw, c.length ? c.length : strlen(c.raw)), c.expected) << c.raw;
}

}  // namespace
