// Merged saves: what another process saved meanwhile survives this
// process's save, and edits of several keys land whole or not at all.
// "Another process" is a save of raw text straight into the image.
#include <set>
#include <sstream>
#include <string>

#include "platform/config_store.h"
#include "platform/host/config_store_internal.h"
#include "platform/host/eeprom_image.h"
#include "platform/host/scratch_test_util.h"

namespace {

class Merge : public Scratch {
 protected:
  void SetUp() override {
    Scratch::SetUp();
    cfgReset();
  }
  static std::string working() {
    static char text[kEepromSize];
    return cfgTextFormat(text, sizeof text) < 0 ? "<too big>" : text;
  }
  static std::string changes() {
    static char text[4 * kEepromSize];
    return cfgChangeText(text, sizeof text) < 0 ? "<too big>" : text;
  }
  static std::string merge(const std::string &newest, const std::string &change) {
    static char text[kEepromSize];
    return cfgMergeText(newest.c_str(), change.c_str(), text, sizeof text) < 0 ? "<too big>" : text;
  }
  static std::multiset<std::string> sortedLines(const std::string &text) {
    std::multiset<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.insert(line);
    return lines;
  }
  void loadText(const std::string &text) {
    ASSERT_EQ(save(text), 0);
    ASSERT_EQ(cfgLoad(image_.c_str()), 0);
  }
};

TEST_F(Merge, OwnChangesGoOverWhatOthersSavedAndNothingElse) {
  loadText("a=1\nb=2\nc=3\nd=4\n");
  cfgSet("b", "mine");
  cfgDelete("c");
  cfgSet("e", "new");
  cfgSet("d", "mine too");
  cfgSet("b", "mine\\\nagain");  // a second change of a key is one change
  EXPECT_EQ(changes(), "sb=mine\\\\\\nagain\ndc\nse=new\nsd=mine too\n");

  // Meanwhile: a and b changed, d deleted, f added.
  ASSERT_EQ(save("a=other\nb=other\nc=3\nf=theirs\n"), 0);
  ASSERT_EQ(cfgSave(image_.c_str()), 0);
  const std::string merged =
      "a=other\nb=mine\\\\\\nagain\nf=theirs\ne=new\nd=mine too\n";
  EXPECT_EQ(load(), merged);
  // The working copy is what was saved, and nothing is left to merge.
  EXPECT_EQ(working(), merged);
  EXPECT_EQ(changes(), "");
  ASSERT_EQ(save("a=third\n"), 0);
  ASSERT_EQ(cfgSave(image_.c_str()), 0);
  EXPECT_EQ(load(), "a=third\n");
  // The working copy took theirs in with the merge: the refresh finds
  // nothing new.
  long loads = cfgLoadCount();
  cfgUpdate(image_.c_str());
  EXPECT_EQ(cfgLoadCount(), loads);
  EXPECT_EQ(working(), "a=third\n");
}

TEST_F(Merge, ClearsAndBlankImagesStartFromWhatALoadWouldGive) {
  // Factory defaults chosen here replace everything, whatever was saved.
  loadText("a=1\n");
  factoryDefaults();
  cfgSet("hostname", "fresh");
  ASSERT_EQ(save("a=2\nx=theirs\n"), 0);
  ASSERT_EQ(cfgSave(image_.c_str()), 0);
  std::string saved = load();
  EXPECT_EQ(saved, working());
  EXPECT_EQ(saved.find("x=theirs"), std::string::npos);
  EXPECT_NE(saved.find("hostname=fresh\n"), std::string::npos);

  // An EEPROM wiped meanwhile loads as the defaults: the merge starts there,
  // not from nothing.
  loadText("a=1\n");
  cfgSet("b", "kept");
  ASSERT_EQ(save(""), 0);
  ASSERT_EQ(cfgSave(image_.c_str()), 0);
  saved = load();
  EXPECT_EQ(saved.find("a=1"), std::string::npos);
  EXPECT_NE(saved.find("hostname=unit\n"), std::string::npos);
  EXPECT_EQ(saved.substr(saved.size() - 7), "b=kept\n");
}

TEST_F(Merge, ChangeTextIsReadDefensively) {
  EXPECT_EQ(merge("a=1\n", "sb=x\\ny\\\\\n"), "a=1\nb=x\\ny\\\\\n");
  EXPECT_EQ(merge("a=1\nb=2\n", "da\nsa=3\n"), "b=2\na=3\n");
  EXPECT_EQ(merge("a=1\nb=2\n", "sq=1\nc\nsz=9"), "z=9\n");
  EXPECT_EQ(merge("a=1\n", "dnothere\n"), "a=1\n");
  // Broken lines change nothing: no '=', an empty or invalid key, an
  // unknown operation, a bare operation.
  EXPECT_EQ(merge("a=1\n", "sno equals\ns=x\nsk\x01=v\nqa=3\nd\ns\n\n"), "a=1\n");
  EXPECT_EQ(merge("a=1\n", "sa=" + std::string(kCfgTextMax, 'v') + "\n"), "<too big>");
}

TEST_F(Merge, WithNobodyElseSavingTheMergeIsTheWorkingCopy) {
  // Random edits, now and then checked against the merge of the text they
  // started from; a save in between starts the next round.
  loadText("k0=0\nk1=1\nk2=2\n");
  std::string base = working();
  unsigned seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  const char *values[] = {"", "x", "two\nlines", "back\\slash", "long value here"};
  for (int round = 0; round < 300; round++) {
    std::string key = "k" + std::to_string(next() % 12);
    if (next() % 4 == 0) {
      cfgDelete(key.c_str());
    } else {
      ASSERT_EQ(cfgSet(key.c_str(), values[next() % 5]), 0);
    }
    if (round % 7 == 6) {
      // The same settings; new keys may stand in another order.
      std::string before = working();
      ASSERT_EQ(sortedLines(merge(base, changes())), sortedLines(before))
          << "round " << round;
    }
    if (round % 50 == 49) {
      ASSERT_EQ(cfgSave(image_.c_str()), 0);
      base = working();
      ASSERT_EQ(load(), base);
    }
  }
}

TEST_F(Merge, WhenBothSidesDoNotFitTogetherNothingIsSavedAndNothingForgotten) {
  loadText("a=1\n");
  std::string mine(4000, 'm');
  std::string theirs(4500, 't');
  ASSERT_EQ(cfgSet("mine", mine.c_str()), 0);
  ASSERT_EQ(save("a=1\ntheirs=" + theirs + "\n"), 0);
  EXPECT_EQ(cfgSave(image_.c_str()), -1);
  EXPECT_EQ(load(), "a=1\ntheirs=" + theirs + "\n");
  EXPECT_EQ(working(), "a=1\nmine=" + mine + "\n");
  // Once there is room again, the change that waited goes in.
  ASSERT_EQ(save("a=2\n"), 0);
  ASSERT_EQ(cfgSave(image_.c_str()), 0);
  EXPECT_EQ(load(), "a=2\nmine=" + mine + "\n");
}

TEST_F(Merge, MoreChangesThanTheRecordHoldsSaveTheWholeCopy) {
  loadText("a=1\n");
  // Keys made and deleted again are each a change to remember.
  for (int i = 0; i < 6000; i++) {
    std::string key = "gone" + std::to_string(i);
    ASSERT_EQ(cfgSet(key.c_str(), "x"), 0);
    cfgDelete(key.c_str());
  }
  cfgSet("b", "mine");
  ASSERT_EQ(save("a=theirs\n"), 0);
  ASSERT_EQ(cfgSave(image_.c_str()), 0);
  EXPECT_EQ(load(), "a=1\nb=mine\n");
  // From there on changes are merged again.
  cfgSet("c", "x");
  ASSERT_EQ(save("a=again\nb=mine\n"), 0);
  ASSERT_EQ(cfgSave(image_.c_str()), 0);
  EXPECT_EQ(load(), "a=again\nb=mine\nc=x\n");
}

TEST_F(Merge, AGroupLandsWholeOrLeavesNoTrace) {
  std::string filler(kCfgTextMax - 30, 'f');
  loadText("a=1\nb=2\nfill=" + filler + "\n");
  cfgSet("a", "edited");
  std::string before = working();
  cfgBeginGroup();
  EXPECT_EQ(cfgSet("b", "3"), 0);
  cfgBeginGroup();  // nested, as the lease copy inside the console's D
  EXPECT_EQ(cfgSet("c", "new"), 0);
  EXPECT_EQ(cfgSet("d", std::string(40, 'd').c_str()), -1);
  EXPECT_EQ(cfgEndGroup(), -1);
  EXPECT_EQ(cfgSet("b", "4"), 0);
  EXPECT_EQ(cfgEndGroup(), -1);
  EXPECT_EQ(working(), before);
  // The undone keys are not this process's changes: another's value stays.
  EXPECT_EQ(changes(), "sa=edited\n");
  ASSERT_EQ(save("a=1\nb=theirs\nfill=" + filler + "\n"), 0);
  ASSERT_EQ(cfgSave(image_.c_str()), 0);
  EXPECT_EQ(load(), "a=edited\nb=theirs\nfill=" + filler + "\n");

  cfgBeginGroup();
  cfgSet("b", "5");
  cfgDelete("a");
  EXPECT_EQ(cfgEndGroup(), 0);
  EXPECT_EQ(working(), "b=5\nfill=" + filler + "\n");
}

TEST_F(Merge, NoSaveAfterALoadThatCouldNotReadTheImage) {
  // A directory where the image should be: it opens, but reading fails.
  ASSERT_EQ(mkdir(image_.c_str(), 0755), 0);
  EXPECT_EQ(cfgLoad(image_.c_str()), -1);
  EXPECT_STREQ(cfgGet("hostname"), "unit");
  ASSERT_EQ(rmdir(image_.c_str()), 0);
  ASSERT_EQ(save("hostname=real\nsecret=kept\n"), 0);
  cfgSet("hostname", "changed");
  EXPECT_NE(cfgSave(image_.c_str()), 0);
  EXPECT_EQ(load(), "hostname=real\nsecret=kept\n");
  // The next refresh reads the image again, and then saves go through.
  cfgUpdate(image_.c_str());
  EXPECT_STREQ(cfgGet("secret"), "kept");
  cfgSet("hostname", "changed");
  ASSERT_EQ(cfgSave(image_.c_str()), 0);
  EXPECT_EQ(load(), "hostname=changed\nsecret=kept\n");
  // A missing image is a unit that never saved, not an error.
  ASSERT_EQ(unlink(image_.c_str()), 0);
  cfgLoad(image_.c_str());
  EXPECT_EQ(cfgSave(image_.c_str()), 0);
}

TEST_F(Merge, EveryKeyIsFoundThroughDeletesAndReloads) {
  // Many similar keys, as in a store of many user accounts.
  for (int i = 0; i < 400; i++) {
    std::string key = "user_" + std::to_string(i) + "_name";
    ASSERT_EQ(cfgSet(key.c_str(), std::to_string(i).c_str()), 0);
  }
  for (int i = 0; i < 400; i += 3) cfgDelete(("user_" + std::to_string(i) + "_name").c_str());
  auto check = [] {
    for (int i = 0; i < 400; i++) {
      std::string key = "user_" + std::to_string(i) + "_name";
      ASSERT_EQ(cfgIsDefined(key.c_str()), i % 3 != 0) << key;
      if (i % 3 != 0) {
        ASSERT_EQ(cfgGet(key.c_str()), std::to_string(i)) << key;
      }
    }
  };
  check();
  ASSERT_EQ(cfgSave(image_.c_str()), 0);
  cfgReset();
  ASSERT_EQ(cfgLoad(image_.c_str()), 0);
  EXPECT_EQ(cfgCount(), 266);
  check();
}

}  // namespace

namespace {

TEST_F(Merge, RefreshKeepsUnsavedChangesOnTopOfOthersSaves) {
  loadText("a=1\nb=2\nc=3\n");
  cfgSet("b", "mine");
  cfgDelete("c");
  ASSERT_EQ(save("a=theirs\nb=theirs\nc=theirs\nd=new\n"), 0);
  ASSERT_EQ(cfgUpdate(image_.c_str()), 0);
  EXPECT_EQ(working(), "a=theirs\nb=mine\nd=new\n");
  // Still this process's changes: its save stores them, and nothing else.
  EXPECT_EQ(changes(), "sb=mine\ndc\n");
  ASSERT_EQ(save("a=third\nb=theirs\nc=back\nd=new\n"), 0);
  ASSERT_EQ(cfgSave(image_.c_str()), 0);
  EXPECT_EQ(load(), "a=third\nb=mine\nd=new\n");

  // Changes that no longer fit beside what was saved: the working copy
  // stays as it was, the refresh fails, the next one tries again.
  loadText("a=1\n");
  cfgSet("big", std::string(kCfgTextMax - 40, 'x').c_str());
  ASSERT_EQ(save("a=1\nb=" + std::string(60, 'y') + "\n"), 0);
  EXPECT_EQ(cfgUpdate(image_.c_str()), -1);
  EXPECT_EQ(working(), "a=1\nbig=" + std::string(kCfgTextMax - 40, 'x') + "\n");
  EXPECT_EQ(changes(), "sbig=" + std::string(kCfgTextMax - 40, 'x') + "\n");
  ASSERT_EQ(save("a=2\n"), 0);
  EXPECT_EQ(cfgUpdate(image_.c_str()), 0);
  EXPECT_STREQ(cfgGet("a"), "2");
}

TEST_F(Merge, ShownValuesAreNeverSaved) {
  // The lease shown over a configured address; the operator changes only
  // the host name.  With nobody else saving (the save would otherwise take
  // the working copy as it is) and with a save in between.
  for (bool othersSaved : {false, true}) {
    loadText("ip=1\nnetmask=2\nhostname=old\n");
    cfgBeginDisplay();
    cfgSet("ip", "99");
    cfgSet("gateway1", "98");  // not set before: shown, then gone again
    cfgEndDisplay();
    EXPECT_STREQ(cfgGet("ip"), "99");
    cfgSet("hostname", "new");
    if (othersSaved) {
      ASSERT_EQ(save("ip=5\nnetmask=6\nhostname=old\n"), 0);
    }
    ASSERT_EQ(cfgSave(image_.c_str()), 0);
    EXPECT_EQ(load(), othersSaved ? "ip=5\nnetmask=6\nhostname=new\n"
                                  : "ip=1\nnetmask=2\nhostname=new\n");
  }
  // A shown key the operator then sets is the operator's.
  loadText("ip=1\n");
  cfgBeginDisplay();
  cfgSet("ip", "99");
  cfgEndDisplay();
  cfgSet("ip", "7");
  ASSERT_EQ(cfgSave(image_.c_str()), 0);
  EXPECT_EQ(load(), "ip=7\n");
}

TEST_F(Merge, VerifiedSaveChecksTheMergeAndKeepsEditsWhenRefused) {
  const std::string lan = "ip=" + std::to_string(0xC0A8010Au) +
                          "\nnetmask=" + std::to_string(0xFFFFFF00u) +
                          "\nbcast=" + std::to_string(0xC0A801FFu) +
                          "\nnetaddr=" + std::to_string(0xC0A80100u) + "\n";
  loadText(lan + "dhcpEnable=0\n");
  cfgSetN("gateway1", static_cast<int>(0xC0A80101u));
  char reason[kVerifyReasonSize] = "";
  ASSERT_NE(verifyNetworkConfig(reason), 0) << reason;
  // Another program moves the LAN to 10.0.0.5/8: the gateway no longer
  // fits the merge, so nothing is saved and the edit stays.
  const std::string moved = "ip=" + std::to_string(0x0A000005u) +
                            "\nnetmask=" + std::to_string(0xFF000000u) +
                            "\nbcast=" + std::to_string(0x0AFFFFFFu) +
                            "\nnetaddr=" + std::to_string(0x0A000000u) +
                            "\ndhcpEnable=0\n";
  ASSERT_EQ(save(moved), 0);
  EXPECT_EQ(cfgSaveVerified(image_.c_str(), reason), 1);
  EXPECT_NE(std::string(reason), "");
  EXPECT_EQ(load(), moved);
  EXPECT_EQ(changes(), "sgateway1=" + std::to_string(0xC0A80101u) + "\n");
  // Without the move it is saved.
  ASSERT_EQ(save(lan + "dhcpEnable=0\n"), 0);
  EXPECT_EQ(cfgSaveVerified(image_.c_str(), reason), 0);
}

}  // namespace
