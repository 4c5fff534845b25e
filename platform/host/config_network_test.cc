#include <cstring>
#include <string>

#include "gtest/gtest.h"
#include "platform/config_store.h"
#include "platform/device_services.h"

namespace {

void setIp(const char *key, const char *dotted) {
  uint32_t a = 0;
  ASSERT_EQ(strToIP(dotted, &a), 0) << dotted;
  cfgSetN(key, static_cast<int>(a));
}

class Network : public testing::Test {
 protected:
  void SetUp() override {
    factoryDefaults();
    hasEthernetOption = 1;
  }
  void TearDown() override { hasEthernetOption = 0; }

  // Address, netmask and gateway of port 0 (LAN) or 1 (WAN); broadcast
  // derived.
  void port(int wan, const char *ip, const char *mask, const char *gw) {
    setIp(wan ? "ip2" : "ip", ip);
    setIp(wan ? "netmask2" : "netmask", mask);
    setIp(wan ? "gateway2" : "gateway1", gw);
    recalcBCast(wan);
  }
  // The reason of a refusal, "" when accepted.
  std::string verdict() {
    char reason[kVerifyReasonSize];
    memset(reason, 'x', sizeof reason);
    if (verifyNetworkConfig(reason)) return "";
    EXPECT_LE(strlen(reason), static_cast<size_t>(kVerifyReasonMax));
    return reason;
  }
};

TEST_F(Network, EachInconsistencyIsNamed) {
  EXPECT_EQ(verdict(), "");  // factory settings
  struct Case {
    const char *ip, *mask, *gw, *bcast, *expect;
  } cases[] = {
      {"10.0.0.5", "255.0.255.0", "0.0.0.0", nullptr, "LAN netmask 255.0.255.0"},
      // Either side of the range, and the whole reason: a /31 refused as
      // anything but a netmask would send the operator to the wrong field.
      {"10.0.0.5", "255.255.255.254", "0.0.0.0", nullptr,
       "LAN netmask 255.255.255.254 is not a valid netmask (/1 to /30)."},
      {"10.0.0.5", "0.0.0.0", "0.0.0.0", nullptr,
       "LAN netmask 0.0.0.0 is not a valid netmask (/1 to /30)."},
      {"10.0.0.0", "255.255.255.0", "0.0.0.0", nullptr, "LAN IP address 10.0.0.0"},
      {"127.0.0.5", "255.255.255.0", "0.0.0.0", nullptr, "LAN IP address"},
      {"224.0.0.5", "255.255.255.0", "0.0.0.0", nullptr, "LAN IP address"},
      // The longest kind of reason, with the longest addresses.
      {"223.255.255.254", "255.255.255.252", "0.0.0.0", "255.255.255.255",
       "LAN broadcast address 255.255.255.255 does not match IP address and "
       "netmask (expected 223.255.255.255)."},
      {"10.0.0.5", "255.255.255.0", "10.0.1.1", nullptr,
       "LAN gateway 10.0.1.1 is not a host of the subnet 10.0.0.0/24."},
      {"10.0.0.5", "255.255.255.0", "10.0.0.255", nullptr, "LAN gateway"},
      {"10.0.0.5", "255.255.255.0", "10.0.0.5", nullptr, "own address"},
  };
  for (const Case &c : cases) {
    port(0, c.ip, c.mask, c.gw);
    if (c.bcast) setIp("bcast", c.bcast);
    EXPECT_NE(verdict().find(c.expect), std::string::npos) << c.ip << " " << c.gw;
  }
  port(0, "10.0.0.5", "255.255.255.252", "10.0.0.6");  // /30: two hosts
  EXPECT_EQ(verdict(), "");
  port(0, "10.1.2.3", "255.255.0.0", "10.1.0.1");
  EXPECT_EQ(verdict(), "");
  EXPECT_EQ(std::string(ipToStr(cfgGetN("bcast"))), "10.1.255.255");
  EXPECT_EQ(std::string(ipToStr(cfgGetN("netaddr"))), "10.1.0.0");
}

TEST_F(Network, DhcpSkipsTheLanAndTheWanCountsOnlyWhereItIsInUse) {
  port(0, "10.0.0.5", "255.0.255.0", "0.0.0.0");
  cfgSetN("dhcpEnable", 1);
  EXPECT_EQ(verdict(), "");
  port(1, "172.16.0.1", "255.255.0.0", "172.17.0.1");
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
  port(0, "10.0.0.5", "255.255.255.0", "0.0.0.0");
  port(1, "10.0.0.9", "255.0.0.0", "0.0.0.0");
  EXPECT_EQ(verdict(), "LAN subnet 10.0.0.0/24 and WAN subnet 10.0.0.0/8 overlap.");
  port(1, "192.0.2.9", "255.255.255.0", "0.0.0.0");
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

TEST_F(Network, RecoveryResetsServicesButNotAddressesOrAccounts) {
  for (const char *key : {"sshdPort", "vncs2Port", "firewallEnable",
                          "snmpRWCommunity", "radiusServer2", "passwd", "ip"})
    cfgSet(key, "7");
  netRecover(0);
  EXPECT_EQ(cfgGetN("sshdPort"), 22);
  EXPECT_EQ(cfgGetN("vncs2Port"), 0);
  EXPECT_EQ(cfgGetN("firewallEnable"), 0);
  EXPECT_EQ(cfgGetN("radiusServer2"), 0);
  EXPECT_STREQ(cfgGet("snmpRWCommunity"), "private");
  EXPECT_STREQ(cfgGet("passwd"), "7");  // accounts and addresses stay
  EXPECT_STREQ(cfgGet("ip"), "7");
}

}  // namespace
