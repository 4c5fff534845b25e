#include <gtest/gtest.h>

#include <initializer_list>

#include "login/login.h"

namespace {

// Feeds the bytes; returns the index of the byte reported as a frame start,
// or -1.  Starts with a byte that puts the detector back to its rest state.
int feed(std::initializer_list<int> bytes) {
  pppFrameSeen(0x00);
  int i = 0;
  for (int b : bytes) {
    if (pppFrameSeen(static_cast<unsigned char>(b))) return i;
    i++;
  }
  return -1;
}

TEST(PppFrameSeen, RecognisesLcpStartPlainAndEscaped) {
  EXPECT_EQ(feed({0x7E, 0xFF, 0x03, 0xC0, 0x21}), 4);
  EXPECT_EQ(feed({0x7E, 0xFF, 0x7D, 0x23, 0xC0, 0x21}), 5);
  // Flags repeated before the frame and a frame start after noise.
  EXPECT_EQ(feed({0x7E, 0x7E, 0x7E, 0xFF, 0x03, 0xC0, 0x21}), 6);
  EXPECT_EQ(feed({'A', 'T', 0x7E, 0xFF, 0x03, 0xC0, 0x21}), 6);
  // A flag in the middle restarts the match.
  EXPECT_EQ(feed({0x7E, 0xFF, 0x7E, 0xFF, 0x03, 0xC0, 0x21}), 6);
}

TEST(PppFrameSeen, RejectsNearMisses) {
  EXPECT_EQ(feed({0x7E, 0xFF, 0x03, 0xC0, 0x22}), -1);
  EXPECT_EQ(feed({0x7E, 0xFF, 0x03, 0x80, 0x21}), -1);  // IPCP, not LCP
  EXPECT_EQ(feed({0x7E, 0xFF, 0x7D, 0x03, 0xC0, 0x21}), -1);
  EXPECT_EQ(feed({0x7E, 0xFF, 0x00, 0x03, 0xC0, 0x21}), -1);
  EXPECT_EQ(feed({0xFF, 0x03, 0xC0, 0x21}), -1);
  // The miss leaves nothing behind: the tail alone does not complete it.
  EXPECT_EQ(feed({0x7E, 0xFF, 0x03, 0xC0, 0x22, 0xC0, 0x21}), -1);
}

}  // namespace
