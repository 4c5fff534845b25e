#include <gtest/gtest.h>

#include <cstring>

#include "snmp/snmp_internal.h"

namespace {

TEST(DecodeScreen, NumbersAreBigEndianWhateverTheHost) {
  unsigned char record[kScreenRecordSize] = {};
  const unsigned char fields[] = {0, 0, 0, 3, 0xff, 0xff, 0xff, 0xfe,
                                  0, 0, 4, 0, 1, 2, 3, 4};
  memcpy(record + 20, fields, 4);
  memcpy(record + 40, fields + 4, 12);
  record[207] = 0xfe;
  ScreenFields f = decodeScreen(record);
  EXPECT_EQ(f.videoStatus, 3);
  EXPECT_EQ(f.refreshRate, -2);
  EXPECT_EQ(f.width, 1024);
  EXPECT_EQ(f.height, 0x01020304);
  EXPECT_EQ(f.screenState, 254);
}

TEST(ScreenReadDue, TenSecondsAfterTheLastReadOrWhenTheClockWentBack) {
  const time_t last = 1000000;
  EXPECT_FALSE(screenReadDue(last + 9, last));
  EXPECT_TRUE(screenReadDue(last + 10, last));
  // A clock set back must not keep a stale record for as long as it went.
  EXPECT_TRUE(screenReadDue(last - 1, last));
}

}  // namespace
