#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/config_store.h"
#include "platform/host/config_store_internal.h"
#include "platform/host/eeprom_image.h"
#include "platform/host/log_internal.h"
#include "platform/host/scratch_test_util.h"

namespace {

class Store : public Scratch {
 protected:
  void SetUp() override {
    Scratch::SetUp();
    cfgReset();
  }
};

TEST_F(Store, ValuesOfAnyTextSurviveASaveAndLoad) {
  const char *values[] = {"", "a=b=c", "back\\slash", "two\nlines",
                          "trailing\\", "\\n literal", "\n\n", " blanks "};
  // Keys that would break the line format are refused.
  EXPECT_EQ(cfgSet("", "x") + cfgSet("a=b", "x") + cfgSet("a\nb", "x"), -3);
  EXPECT_EQ(cfgCount(), 0);
  for (size_t i = 0; i < std::size(values); i++)
    ASSERT_EQ(cfgSet(("k" + std::to_string(i)).c_str(), values[i]), 0);
  ASSERT_EQ(cfgSave(image_.c_str()), 0);
  // One line per key: the escapes keep newlines out of the saved text.
  std::string text = load();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(std::size(values)));
  EXPECT_EQ(static_cast<int>(text.size()), cfgTextSize());
  cfgClear();
  ASSERT_EQ(cfgLoad(image_.c_str()), 0);
  ASSERT_EQ(cfgCount(), static_cast<int>(std::size(values)));
  for (size_t i = 0; i < std::size(values); i++)
    EXPECT_STREQ(cfgGet(("k" + std::to_string(i)).c_str()), values[i]);
  // Foreign text: broken lines are skipped, the last of two twins counts.
  EXPECT_EQ(cfgTextParse("a=1\nno equals\n=orphan\nb=x\\\\y\\nz\na=2"), 3);
  EXPECT_STREQ(cfgGet("a"), "2");
  EXPECT_STREQ(cfgGet("b"), "x\\y\nz");
}

TEST_F(Store, AFullStoreFitsAndOneCharacterMoreIsRefused) {
  // "big=" + value + "\n" takes the whole EEPROM text.
  std::string value(kCfgTextMax - 5, 'v');
  ASSERT_EQ(cfgSet("big", value.c_str()), 0);
  EXPECT_EQ(cfgSet("c", ""), -1);
  EXPECT_EQ(cfgSet("big", (value + "v").c_str()), -1);
  // An escaped character counts twice.
  EXPECT_EQ(cfgSet("big", (value.substr(1) + "\n").c_str()), -1);
  EXPECT_EQ(cfgGet("big"), value);  // refusals leave the value alone
  for (char c = 'a'; c < 'h'; c++) {  // full values replacing full values
    std::string other(value.size(), c);
    ASSERT_EQ(cfgSet("big", other.c_str()), 0);
    ASSERT_EQ(cfgGet("big"), other);
  }
  ASSERT_EQ(cfgSet("big", value.c_str()), 0);
  ASSERT_EQ(cfgSave(image_.c_str()), 0);
  cfgClear();
  cfgLoad(image_.c_str());
  EXPECT_EQ(cfgGet("big"), value);
  cfgDelete("big");
  EXPECT_EQ(cfgSet("c", ""), 0);
}

TEST_F(Store, ManyEditsKeepEveryValue) {
  // Enough replaced text to make the store pack its pool several times.
  for (int i = 0; i < 700; i++) {
    std::string key = "key" + std::to_string(i % 7);
    std::string v = std::to_string(i) + std::string(i % 500, 'p');
    ASSERT_EQ(cfgSet(key.c_str(), v.c_str()), 0);
    // A value taken from the store itself can be stored under another key.
    ASSERT_EQ(cfgSet("copy", cfgGet(key.c_str())), 0);
    ASSERT_EQ(cfgGet("copy"), v);
  }
  EXPECT_EQ(cfgGet("key6"), "699" + std::string(199, 'p'));
}

TEST_F(Store, EveryKeyIsFoundWhileTheStoreGrowsShrinksAndStartsOver) {
  // Two-character keys, as many as fit: more than the key index holds at
  // first, so it grows while they are set.
  auto key = [](int i) {
    static const char kDigits[] =
        "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    return std::string{kDigits[i / 62], kDigits[i % 62]};
  };
  for (int round = 0; round < 2; round++) {
    cfgClear();
    int n = 0;
    while (cfgSet(key(n).c_str(), std::to_string(n % 10).c_str()) == 0) n++;
    ASSERT_GT(n, 1500);
    for (int i = 0; i < n; i++)
      ASSERT_EQ(cfgGet(key(i).c_str()), std::to_string(i % 10)) << key(i);
    for (int i = 0; i < n; i += 3) cfgDelete(key(i).c_str());
    for (int i = 0; i < n; i++) {
      if (i % 3 == 0) {
        ASSERT_FALSE(cfgIsDefined(key(i).c_str())) << key(i);
      } else {
        ASSERT_EQ(cfgGet(key(i).c_str()), std::to_string(i % 10)) << key(i);
      }
    }
    EXPECT_EQ(cfgCount(), n - (n + 2) / 3);
  }
}

// The key index starts its probe at the low bits of the key's 32-bit FNV-1a
// hash (2048 slots, 4096 once grown).  Keys whose hashes agree in the low 12
// bits meet in one probe sequence at either size; found by search, not left
// to luck.
uint32_t fnv1a(const std::string &key) {
  uint32_t h = 2166136261u;
  for (unsigned char c : key) h = (h ^ c) * 16777619u;
  return h;
}

// Keys prefix + digits that share the first slot of prefix.
std::vector<std::string> slotMates(const std::string &prefix, int count) {
  std::vector<std::string> mates;
  for (long n = 0; static_cast<int>(mates.size()) < count; n++) {
    std::string key = prefix + std::to_string(n);
    if (((fnv1a(key) ^ fnv1a(prefix)) & 4095) == 0) mates.push_back(key);
  }
  return mates;
}

// A key that is the start of another, in one probe sequence with it: each
// is found, changed and deleted by its whole length only, whichever was
// set first, in the working copy and after a save and load.
TEST_F(Store, KeysSharingASlotAreToldApartByTheirWholeLength) {
  ASSERT_EQ((fnv1a("zq") ^ fnv1a("zq2806")) & 4095, 0u);  // the fuzzer's pair
  for (const char *prefix : {"zq", "ip", "serial0", "user_1_name"}) {
    std::vector<std::string> keys = slotMates(prefix, 2);
    keys.insert(keys.begin(), prefix);
    for (bool shortFirst : {true, false}) {
      SCOPED_TRACE(std::string(prefix) + (shortFirst ? ", shortest first" : ", longest first"));
      cfgClear();
      std::vector<std::string> order = keys;
      if (!shortFirst) std::reverse(order.begin(), order.end());
      for (const std::string &k : order) ASSERT_EQ(cfgSet(k.c_str(), ("v" + k).c_str()), 0);
      ASSERT_EQ(cfgSave(image_.c_str()), 0);
      for (int pass = 0; pass < 2; pass++) {  // as set, then as loaded
        for (const std::string &k : keys) ASSERT_EQ(cfgGet(k.c_str()), "v" + k) << k;
        cfgClear();
        ASSERT_EQ(cfgLoad(image_.c_str()), 0);
      }
      // Each change and each deletion touches its own key only.
      std::map<std::string, std::string> want;
      for (const std::string &k : keys) want[k] = "v" + k;
      for (const std::string &k : order) {
        ASSERT_EQ(cfgSet(k.c_str(), ("w" + k).c_str()), 0);
        want[k] = "w" + k;
        for (const std::string &other : keys) ASSERT_EQ(cfgGet(other.c_str()), want[other]) << k;
      }
      for (const std::string &k : order) {
        cfgDelete(k.c_str());
        want.erase(k);
        for (const std::string &other : keys) {
          ASSERT_EQ(cfgIsDefined(other.c_str()) != 0, want.count(other) == 1) << k;
          if (want.count(other)) {
            ASSERT_EQ(cfgGet(other.c_str()), want[other]) << k;
          }
        }
      }
    }
  }
}

TEST_F(Store, BlankCorruptOrMissingEepromGivesTheDefaults) {
  EXPECT_EQ(cfgLoad(image_.c_str()), -1);  // no image at all
  EXPECT_STREQ(cfgGet("hostname"), "unit");
  ASSERT_EQ(save(""), 0);  // as after an erase
  cfgSet("hostname", "changed");
  EXPECT_EQ(cfgLoad(image_.c_str()), -1);
  EXPECT_STREQ(cfgGet("hostname"), "unit");
  ASSERT_EQ(save("no key on this line\n"), 0);
  EXPECT_EQ(cfgLoad(image_.c_str()), -1);
  EXPECT_EQ(cfgCount(), cfgDefaultCount());
  EXPECT_EQ(load(), "no key on this line\n");  // loaded, not saved
}

// The store's log lines, read from a stand-in log daemon.
class StoreLog : public Store {
 protected:
  void SetUp() override {
    Store::SetUp();
    daemon_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un a = {};
    a.sun_family = AF_UNIX;
    logPath_.copy(a.sun_path, sizeof a.sun_path - 1);
    ASSERT_EQ(bind(daemon_, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    logUseSocket(logPath_.c_str());  // kept, not copied
  }
  void TearDown() override {
    logUseSocket("/nonexistent/log");
    close(daemon_);
    cfgReset();
  }
  // The messages logged since the last call, without their headers.
  std::vector<std::string> logged() {
    std::vector<std::string> lines;
    char buf[4096];
    ssize_t n;
    while ((n = recv(daemon_, buf, sizeof buf, MSG_DONTWAIT)) > 0) {
      std::string line(buf, static_cast<size_t>(n));
      lines.push_back(line.substr(line.find("]: ") + 3));
    }
    return lines;
  }
  std::string logPath_ = dir_ + "/log";
  int daemon_ = -1;
};

// An EEPROM that cannot be read may still hold good settings: the store
// runs on the defaults, says so once, saves nothing over it, and takes the
// settings in at the first update once it can read them again.
TEST_F(StoreLog, AnUnreadableEepromIsNeverSavedOverAndIsTakenBackWhenReadable) {
  ASSERT_EQ(save("hostname=kept\n"), 0);
  const std::string flaky = dir_ + "/flaky";
  ASSERT_EQ(mkdir(flaky.c_str(), 0755), 0);  // reading it fails
  EXPECT_EQ(cfgLoad(flaky.c_str()), -1);
  EXPECT_EQ(cfgUpdate(flaky.c_str()), -1);
  EXPECT_STREQ(cfgGet("hostname"), "unit");
  std::vector<std::string> lines = logged();
  ASSERT_EQ(lines.size(), 1u);  // once, not at every retry
  EXPECT_EQ(lines[0].rfind("Configuration store: the EEPROM could not be read (", 0), 0u);
  cfgSet("hostname", "lost");
  EXPECT_EQ(cfgSave(flaky.c_str()), -1);
  EXPECT_EQ(logged(), std::vector<std::string>{
                          "Configuration store: not saved: the EEPROM could not be read, and "
                          "its settings would be lost."});
  ASSERT_EQ(rmdir(flaky.c_str()), 0);
  ASSERT_EQ(rename(image_.c_str(), flaky.c_str()), 0);
  EXPECT_EQ(cfgUpdate(flaky.c_str()), 0);
  EXPECT_STREQ(cfgGet("hostname"), "kept");
  cfgSet("hostname", "saved");
  EXPECT_EQ(cfgSave(flaky.c_str()), 0);
  EXPECT_EQ(logged(), std::vector<std::string>{});
}

// More changed keys than the change record holds: the save cannot merge
// with what others saved meanwhile, says so, and saves this process's
// working copy whole, its own changes all in.
TEST_F(StoreLog, TooManyChangesToMergeSaveTheWholeWorkingCopy) {
  ASSERT_EQ(save("a=1\n"), 0);
  ASSERT_EQ(cfgLoad(image_.c_str()), 0);
  for (int i = 0; i < 1200; i++) {  // names longer than the record's room
    std::string key = "changed_and_gone_" + std::to_string(i);
    ASSERT_EQ(cfgSet(key.c_str(), "x"), 0);
    cfgDelete(key.c_str());
  }
  cfgSet("a", "2");
  cfgSet("c", "3");
  ASSERT_EQ(save("a=1\nb=other\n"), 0);  // another process, meanwhile
  ASSERT_EQ(cfgSave(image_.c_str()), 0);
  EXPECT_EQ(logged(), std::vector<std::string>{
                          "Configuration store: too many changes to merge; saving the whole "
                          "working copy."});
  EXPECT_EQ(load(), "a=2\nc=3\n");
}

TEST_F(Store, UpdateReloadsOnlyWhenSomethingWasSaved) {
  ASSERT_EQ(save("a=1\n"), 0);
  cfgLoad(image_.c_str());
  long loads = cfgLoadCount();
  for (int i = 0; i < 100; i++) cfgUpdate(image_.c_str());
  cfgSet("a", "2");
  ASSERT_EQ(cfgSave(image_.c_str()), 0);
  cfgUpdate(image_.c_str());  // our own save is nothing new
  EXPECT_EQ(cfgLoadCount(), loads);
  // Another process's save, even of the same text, is.
  ASSERT_EQ(save("a=2\n"), 0);
  cfgUpdate(image_.c_str());
  EXPECT_EQ(cfgLoadCount(), loads + 1);
  ASSERT_EQ(save("a=3\n"), 0);
  cfgUpdate(image_.c_str());
  EXPECT_STREQ(cfgGet("a"), "3");
  // An image elsewhere is another image, not news of this one.
  std::string other = dir_ + "/other.img";
  ASSERT_EQ(eepromWriteImage(other.c_str(), "a=4\n", 5, nullptr, nullptr), 0);
  cfgUpdate(other.c_str());
  EXPECT_STREQ(cfgGet("a"), "4");
}

}  // namespace
