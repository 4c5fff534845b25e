#include <gtest/gtest.h>

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

}  // namespace
