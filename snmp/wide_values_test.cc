// Answers of the agent that carry numbers using all 32 bits: addresses above
// 128.0.0.0 and serial numbers with the high bits set.  Run on the appliance's
// processor under emulation too, where long is 32 bits wide.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "snmp/snmp_internal.h"

namespace {

// What a handler writes to standard output.
std::string answerOf(const std::function<int()> &handler) {
  testing::internal::CaptureStdout();
  int result = handler();
  fflush(stdout);
  return (result == 0 ? "" : "<refused>") + testing::internal::GetCapturedStdout();
}

std::string expected(const char *instance, const char *type,
                     const char *value) {
  return std::string(oidPrefix) + instance + "\n" + type + "\n" + value + "\n";
}

TEST(WideValues, SerialNumberIsItsLowSixteenBitsAsSixDigits) {
  uint32_t saved = unitSerialNumber;
  unitSerialNumber = 0xffffffffu;
  EXPECT_EQ(answerOf([] { return doIdentity("2", IDENTITY_OID, 0); }),
            expected(".4.2", "string", "065535"));
  unitSerialNumber = 0x8000002au;
  EXPECT_EQ(answerOf([] { return doIdentity("1", IDENTITY_OID, 1); }),
            expected(".4.2", "string", "000042"));
  unitSerialNumber = saved;
}

TEST(WideValues, AddressesAboveTheSignBitAnswerAsDottedText) {
  // Rows 2, 5 and 6 of the configuration table: ip, netmask and bcast.
  cfgSetN("ip", static_cast<int>(0xc0a801feu));
  cfgSetN("netmask", static_cast<int>(0xffffff80u));
  cfgSet("bcast", "4294967295");
  EXPECT_EQ(answerOf([] { return doConfig("1.1.3.2", CONFIG_OID, 0); }),
            expected(".1.1.1.3.2", "string", "192.168.1.254"));
  EXPECT_EQ(answerOf([] { return doConfig("1.1.3.5", CONFIG_OID, 0); }),
            expected(".1.1.1.3.5", "string", "255.255.255.128"));
  EXPECT_EQ(answerOf([] { return doConfig("1.1.3.5", CONFIG_OID, 1); }),
            expected(".1.1.1.3.6", "string", "255.255.255.255"));
}

}  // namespace
