#include <algorithm>
#include <iterator>

#include "platform/config_store.h"
#include "platform/host/config_store_internal.h"
#include "platform/host/eeprom_image.h"
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
