#include <gtest/gtest.h>

#include "platform/host/rtc.h"
#include "platform/host/test_files.h"

namespace {

TEST(Rtc, ClockFileGivesTimeAndValidity) {
  TempDir dir;
  const struct {
    const char *content;
    long long seconds;
    int valid;
  } cases[] = {
      {"1700000000 1\n", 1700000000L, 1}, {"17 0", 17, 0},
      {"-1 1\n", -1, 1},  // unreadable yet valid: callers check both
      {"17", -1, 0}, {"17 2", -1, 0}, {"x 1", -1, 0}, {"17 1 x", -1, 0},
      {"-5 1", -1, 0}, {"99999999999999999999 1", -1, 0},
      // Past the end of a 32-bit clock: 2038-01-19 03:14:08 and 2040.
      {"2147483648 1", 2147483648LL, 1}, {"2208988800 1\n", 2208988800LL, 1}};
  for (const auto &c : cases) {
    RtcReading r = readRtcFile(dir.write("rtc", c.content).c_str());
    EXPECT_EQ(r.seconds, c.seconds) << c.content;
    EXPECT_EQ(r.valid, c.valid) << c.content;
  }
  EXPECT_EQ(readRtcFile(dir.path("none").c_str()).seconds, -1L);
}

}  // namespace
