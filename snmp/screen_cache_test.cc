#include <gtest/gtest.h>

#include <cstring>

#include "snmp/snmp_internal.h"

namespace {

TEST(DecodeScreen, NumbersAreBigEndianWhateverTheHost) {
  unsigned char record[kScreenRecordSize] = {};
  const unsigned char status[] = {0x00, 0x00, 0x00, 0x03};
  const unsigned char rate[] = {0xff, 0xff, 0xff, 0xfe};  // -2
  const unsigned char width[] = {0x00, 0x00, 0x04, 0x00};
  const unsigned char height[] = {0x01, 0x02, 0x03, 0x04};
  memcpy(record + 20, status, 4);
  memcpy(record + 40, rate, 4);
  memcpy(record + 44, width, 4);
  memcpy(record + 48, height, 4);
  record[207] = 0xfe;
  record[206] = 1;  // neighbours are not part of the state byte
  record[208] = 1;

  ScreenFields f = decodeScreen(record);
  EXPECT_EQ(f.videoStatus, 3);
  EXPECT_EQ(f.refreshRate, -2);
  EXPECT_EQ(f.width, 1024);
  EXPECT_EQ(f.height, 0x01020304);
  EXPECT_EQ(f.screenState, 254);
}

TEST(ScreenReadDue, TenSecondsAfterTheLastReadOrWhenTheClockWentBack) {
  const time_t last = 1000000;
  EXPECT_FALSE(screenReadDue(last, last));
  EXPECT_FALSE(screenReadDue(last + 9, last));
  EXPECT_TRUE(screenReadDue(last + 10, last));
  EXPECT_TRUE(screenReadDue(last + 3600, last));
  // A clock set back must not keep a stale record for as long as it went
  // back.
  EXPECT_TRUE(screenReadDue(last - 1, last));
}

}  // namespace
