#include <gtest/gtest.h>

#include <initializer_list>

#include "login/login.h"

namespace {

// Index of the byte reported as a frame start, or -1.  The leading 0x00
// puts the detector back to rest whatever an earlier case left.
int feed(std::initializer_list<int> bytes) {
  pppFrameSeen(0x00);
  int i = 0;
  for (int b : bytes) {
    if (pppFrameSeen(static_cast<unsigned char>(b))) return i;
    i++;
  }
  return -1;
}

TEST(PppFrameSeen, RecognisesOnlyAnUnbrokenLcpStart) {
  EXPECT_EQ(feed({0x7E, 0xFF, 0x03, 0xC0, 0x21}), 4);
  EXPECT_EQ(feed({0x7E, 0xFF, 0x7D, 0x23, 0xC0, 0x21}), 5);
  // Repeated flags, and a flag in the middle, restart the match.
  EXPECT_EQ(feed({'A', 0x7E, 0x7E, 0xFF, 0x7E, 0xFF, 0x03, 0xC0, 0x21}), 8);
  EXPECT_EQ(feed({0x7E, 0xFF, 0x03, 0x80, 0x21}), -1);  // IPCP, not LCP
  EXPECT_EQ(feed({0x7E, 0xFF, 0x7D, 0x03, 0xC0, 0x21}), -1);
  EXPECT_EQ(feed({0xFF, 0x03, 0xC0, 0x21}), -1);
  // A miss leaves nothing behind for the bytes after it.
  EXPECT_EQ(feed({0x7E, 0xFF, 0x03, 0xC0, 0x22, 0xC0, 0x21}), -1);
}

}  // namespace
