#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/unit/identity.h"
#include "platform/testing/test_files.h"

namespace {

Identity id;  // large; kept off the stack

// The fields of a loaded unit; macs holds mac and then mac2.
void expectUnit(char code, int oemVersion, const unsigned char (&macs)[12],
                uint32_t serial, int ethernetOption, int qerlPlek, const char *snmpOid) {
  EXPECT_EQ(id.record.productCode, code);
  EXPECT_EQ(id.record.oemVersion, oemVersion);
  EXPECT_EQ(memcmp(id.mac, macs, 6) | memcmp(id.mac2, macs + 6, 6), 0);
  EXPECT_EQ(id.serial, serial);
  EXPECT_EQ(id.ethernetOption, ethernetOption);
  EXPECT_EQ(id.qerlPlek, qerlPlek);
  EXPECT_STREQ(tfGet(&id.texts, "brand"), "Generic");
  EXPECT_STREQ(tfGet(&id.texts, "snmpOID"), snmpOid);
}

void expectDefaultUnit() {
  EXPECT_STREQ(id.record.productName, "Remote Console Unit");
  expectUnit('S', 1, {2, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 2}, 12345u, 1, 0, "");
  EXPECT_FALSE(tfIsDefined(&id.texts, "snmpOID"));
}

TEST(Identity, MissingFileOrValuesThatDoNotFitGiveTheDefaults) {
  TempDir dir;
  memset(&id, 0x5a, sizeof id);
  EXPECT_NE(loadIdentity(dir.path("none").c_str(), &id), 0);
  expectDefaultUnit();
  std::string path = dir.write(
      "identity",
      "product_code=\nproduct_code=AB\noem_version=2147483648\n"
      "mac=00:0a:fe:01:02\nmac2=00:0a:fe:01:02:03:04\nserial=4294967296\n"
      "serial=-1\nethernet_option=yes\nqerl_plek=2\n=orphan\nno equals\n");
  memset(&id, 0x5a, sizeof id);
  ASSERT_EQ(loadIdentity(path.c_str(), &id), 0);
  expectDefaultUnit();
}

TEST(Identity, EveryKeyOfTheFileIsTaken) {
  TempDir dir;
  std::string path = dir.write(
      "identity",
      "# factory data\n product_name = KX = 4-port switch \n"
      "product_code=K\nboard_code=7\noem_version=-3\n"
      "mac=00:0A:fe:01:02:03\r\nmac2=00:0a:fe:01:02:04\nserial=4294967295\n"
      "ethernet_option=0\nqerl_plek=1\ntf.snmpOID=.1.3.6.1.4.1.99.1\n");
  ASSERT_EQ(loadIdentity(path.c_str(), &id), 0);
  EXPECT_STREQ(id.record.productName, "KX = 4-port switch");
  EXPECT_EQ(id.record.boardCode, '7');
  expectUnit('K', -3, {0, 0x0a, 0xfe, 1, 2, 3, 0, 0x0a, 0xfe, 1, 2, 4}, 4294967295u, 0, 1,
             ".1.3.6.1.4.1.99.1");
}

TEST(Identity, TextLimits) {
  TempDir dir;
  std::string content = "product_name=" + std::string(100, 'n') +
                        "\ntf.huge=" + std::string(400, 'h') + "\n";
  for (int i = 0; i < 40; ++i) content += "tf.k" + std::to_string(i) + "=v\n";
  ASSERT_EQ(loadIdentity(dir.write("identity", content).c_str(), &id), 0);
  EXPECT_EQ(std::string(id.record.productName), std::string(63, 'n'));
  EXPECT_FALSE(tfIsDefined(&id.texts, "huge"));
  // The default brand takes one of the 32 places.
  EXPECT_TRUE(tfIsDefined(&id.texts, "k30"));
  EXPECT_FALSE(tfIsDefined(&id.texts, "k31"));
}

}  // namespace
