#include <termios.h>

#include <gtest/gtest.h>

#include "platform/device_services.h"
#include "platform/host/test_files.h"

namespace {

TEST(Text, FirstLineOfAFile) {
  TempDir dir;
  EXPECT_STREQ(readFirstLine(dir.write("v", "3.1 build 7\r\nmore\n").c_str()),
               "3.1 build 7");
  EXPECT_STREQ(readFirstLine(dir.write("v", "no line end").c_str()),
               "no line end");
  EXPECT_STREQ(readFirstLine(dir.path("missing").c_str()), "");
  EXPECT_EQ(strlen(readFirstLine(dir.write("v", std::string(999, 'x')).c_str())),
            255u);
}

TEST(Text, BaudRatesMapToSpeedCodes) {
  EXPECT_EQ(baudToTermios(1200), static_cast<unsigned>(B1200));
  EXPECT_EQ(baudToTermios(115200), static_cast<unsigned>(B115200));
  EXPECT_EQ(baudToTermios(0), 0u);
  EXPECT_EQ(baudToTermios(14400), 0u);
  EXPECT_EQ(baudToTermios(B9600), 0u);  // a speed code is not a rate
}

}  // namespace
