#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "gtest/gtest.h"
#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/host/config_store_internal.h"
#include "platform/host/sha256.h"

namespace {

// Rows of the SNMP configuration table: each needs a factory value.
constexpr const char *kSnmpKeys[] = {
    "dhcpEnable", "ip", "gateway", "gateway1", "netmask", "bcast", "ip2",
    "gateway2", "netmask2", "bcast2", "passwd", "idleTimeout", "snmpEnabled",
    "snmpROCommunity", "snmpRWCommunity", "snmpTrapCommunity", "snmpTrapSink1",
    "snmpTrapSink2", "sshdPort", "httpPort", "httpsPort", "snmpPort", "vncPort",
    "vncsPort", "vncSizes", "sshd2Port", "http2Port", "https2Port", "vnc2Port",
    "vncs2Port", "snmp2Port", "hostname", "location", "contact", "description",
    "netaddr", "pwlockout", "numusers", "sshBypass", "fancyLogin",
    "radiusEnable", "radiusServer1", "radiusSecret1", "radiusPort1",
    "radiusServer2", "radiusSecret2", "radiusPort2", "radiusServer3",
    "radiusSecret3", "radiusPort3", "radiusRetries", "radiusTimeout",
    "bridgeEnable", "diskType", "cdromUrl", "externalKvm", "firewallEnable",
    "sourceAccept", "sourceReject", "dns", "dnsDomain", "syslog", "kbdLocale",
    "ipmiEnable", "ipmbAddr", "ipmisPassword", "ipmisPort", "ipmisBaud",
    "pppEnable", "pppBaud", "modemInit", "pwrDevice", "ukmDisable",
    "absMDisable", "localLockout", "noSharing", "pwrAnyone", "usbHSDisable",
    "udiskDisable", "usbMSDisable", "vidFilterD", "dyndnsEnable",
    "dyndnsUsername", "dyndnsPasswd", "aclDefault", "osdBlank"};
static_assert(std::size(kSnmpKeys) == 86);

TEST(Defaults, CoverEveryPublishedKeyWithAddressesAsNumbers) {
  factoryDefaults();
  for (const char *key : kSnmpKeys) EXPECT_TRUE(cfgIsDefined(key)) << key;
  for (const char *key : {"serial0", "serial2", "serial3"}) {
    EXPECT_STREQ(cfgGet(key), "") << key;  // no port reserved
  }
  EXPECT_NE(strchr(cfgGet("modemInit"), '&'), nullptr);
  EXPECT_STREQ(cfgGet("ip"), "3232235786");  // 192.168.1.10
  EXPECT_EQ(cfgGetN("numusers"), 0);
  EXPECT_EQ(cfgGetN("sshdPort"), 22);
  EXPECT_EQ(cfgGetN("vncsPort"), 15900);
  EXPECT_EQ(cfgGetN("https2Port"), 0);
  // The factory state fits the EEPROM with room to spare.
  EXPECT_LT(cfgTextSize(), kCfgTextMax / 2);
}

TEST(Defaults, SecretsAndAddressesAreKnownByName) {
  for (const char *key : {"passwd", "snmpRWCommunity", "radiusSecret3",
                          "ipmisPassword", "dyndnsPasswd", "user_0_pass",
                          "user_12_pass"}) {
    EXPECT_TRUE(cfgIsSensitive(key)) << key;
  }
  for (const char *key : {"snmpROCommunity", "user_0_name", "user__pass",
                          "user_1_passwd", "xuser_1_pass", "dyndnsUsername"}) {
    EXPECT_FALSE(cfgIsSensitive(key)) << key;
  }
  for (const char *key : {"ip", "netmask2", "gateway", "gateway1", "bcast2",
                          "netaddr", "dns", "radiusServer2", "snmpTrapSink1"}) {
    EXPECT_TRUE(cfgIsIPAddress(key)) << key;
  }
  for (const char *key : {"ipmbAddr", "radiusPort1", "snmpPort", "hostname"}) {
    EXPECT_FALSE(cfgIsIPAddress(key)) << key;
  }
}

std::string hex(const unsigned char (&d)[kSha256Size]) {
  std::string s;
  char b[3];
  for (unsigned char c : d) {
    snprintf(b, sizeof b, "%02x", c);
    s += b;
  }
  return s;
}

TEST(Sha256, MatchesPublishedVectors) {
  unsigned char d[kSha256Size];
  sha256("abc", 3, d);
  EXPECT_EQ(hex(d), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const char *two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  sha256(two, strlen(two), d);  // 56 bytes: the length spills into a block
  EXPECT_EQ(hex(d), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  sha256("", 0, d);
  EXPECT_EQ(hex(d), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

class Files : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "filesXXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    for (const char *d : {"/etc", "/etc/unit", "/var", "/var/run"})
      ASSERT_EQ(mkdir((root_ + d).c_str(), 0755), 0);
    factoryDefaults();
  }
  void TearDown() override {
    for (const char *f : {"/etc/hostname", "/etc/network.conf",
                          "/etc/resolv.conf", "/etc/unit/services.conf",
                          "/etc/unit/accounts", "/var/run/config.txt",
                          "/var/run/network.reload"})
      unlink((root_ + f).c_str());
    for (const char *d : {"/var/run", "/var", "/etc/unit", "/etc"})
      rmdir((root_ + d).c_str());
    rmdir(root_.c_str());
  }
  std::string file(const char *name) {
    std::string data;
    FILE *f = fopen((root_ + name).c_str(), "r");
    if (!f) return "<missing>";
    char buf[1024];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    fclose(f);
    return data;
  }
  bool has(const char *name, const std::string &text) {
    return file(name).find(text) != std::string::npos;
  }
  std::string root_;
};

TEST_F(Files, NetworkFilesFollowTheConfigurationAndOnlyTheConsoleAsksForAReload) {
  cfgSet("hostname", "lab-7\nx");  // a line end must not split the name
  cfgSetN("ip", static_cast<int>(0x0A000005));
  cfgSet("dnsDomain", "it's.lab");
  ASSERT_EQ(cfgRenderFiles(root_.c_str(), 0), 0);
  EXPECT_EQ(file("/etc/hostname"), "lab-7x\n");
  EXPECT_TRUE(has("/etc/network.conf", "\nLAN_IP=10.0.0.5\n"));
  EXPECT_TRUE(has("/etc/network.conf", "\nLAN_DHCP=0\n"));
  EXPECT_TRUE(has("/etc/network.conf", "DNS_DOMAIN='it'\\''s.lab'\n"));
  EXPECT_TRUE(has("/etc/unit/services.conf", "\nsshdPort=22\n"));
  EXPECT_EQ(file("/var/run/network.reload"), "<missing>");
  ASSERT_EQ(cfgRenderFiles(root_.c_str(), 1), 0);
  EXPECT_EQ(file("/var/run/network.reload"), "console\n");
}

TEST_F(Files, AccountsHoldHashesNeverPasswords) {
  cfgSet("passwd", "Adm1nSecret");
  cfgSetN("numusers", 3);
  cfgSet("user_0_name", "alice");
  cfgSet("user_0_pass", "AlicePw");
  cfgSetN("user_0_class", 2);
  cfgSet("user_2_name", "bob");
  cfgSet("user_2_pass", "NONE");
  ASSERT_EQ(cfgRenderAccounts(root_.c_str()), 0);
  std::string accounts = file("/etc/unit/accounts");
  EXPECT_EQ(accounts.find("Secret"), std::string::npos);
  EXPECT_EQ(accounts.find("AlicePw"), std::string::npos);
  EXPECT_TRUE(has("/etc/unit/accounts", "alice:2:$sha256$"));
  EXPECT_TRUE(has("/etc/unit/accounts", "\nbob:0:!\n"));
  struct stat st;
  ASSERT_EQ(stat((root_ + "/etc/unit/accounts").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // The hash is SHA-256 of salt and password.
  size_t at = accounts.find("admin:admin:$sha256$") + 20;
  std::string salt = accounts.substr(at, 16);
  unsigned char message[64], digest[kSha256Size];
  for (int i = 0; i < 8; i++) message[i] = std::stoi(salt.substr(2 * i, 2), nullptr, 16);
  memcpy(message + 8, "Adm1nSecret", 11);
  sha256(message, 19, digest);
  EXPECT_EQ(accounts.substr(at + 17, 64), hex(digest));
}

TEST_F(Files, TheDumpIsTheWorkingCopyInItsSavedForm) {
  cfgSet("description", "two\nlines");
  ASSERT_EQ(cfgDumpFile(root_.c_str()), 0);
  std::string dump = file("/var/run/config.txt");
  EXPECT_NE(dump.find("\ndescription=two\\nlines\n"), std::string::npos);
  cfgClear();
  EXPECT_GT(cfgTextParse(dump.c_str()), 80);
  EXPECT_STREQ(cfgGet("description"), "two\nlines");
}

}  // namespace
