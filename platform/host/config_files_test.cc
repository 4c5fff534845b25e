#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include <cstring>

#include "platform/config_store.h"
#include "platform/host/config_store_internal.h"
#include "platform/host/scratch_test_util.h"
#include "platform/host/sha256.h"

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

std::string hex(const unsigned char (&d)[kSha256Size]) {
  std::string s;
  char b[3];
  for (unsigned char c : d) s += (snprintf(b, sizeof b, "%02x", c), b);
  return s;
}

TEST(Sha256, MatchesPublishedVectors) {
  unsigned char d[kSha256Size];
  sha256("abc", 3, d);
  EXPECT_EQ(hex(d), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const char *two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  sha256(two, strlen(two), d);  // 56 bytes: the length spills into a block
  EXPECT_EQ(hex(d), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
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
  cfgSet("hostname", "lab-7\nx");  // a line end must not split the name
  cfgSetN("ip", 0x0A000005);
  cfgSet("dnsDomain", "it's.lab");
  ASSERT_EQ(cfgRenderFiles(dir_.c_str(), 0), 0);
  EXPECT_EQ(file("/etc/hostname"), "lab-7x\n");
  EXPECT_TRUE(has("/etc/network.conf", "\nLAN_IP=10.0.0.5\nLAN_NETMASK=255.255.255.0\n"));
  EXPECT_TRUE(has("/etc/network.conf", "DNS_DOMAIN='it'\\''s.lab'\n"));
  EXPECT_TRUE(has("/etc/unit/services.conf", "\nsshdPort=22\n"));
  EXPECT_EQ(file("/var/run/network.reload"), "<missing>");
  ASSERT_EQ(cfgRenderFiles(dir_.c_str(), 1), 0);
  EXPECT_EQ(file("/var/run/network.reload"), "console\n");
  // The dump reads back as the working copy.
  ASSERT_EQ(cfgDumpFile(dir_.c_str()), 0);
  cfgClear();
  EXPECT_GT(cfgTextParse(file("/var/run/config.txt").c_str()), 80);
  EXPECT_STREQ(cfgGet("hostname"), "lab-7\nx");
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
  std::string few = file("/etc/unit/accounts");
  // Many accounts make a file larger than any buffer on the way.
  for (int u = 3; u < 60; u++) {
    std::string key = "user_" + std::to_string(u) + "_name";
    ASSERT_EQ(cfgSet(key.c_str(), (std::string(40, 'n') + std::to_string(u)).c_str()), 0);
    ASSERT_EQ(cfgSet(("user_" + std::to_string(u) + "_pass").c_str(), "pw"), 0);
  }
  cfgSetN("numusers", 60);
  ASSERT_EQ(cfgRenderAccounts(dir_.c_str()), 0);
  EXPECT_TRUE(has("/etc/unit/accounts", "nnnnnnnn59:0:$sha256$"));
  EXPECT_GT(file("/etc/unit/accounts").size(), 6000u);
  std::string accounts = few;
  EXPECT_EQ(accounts.find("Secret"), std::string::npos);
  EXPECT_EQ(accounts.find("AlicePw"), std::string::npos);
  EXPECT_TRUE(has("/etc/unit/accounts", "\nalice:2:$sha256$"));
  EXPECT_TRUE(has("/etc/unit/accounts", "\nbob:0:!\n"));
  struct stat st;
  ASSERT_EQ(stat((dir_ + "/etc/unit/accounts").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // The hash is SHA-256 of salt and password.
  size_t at = accounts.find("admin:admin:$sha256$") + 20;
  unsigned char message[19], digest[kSha256Size];
  for (int i = 0; i < 8; i++)
    message[i] = std::stoi(accounts.substr(at + 2 * i, 2), nullptr, 16);
  memcpy(message + 8, "Adm1nSecret", 11);
  sha256(message, sizeof message, digest);
  EXPECT_EQ(accounts.substr(at + 17, 64), hex(digest));
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
