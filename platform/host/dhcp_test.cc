#include <string>

#include <gtest/gtest.h>

#include "platform/host/dhcp.h"
#include "platform/host/test_files.h"

namespace {

TEST(DhcpLease, LeaseIsReadWithOptionalValuesDefaulted) {
  TempDir dir;
  DhcpLease lease = {};
  ASSERT_EQ(readLease(dir.write("lease",
                                "# client\nip=192.168.7.20\n"
                                "netmask=255.255.255.0\ngateway=192.168.7.1\n"
                                "bcast=192.168.7.127\nserver=192.168.7.1\n"
                                "default_gateway=192.168.7.254\n")
                          .c_str(),
                      &lease),
            0);
  EXPECT_EQ(lease.ip, 0xc0a80714u);
  EXPECT_EQ(lease.netmask, 0xffffff00u);
  EXPECT_EQ(lease.gateway, 0xc0a80701u);
  EXPECT_EQ(lease.bcast, 0xc0a8077fu);
  EXPECT_EQ(lease.defaultGateway, 0xc0a807feu);

  std::string path = dir.write("lease", "ip=10.1.2.3\nnetmask=255.255.0.0\n");
  ASSERT_EQ(readLease(path.c_str(), &lease), 0);
  EXPECT_EQ(lease.gateway, 0u);
  EXPECT_EQ(lease.bcast, 0x0a01ffffu);
  EXPECT_EQ(lease.defaultGateway, 0u);
}

TEST(DhcpLease, IncompleteOrBrokenLeaseIsNoLease) {
  TempDir dir;
  const char *broken[] = {
      "", "netmask=255.255.255.0\n", "ip=10.0.0.2\n",
      "ip=10.0.0.2\nnetmask=255.255.255.0\ngateway=10.0.0.300\n",
      "ip=10.0.0.2\nnetmask=255.255.255.0\ndefault_gateway=\n"};
  for (const char *content : broken) {
    DhcpLease lease = {1, 2, 3, 4, 5};
    EXPECT_NE(readLease(dir.write("lease", content).c_str(), &lease), 0)
        << content;
    EXPECT_EQ(lease.ip, 1u) << "touched by: " << content;
  }
  DhcpLease lease;
  EXPECT_NE(readLease(dir.path("missing").c_str(), &lease), 0);
}

}  // namespace
