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
  EXPECT_EQ(accepted("/31"), 0xfffffffeu);
  EXPECT_EQ(accepted("/32"), 0xffffffffu);
  // Read like atoi: leading blanks skipped, up to the first non-digit.
  EXPECT_EQ(accepted("/ 16"), 0xffff0000u);
  EXPECT_EQ(accepted("/24x"), 0xffffff00u);
}

TEST(AddressEntry, RefusedEntriesLeaveTheValue) {
  for (const char *line :
       {"/0", "/33", "/", "/abc", "/-8", "/4294967320", "/99999999999999999999"}) {
    uint32_t value = 7;
    EXPECT_EQ(parseAddressEntry(line, &value), AddressEntry::kBadMask) << line;
    EXPECT_EQ(value, 7u) << line;
  }
  uint32_t value = 7;
  for (const char *line : {"00", "10.1.2", "10.1.2.256"}) {
    EXPECT_EQ(parseAddressEntry(line, &value), AddressEntry::kBadAddress) << line;
    EXPECT_EQ(value, 7u) << line;
  }
  EXPECT_EQ(accepted("0"), 0u);
}

TEST(MachineNameCharacters, FirstOffendingCharacterIsNamed) {
  EXPECT_EQ(firstDisallowedChar("a-z.A_Z/0+9=:"), 0);
  EXPECT_EQ(firstDisallowedChar("unit#1 x"), '#');
  EXPECT_EQ(firstDisallowedChar("caf\xc3\xa9"), '\xc3');
}

}  // namespace
