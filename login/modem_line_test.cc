#include <gtest/gtest.h>

#include "login/login.h"

namespace {

// The order of the tests decides what a line that would match several is.
TEST(ModemLineClassification, FirstMatchingRuleWins) {
  EXPECT_EQ(classifyModemLine("RING", "RING"), ModemLineKind::kPassword);
  EXPECT_EQ(classifyModemLine("Secret", "secret"), ModemLineKind::kPortNoise);
  EXPECT_EQ(classifyModemLine("CONNECT RING", ""), ModemLineKind::kRing);
  EXPECT_EQ(classifyModemLine("CONNECT NO CARRIER", ""), ModemLineKind::kNoCarrier);
  EXPECT_EQ(classifyModemLine("NO CARRIER?", ""), ModemLineKind::kModemNoise);
  EXPECT_EQ(classifyModemLine("ING", ""), ModemLineKind::kModemNoise);
  EXPECT_EQ(classifyModemLine("BUSY 2", ""), ModemLineKind::kModemNoise);
  EXPECT_EQ(classifyModemLine("OK\xC4", ""), ModemLineKind::kPortNoise);
  EXPECT_EQ(classifyModemLine("+++", ""), ModemLineKind::kPortNoise);
}

}  // namespace
