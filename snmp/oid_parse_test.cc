#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "snmp/snmp_internal.h"

namespace {

TEST(ParseSetOid, TakesAtMostEightNumbersAndOnlyDotsBetween) {
  int n[kSetOidNumbersMax + 1] = {};
  const char *instance;
  ASSERT_EQ(parseSetOid("3.1.1.4.2", n, &instance), 5);
  EXPECT_EQ(n[4], 2);
  EXPECT_STREQ(instance, "1.1.4.2");
  EXPECT_EQ(parseSetOid("1.2.3.4.5.6.7.8.9", n, &instance), 8);
  EXPECT_EQ(n[kSetOidNumbersMax], 0);  // nothing written past the eighth
  EXPECT_EQ(parseSetOid("1.1.1.3,2", n, &instance), -1);
}

// Numbers in OIDs and set values read as strtol reads them, clamped to int.
TEST(LeadingNumber, ReadsAsTheLibraryDoes) {
  const char *texts[] = {"",      "12",     " \t\n42x", "-7.",    "+3",
                         "-",     "- 3",    "+-3",       "0012",   ".5",
                         "2147483647",      "2147483648",        "-2147483648",
                         "-2147483649",     "99999999999999999999999.1",
                         "-99999999999999999999999", "\v\f\r9"};
  for (const char *text : texts) {
    char *libraryEnd;
    long expected = strtol(text, &libraryEnd, 10);
    if (expected > INT_MAX) expected = INT_MAX;
    if (expected < INT_MIN) expected = INT_MIN;
    const char *end;
    EXPECT_EQ(leadingNumber(text, &end), expected) << text;
    EXPECT_EQ(end, libraryEnd) << text;
  }
}

}  // namespace
