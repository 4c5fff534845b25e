#include "platform/util/sha_crypt.h"

#include <string>

#include <gtest/gtest.h>

namespace {

std::string crypt5(const char *password, const char *setting) {
  char out[kShaCryptMax];
  return shaCrypt(password, setting, out) == 0 ? out : "<refused>";
}

// The algorithm's published vectors: default and custom rounds, a salt cut
// at 16 characters, rounds below the minimum raised to it.
TEST(ShaCrypt, MatchesPublishedVectors) {
  const struct {
    const char *setting, *password, *hash;
  } vectors[] = {
      {"$5$saltstring", "Hello world!",
       "$5$saltstring$5B8vYYiY.CVt1RlTTf8KbXBH3hsxY/GNooZaBBGWEc5"},
      {"$5$rounds=10000$saltstringsaltstring", "Hello world!",
       "$5$rounds=10000$saltstringsaltst$3xv.VbSHBb41AL9AvLeujZkZRBAwqFMz2.opqey6IcA"},
      {"$5$rounds=5000$toolongsaltstring", "This is just a test",
       "$5$rounds=5000$toolongsaltstrin$Un/5jzAHMgOGZ5.mWJpuVolil07guHPvOW8mGRcvxa5"},
      {"$5$rounds=1400$anotherlongsaltstring",
       "a very much longer text to encrypt.  This one even stretches over more"
       "than one line.",
       "$5$rounds=1400$anotherlongsalts$Rx.j8H.h8HjEDGomFU8bDkXm3XIUnzyxf12oP84Bnq1"},
      {"$5$rounds=77777$short", "we have a short salt string but not a short password",
       "$5$rounds=77777$short$JiO1O3ZpDAxGJeaDIuqCoEFysAe1mZNJRs3pw0KQRd/"},
      {"$5$rounds=123456$asaltof16chars..", "a short string",
       "$5$rounds=123456$asaltof16chars..$gP3VQ/6X7UUEW3HkBn2w1/Ptq2jxPyzV/cZKmF/wJvD"},
      {"$5$rounds=10$roundstoolow", "the minimum number is still observed",
       "$5$rounds=1000$roundstoolow$yfvwcWrQ8l/K0DAWyuPMDNHpIVlTQebY9l/gL972bIC"},
  };
  for (const auto &v : vectors) {
    EXPECT_EQ(crypt5(v.password, v.setting), v.hash) << v.setting;
    // A stored hash is its own setting: that is how a password is checked.
    EXPECT_EQ(crypt5(v.password, v.hash), v.hash) << v.setting;
  }
  EXPECT_EQ(crypt5("x", "$1$saltstring"), "<refused>");
  EXPECT_EQ(crypt5("x", "saltstring"), "<refused>");
}

TEST(ShaCrypt, NewHashesHaveFreshSaltsAndTheUnitsRounds) {
  char one[kShaCryptMax], two[kShaCryptMax];
  shaCryptNew("Secret", one);
  shaCryptNew("Secret", two);
  EXPECT_STRNE(one, two);
  std::string hash = one;
  ASSERT_EQ(hash.size(), 15u + 16 + 1 + 43) << hash;
  EXPECT_EQ(hash.substr(0, 15), "$5$rounds=5000$");
  EXPECT_EQ(hash.find_first_not_of(
                "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 15),
            31u);
  EXPECT_EQ(crypt5("Secret", one), hash);
  EXPECT_NE(crypt5("secret", one), hash);
}

}  // namespace
