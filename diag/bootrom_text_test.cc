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

std::string version(const char *text) { return version(text, strlen(text)); }

TEST(BootRomVersion, FirstParenthesisedPartOfTheWholeText) {
  EXPECT_EQ(version("U-Boot 2.4.1 (build 117) (debug)"), "(build 117)");
  EXPECT_EQ(version("rev (A7) of Boot 2.0 (build 5)"), "(A7)");
}

TEST(BootRomVersion, NeedsBootAndAnOpeningParenthesis) {
  EXPECT_EQ(version("Loader 2.0 (build 5)"), "<none>");
  EXPECT_EQ(version("boot (1.0)"), "<none>");
  EXPECT_EQ(version("Boot 2.0 without version"), "<none>");
}

TEST(BootRomVersion, UnclosedPartRunsToTheEndOfTheText) {
  EXPECT_EQ(version("Boot (v1.0"), "(v1.0");
}

TEST(BootRomVersion, TextEndsAtFirstNulOrAfterLengthBytes) {
  EXPECT_EQ(version("(v1)\0 Boot", 10), "<none>");
  EXPECT_EQ(version("Boot (1.0)", 7), "(1");
  EXPECT_EQ(version("(1) Boot", 7), "<none>");
}

}  // namespace
