#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/host/config_store_internal.h"
#include "platform/host/scratch_test_util.h"
#include "platform/host/sha_crypt.h"

namespace {

TEST(Defaults, LeaveRoomForAccountsAndMore) {
  factoryDefaults();
  EXPECT_LT(cfgTextSize(), kCfgTextMax / 2);
}

// The table's own keys are classed by the agent's walk; account passwords
// are classed by their key's pattern.
TEST(Defaults, AccountPasswordsAreSecretByTheirKeyPattern) {
  EXPECT_TRUE(cfgIsSensitive("user_12_pass"));
  for (const char *key : {"user__pass", "user_1_passwd", "xuser_1_pass", "user_1_name"})
    EXPECT_FALSE(cfgIsSensitive(key)) << key;
}

class Files : public Scratch {
 protected:
  void SetUp() override {
    Scratch::SetUp();
    for (const char *d : {"/etc", "/etc/unit", "/var", "/var/run"})
      ASSERT_EQ(mkdir((dir_ + d).c_str(), 0755), 0);
    factoryDefaults();
  }
  std::string file(const char *name) { return readFile(dir_ + name); }
  bool has(const char *name, const char *text) {
    return file(name).find(text) != std::string::npos;
  }
};

TEST_F(Files, NetworkFilesFollowTheConfigurationAndOnlyTheConsoleAsksForAReload) {
  // Control characters, DEL among them, would break a line of either file
  // and are left out; a blank only from the host name; other bytes, those
  // above 0x7F included, stay.
  const char *hostname = "lab\x7f-7\n\tx \x1f\xc3\xa9\x01";
  cfgSet("hostname", hostname);
  cfgSetN("ip", 0x0A000005);
  cfgSet("dnsDomain", "it's\x7f.lab\x1f \x7e\x80\xff\t");
  ASSERT_EQ(cfgRenderFiles(dir_.c_str(), 0), 0);
  EXPECT_EQ(file("/etc/hostname"), "lab-7x\xc3\xa9\n");
  EXPECT_TRUE(has("/etc/network.conf", "\nLAN_IP=10.0.0.5\nLAN_NETMASK=255.255.255.0\n"));
  EXPECT_TRUE(has("/etc/network.conf", "\nDNS_DOMAIN='it'\\''s.lab ~\x80\xff'\n"));
  EXPECT_TRUE(has("/etc/unit/services.conf", "\nsshdPort=22\n"));
  EXPECT_EQ(file("/var/run/network.reload"), "<missing>");
  ASSERT_EQ(cfgRenderFiles(dir_.c_str(), 1), 0);
  EXPECT_EQ(file("/var/run/network.reload"), "console\n");
  // The dump reads back as the working copy.
  ASSERT_EQ(cfgDumpFile(dir_.c_str()), 0);
  cfgClear();
  EXPECT_GT(cfgTextParse(file("/var/run/config.txt").c_str()), 80);
  EXPECT_STREQ(cfgGet("hostname"), hostname);
}

// Every key in its own place: a value of one port or side shown for the
// other would go unnoticed with the defaults, where many of them agree.
TEST_F(Files, EveryLineOfBothPortsAndSidesShowsItsOwnKey) {
  const struct {
    const char *key, *value;
  } addresses[] = {{"ip", "10.1.0.1"},          {"netmask", "255.255.0.0"},
                   {"gateway1", "10.1.0.254"},  {"bcast", "10.1.255.255"},
                   {"ip2", "192.168.7.2"},      {"netmask2", "255.255.255.128"},
                   {"gateway2", "192.168.7.1"}, {"bcast2", "192.168.7.127"},
                   {"gateway", "10.1.0.253"},   {"dns", "10.1.0.53"}};
  for (const auto &a : addresses) {
    uint32_t address;
    ASSERT_EQ(strToIP(a.value, &address), 0) << a.value;
    cfgSetN(a.key, static_cast<int>(address));
  }
  cfgSet("hostname", "lab");
  cfgSetN("dhcpEnable", 1);
  cfgSetN("bridgeEnable", 0);
  int port = 1000;
  for (const char *key : {"sshdPort", "httpPort", "httpsPort", "snmpPort", "vncPort",
                          "vncsPort", "sshd2Port", "http2Port", "https2Port", "snmp2Port",
                          "vnc2Port", "vncs2Port"})
    cfgSetN(key, ++port);
  for (const char *key : {"radiusEnable", "ipmiEnable", "dyndnsEnable"}) cfgSetN(key, 7);
  hasEthernetOption = 1;
  int rc = cfgRenderFiles(dir_.c_str(), 0);
  hasEthernetOption = 0;
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(file("/etc/network.conf"),
            "# Network settings of the unit, written from its configuration.\n"
            "HOSTNAME='lab'\nLAN_DHCP=1\n"
            "LAN_IP=10.1.0.1\nLAN_NETMASK=255.255.0.0\n"
            "LAN_GATEWAY=10.1.0.254\nLAN_BROADCAST=10.1.255.255\n"
            "WAN_PRESENT=1\n"
            "WAN_IP=192.168.7.2\nWAN_NETMASK=255.255.255.128\n"
            "WAN_GATEWAY=192.168.7.1\nWAN_BROADCAST=192.168.7.127\n"
            "BRIDGE=0\nDEFAULT_GATEWAY=10.1.0.253\nDNS=10.1.0.53\nDNS_DOMAIN=''\n");
  EXPECT_EQ(file("/etc/unit/services.conf"),
            "# Service ports (0: off on that side) and services switched on.\n"
            "sshdPort=1001\nhttpPort=1002\nhttpsPort=1003\nsnmpPort=1004\n"
            "vncPort=1005\nvncsPort=1006\nsshd2Port=1007\nhttp2Port=1008\n"
            "https2Port=1009\nsnmp2Port=1010\nvnc2Port=1011\nvncs2Port=1012\n"
            "snmpEnabled=0\nradiusEnable=1\nfirewallEnable=0\nipmiEnable=1\n"
            "pppEnable=0\ndyndnsEnable=1\n");
}

// The hash of an account's line in the accounts file; "" when it has none.
std::string hashOf(const std::string &accounts, const std::string &name) {
  size_t at = accounts.find(name + ":");
  if (at != 0) at = accounts.find("\n" + name + ":") + 1;
  at = accounts.find(':', accounts.find(':', at) + 1) + 1;
  return accounts.substr(at, accounts.find('\n', at) - at);
}

bool verifies(const char *password, const std::string &hash) {
  char out[kShaCryptMax];
  return shaCrypt(password, hash.c_str(), out) == 0 && hash == out;
}

TEST_F(Files, AccountsHoldHashesNeverPasswords) {
  cfgSet("passwd", "Adm1nSecret");
  cfgSetN("numusers", 3);
  cfgSet("user_0_name", "alice");
  cfgSet("user_0_pass", "AlicePw");
  cfgSetN("user_0_class", 2);
  cfgSet("user_2_name", "bob");
  cfgSet("user_2_pass", "NONE");
  ASSERT_EQ(cfgRenderAccounts(dir_.c_str()), 0);
  std::string accounts = file("/etc/unit/accounts");
  EXPECT_EQ(accounts.find("Secret"), std::string::npos);
  EXPECT_EQ(accounts.find("AlicePw"), std::string::npos);
  EXPECT_TRUE(has("/etc/unit/accounts", "\nalice:2:$5$rounds=5000$"));
  EXPECT_TRUE(has("/etc/unit/accounts", "\nbob:0:!\n"));
  EXPECT_TRUE(verifies("Adm1nSecret", hashOf(accounts, "admin")));
  EXPECT_TRUE(verifies("AlicePw", hashOf(accounts, "alice")));
  struct stat st;
  ASSERT_EQ(stat((dir_ + "/etc/unit/accounts").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // Rendered again, an unchanged password keeps its hash, a changed one
  // gets a new hash of the new password, also when it was that of another
  // account; an emptied password stays empty.
  cfgSet("user_2_pass", "AlicePw");
  cfgSet("user_0_pass", "Changed");
  ASSERT_EQ(cfgRenderAccounts(dir_.c_str()), 0);
  std::string again = file("/etc/unit/accounts");
  EXPECT_EQ(hashOf(again, "admin"), hashOf(accounts, "admin"));
  EXPECT_TRUE(verifies("Changed", hashOf(again, "alice")));
  EXPECT_TRUE(verifies("AlicePw", hashOf(again, "bob")));
  EXPECT_NE(hashOf(again, "bob"), hashOf(accounts, "alice"));
  cfgSet("passwd", "");
  ASSERT_EQ(cfgRenderAccounts(dir_.c_str()), 0);
  EXPECT_EQ(file("/etc/unit/accounts").substr(0, 13), "admin:admin:\n");
}

TEST_F(Files, ManyAccountsMakeAFileLargerThanAnyBufferOnTheWay) {
  for (int u = 0; u < 60; u++) {
    std::string slot = "user_" + std::to_string(u);
    ASSERT_EQ(cfgSet((slot + "_name").c_str(), (std::string(40, 'n') + std::to_string(u)).c_str()), 0);
    ASSERT_EQ(cfgSet((slot + "_pass").c_str(), "pw"), 0);
  }
  cfgSetN("numusers", 60);
  ASSERT_EQ(cfgRenderAccounts(dir_.c_str()), 0);
  EXPECT_GT(file("/etc/unit/accounts").size(), 6000u);
  EXPECT_TRUE(has("/etc/unit/accounts", "nnnnnnnn59:0:$5$rounds=5000$"));
}

// numusers comes from outside (an SNMP set) and only bounds the slots; the
// accounts are the name keys that exist below it, in slot order.
TEST_F(Files, AccountsComeFromTheNameKeysBelowNumusers) {
  cfgSetN("numusers", INT_MAX);
  for (const char *key : {"user_2147483646_name", "user_7_name", "user_2147483647_name",
                          "user_07_name", "user_+8_name", "user_9_names", "user_0_name"})
    cfgSet(key, key + 5);
  cfgSet("user_7_pass", "NONE");
  // Walking every slot number up to numusers took a quarter of an hour;
  // the alarm ends the test long before that.
  alarm(60);
  ASSERT_EQ(cfgRenderAccounts(dir_.c_str()), 0);
  alarm(0);
  std::string accounts = file("/etc/unit/accounts");
  std::string names;
  for (size_t at = accounts.find('\n') + 1; at < accounts.size();
       at = accounts.find('\n', at) + 1)
    names += accounts.substr(at, accounts.find(':', at) - at) + " ";
  EXPECT_EQ(names, "0_name 7_name 2147483646_name ");
  EXPECT_TRUE(has("/etc/unit/accounts", "\n7_name:0:!\n"));
  cfgSetN("numusers", 7);
  ASSERT_EQ(cfgRenderAccounts(dir_.c_str()), 0);
  EXPECT_EQ(file("/etc/unit/accounts").find("7_name"), std::string::npos);
  cfgSetN("numusers", -1);
  ASSERT_EQ(cfgRenderAccounts(dir_.c_str()), 0);
  EXPECT_EQ(file("/etc/unit/accounts").find("0_name"), std::string::npos);
}

}  // namespace
