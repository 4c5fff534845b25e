#include <cstring>
#include <string>

#include "gtest/gtest.h"
#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/host/config_store_internal.h"

namespace {

void setIp(const char *key, const char *dotted) {
  uint32_t a = 0;
  ASSERT_EQ(strToIP(dotted, &a), 0) << dotted;
  cfgSetN(key, static_cast<int>(a));
}

std::string dottedOf(const char *key) {
  return ipToStr(static_cast<uint32_t>(cfgGetN(key)));
}

class Network : public testing::Test {
 protected:
  void SetUp() override {
    factoryDefaults();
    hasEthernetOption = 1;
    memset(reason_, 'x', sizeof reason_);
  }
  void TearDown() override { hasEthernetOption = 0; }

  void lan(const char *ip, const char *mask, const char *gw) {
    setIp("ip", ip);
    setIp("netmask", mask);
    setIp("gateway1", gw);
    recalcBCast(0);
  }
  void wan(const char *ip, const char *mask, const char *gw) {
    setIp("ip2", ip);
    setIp("netmask2", mask);
    setIp("gateway2", gw);
    recalcBCast(1);
  }
  // The reason of a refusal, "" when accepted.
  std::string verdict() {
    if (verifyNetworkConfig(reason_)) return "";
    EXPECT_LE(strlen(reason_), static_cast<size_t>(kVerifyReasonMax));
    return reason_;
  }

  char reason_[kVerifyReasonSize];
};

TEST_F(Network, FactorySettingsAndTypicalSetupsAreAccepted) {
  EXPECT_EQ(verdict(), "");
  lan("10.1.2.3", "255.255.0.0", "10.1.0.1");
  wan("203.0.113.10", "255.255.255.252", "203.0.113.9");
  setIp("gateway", "203.0.113.9");
  EXPECT_EQ(verdict(), "");
  EXPECT_EQ(dottedOf("bcast"), "10.1.255.255");
  EXPECT_EQ(dottedOf("netaddr"), "10.1.0.0");
  EXPECT_EQ(dottedOf("bcast2"), "203.0.113.11");
}

TEST_F(Network, EachInconsistencyIsNamed) {
  struct Case {
    const char *ip, *mask, *gw, *bcast, *expect;
  } cases[] = {
      {"10.0.0.5", "255.0.255.0", "0.0.0.0", nullptr, "LAN netmask 255.0.255.0"},
      {"10.0.0.5", "0.0.0.0", "0.0.0.0", nullptr, "LAN netmask 0.0.0.0"},
      {"10.0.0.5", "255.255.255.255", "0.0.0.0", nullptr, "not a valid netmask"},
      {"10.0.0.0", "255.255.255.0", "0.0.0.0", nullptr, "LAN IP address 10.0.0.0"},
      {"10.0.0.255", "255.255.255.0", "0.0.0.0", nullptr, "LAN IP address"},
      {"127.0.0.5", "255.255.255.0", "0.0.0.0", nullptr, "LAN IP address"},
      {"0.0.0.0", "255.255.255.0", "0.0.0.0", nullptr, "LAN IP address"},
      {"224.0.0.5", "255.255.255.0", "0.0.0.0", nullptr, "LAN IP address"},
      {"10.0.0.5", "255.255.255.0", "0.0.0.0", "10.0.0.127",
       "LAN broadcast address 10.0.0.127 does not match IP address and netmask "
       "(expected 10.0.0.255)."},
      {"10.0.0.5", "255.255.255.0", "10.0.1.1", nullptr,
       "LAN gateway 10.0.1.1 is not a host of the subnet 10.0.0.0/24."},
      {"10.0.0.5", "255.255.255.0", "10.0.0.255", nullptr, "LAN gateway"},
      {"10.0.0.5", "255.255.255.0", "10.0.0.5", nullptr, "own address"},
  };
  for (const Case &c : cases) {
    lan(c.ip, c.mask, c.gw);
    if (c.bcast) setIp("bcast", c.bcast);
    std::string why = verdict();
    EXPECT_NE(why.find(c.expect), std::string::npos)
        << c.ip << "/" << c.mask << " gw " << c.gw << ": " << why;
  }
}

TEST_F(Network, DhcpSkipsTheLanAndTheWanCountsOnlyWhereItIsInUse) {
  lan("10.0.0.5", "255.0.255.0", "0.0.0.0");
  cfgSetN("dhcpEnable", 1);
  EXPECT_EQ(verdict(), "");

  wan("172.16.0.1", "255.255.0.0", "172.17.0.1");
  EXPECT_NE(verdict().find("WAN gateway 172.17.0.1"), std::string::npos);
  cfgSetN("bridgeEnable", 1);  // the bridge runs on the LAN settings
  EXPECT_EQ(verdict(), "");
  cfgSetN("bridgeEnable", 0);
  hasEthernetOption = 0;
  EXPECT_EQ(verdict(), "");
  hasEthernetOption = 1;
  setIp("ip2", "0.0.0.0");  // unconfigured
  EXPECT_EQ(verdict(), "");
}

TEST_F(Network, PortsMustNotShareASubnetAndTheDefaultGatewayMustBeOnOne) {
  lan("10.0.0.5", "255.255.255.0", "0.0.0.0");
  wan("10.0.0.9", "255.0.0.0", "0.0.0.0");
  EXPECT_NE(verdict().find("overlap"), std::string::npos);
  wan("192.0.2.9", "255.255.255.0", "0.0.0.0");
  setIp("gateway", "198.51.100.1");
  EXPECT_EQ(verdict(), "Default gateway 198.51.100.1 is not a host of the LAN or "
                       "WAN subnet.");
  setIp("gateway", "192.0.2.1");
  EXPECT_EQ(verdict(), "");
  // Without a known LAN subnet (DHCP) the default gateway is not judged.
  setIp("gateway", "198.51.100.1");
  cfgSetN("dhcpEnable", 1);
  EXPECT_EQ(verdict(), "");
}

TEST_F(Network, TheLongestReasonsStillFitTheConsoleBuffer) {
  lan("223.255.255.254", "255.255.255.252", "0.0.0.0");
  setIp("bcast", "255.255.255.255");
  std::string why = verdict();
  EXPECT_NE(why.find("expected 223.255.255.255"), std::string::npos);
  wan("223.255.255.254", "255.255.255.252", "223.255.255.253");
  lan("223.255.255.1", "255.255.255.0", "223.255.255.254");
  EXPECT_NE(verdict().find("overlap"), std::string::npos);
}

TEST_F(Network, RecoveryResetsServicesButNotAddressesOrAccounts) {
  lan("10.0.0.5", "255.255.255.0", "0.0.0.0");
  cfgSetN("sshdPort", 2222);
  cfgSetN("vncs2Port", 1);
  cfgSetN("firewallEnable", 1);
  cfgSet("sourceReject", "10.0.0.0/8");
  cfgSet("snmpRWCommunity", "secret");
  setIp("radiusServer2", "10.0.0.7");
  cfgSet("passwd", "kept");
  cfgSet("user_0_name", "kept");
  netRecover(0);
  EXPECT_EQ(cfgGetN("sshdPort"), 22);
  EXPECT_EQ(cfgGetN("vncs2Port"), 0);
  EXPECT_EQ(cfgGetN("firewallEnable"), 0);
  EXPECT_STREQ(cfgGet("sourceReject"), "");
  EXPECT_STREQ(cfgGet("snmpRWCommunity"), "private");
  EXPECT_EQ(cfgGetN("radiusServer2"), 0);
  EXPECT_EQ(dottedOf("ip"), "10.0.0.5");
  EXPECT_STREQ(cfgGet("passwd"), "kept");
  EXPECT_STREQ(cfgGet("user_0_name"), "kept");
}

}  // namespace
