#include "diag/bootrom_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Runs the extraction on a copy of `raw` (length bytes, NULs allowed) and
// returns the version or "<none>".
std::string version(const char *raw, size_t length) {
  char buf[kBootRomTextMax + 1];
  memcpy(buf, raw, length);
  const char *v = bootRomVersion(buf, length);
  return v ? v : "<none>";
}

std::string version(const char *text) { return version(text, strlen(text)); }

TEST(BootRomVersion, TakesFirstParenthesisedPartOfATextWithBoot) {
  EXPECT_EQ(version("PPCBoot 1.1.3 (Mar 3 2004 - 10:22:01)"), "(Mar 3 2004 - 10:22:01)");
  EXPECT_EQ(version("Boot (a) (b)"), "(a)");
  // The first "(" of the whole text counts, even before "Boot".
  EXPECT_EQ(version("(v2) Boot (v3)"), "(v2)");
}

TEST(BootRomVersion, NoVersionWithoutBootOrOpeningParenthesis) {
  EXPECT_EQ(version("Loader (1.0)"), "<none>");
  EXPECT_EQ(version("boot (1.0)"), "<none>");  // case matters
  EXPECT_EQ(version("Boot 1.0"), "<none>");
  EXPECT_EQ(version(""), "<none>");
}

TEST(BootRomVersion, UnclosedPartRunsToTheEndOfTheText) {
  EXPECT_EQ(version("Boot (1.0"), "(1.0");
}

TEST(BootRomVersion, TextEndsAtFirstNulOrAfterLengthBytes) {
  EXPECT_EQ(version("Boot\0(1.0)", 10), "<none>");
  EXPECT_EQ(version("Boot (1.0)", 7), "(1");
  // "Boot" only partly inside the bytes read is not seen.
  EXPECT_EQ(version("(1) Boot", 7), "<none>");
}

}  // namespace
