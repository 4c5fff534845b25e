#include <gtest/gtest.h>

#include "platform/device_services.h"

namespace {

TEST(AddressText, CanonicalAddressesReadFirstOctetHighest) {
  const struct {
    const char *text;
    uint32_t value;
  } good[] = {{"10.0.0.5", 0x0a000005u},      {"0.0.0.0", 0u},
              {"192.168.1.254", 0xc0a801feu}, {"255.255.255.255", 0xffffffffu},
              {"128.0.0.1", 0x80000001u},     {"100.10.9.205", 0x640a09cdu}};
  for (const auto &g : good) {
    uint32_t value = 0xdeadbeef;
    EXPECT_EQ(strToIP(g.text, &value), 0) << g.text;
    EXPECT_EQ(value, g.value) << g.text;
    EXPECT_STREQ(ipToStr(g.value), g.text);
  }
}

TEST(AddressText, RefusesEverythingButFourPlainOctets) {
  const char *bad[] = {
      "",          "0",         "1.2.3",     "1.2.3.4.5", "256.1.1.1",
      "1.1.1.256", "1000.1.1.1", "1..2.3",   ".1.2.3",    "1.2.3.",
      " 1.2.3.4",  "1.2.3.4 ",  "1.2.3.4\n", "1. 2.3.4",  "+1.2.3.4",
      "1.-2.3.4",  "1.2.3.4x",  "0x1.2.3.4", "01.2.3.4",  "1.2.3.010",
      "4294967295"};
  for (const char *text : bad) {
    uint32_t value = 0x12345678;
    EXPECT_NE(strToIP(text, &value), 0) << '"' << text << '"';
    EXPECT_EQ(value, 0x12345678u) << "changed by \"" << text << '"';
  }
}

}  // namespace
