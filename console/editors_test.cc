#include <gtest/gtest.h>

#include "console/console_internal.h"

namespace {

uint32_t accepted(const char *line) {
  uint32_t value = 0xdeadbeef;
  EXPECT_EQ(parseAddressEntry(line, &value), AddressEntry::kAccepted) << line;
  return value;
}

TEST(AddressEntry, MaskStyleGivesLeadingOneBits) {
  EXPECT_EQ(accepted("/1"), 0x80000000u);
  EXPECT_EQ(accepted("/8"), 0xff000000u);
  EXPECT_EQ(accepted("/24"), 0xffffff00u);
  EXPECT_EQ(accepted("/31"), 0xfffffffeu);
  EXPECT_EQ(accepted("/32"), 0xffffffffu);
  // The number is read up to the first non-digit, after leading blanks.
  EXPECT_EQ(accepted("/24x"), 0xffffff00u);
  EXPECT_EQ(accepted("/ 16"), 0xffff0000u);
}

TEST(AddressEntry, MaskStyleOutsideOneToThirtyTwoIsRefused) {
  for (const char *line : {"/0", "/33", "/", "/abc", "/-8", "/4294967320"}) {
    uint32_t value = 7;
    EXPECT_EQ(parseAddressEntry(line, &value), AddressEntry::kBadMask) << line;
    EXPECT_EQ(value, 7u) << line;
  }
}

TEST(AddressEntry, LoneZeroIsNoAddress) {
  EXPECT_EQ(accepted("0"), 0u);
  uint32_t value = 7;
  EXPECT_EQ(parseAddressEntry("x", &value), AddressEntry::kBadAddress);
  EXPECT_EQ(value, 7u);
}

TEST(MachineNameCharacters, FirstOffendingCharacterIsNamed) {
  EXPECT_EQ(firstDisallowedChar("unit-7.lab_A"), 0);
  EXPECT_EQ(firstDisallowedChar("a/b+c=d:e"), 0);
  EXPECT_EQ(firstDisallowedChar(""), 0);
  EXPECT_EQ(firstDisallowedChar("my unit#1"), ' ');
  EXPECT_EQ(firstDisallowedChar("unit#1 x"), '#');
  EXPECT_EQ(firstDisallowedChar("caf\xc3\xa9"), '\xc3');
  EXPECT_EQ(firstDisallowedChar("a,b"), ',');
}

}  // namespace
