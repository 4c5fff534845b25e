#include <string>

#include <gtest/gtest.h>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/unit/dhcp_lease.h"
#include "platform/testing/test_files.h"

namespace {

constexpr char kLease[] =
    "# client\nip=192.168.7.20\nnetmask=255.255.255.0\ngateway=192.168.7.1\n"
    "bcast=192.168.7.127\nserver=192.168.7.1\ndefault_gateway=192.168.7.254\n";

TEST(DhcpLease, OptionalValuesDefaultButBrokenLeaseIsNoLease) {
  TempDir dir;
  DhcpLease lease = {};
  std::string path = dir.write("lease", "ip=10.1.2.3\nnetmask=255.255.0.0\n");
  ASSERT_EQ(readLease(path.c_str(), &lease), 0);
  EXPECT_EQ(lease.gateway | lease.defaultGateway, 0u);
  EXPECT_EQ(lease.bcast, 0x0a01ffffu);
  const char *broken[] = {
      "netmask=255.255.255.0\n", "ip=10.0.0.2\n",
      "ip=10.0.0.2\nnetmask=255.255.255.0\ngateway=10.0.0.300\n"};
  for (const char *content : broken) {
    lease = {1, 2, 3, 4, 5};
    EXPECT_NE(readLease(dir.write("lease", content).c_str(), &lease), 0)
        << content;
    EXPECT_EQ(lease.ip, 1u) << "touched by: " << content;
  }
}

TEST(DhcpLease, LanAddressIsTheLeasedOneOnlyWithDhcpAndALease) {
  TempDir dir;
  std::string lease = dir.write("lease", kLease);
  factoryDefaults();
  cfgSetN("ip", 0x0a000005);
  cfgSetN("dhcpEnable", 0);
  EXPECT_EQ(eth0AddrFrom(lease.c_str()), 0x0a000005u);
  cfgSetN("dhcpEnable", 1);
  EXPECT_EQ(eth0AddrFrom(lease.c_str()), 0xc0a80714u);
  EXPECT_EQ(eth0AddrFrom(dir.path("missing").c_str()), 0x0a000005u);
}

}  // namespace
