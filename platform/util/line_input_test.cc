#include <unistd.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/util/line_input.h"

namespace {

// Reads lines of at most n characters from input that has already ended;
// "<end>" stands for a result of -1.
std::string lines(const std::string &input, int n) {
  int fds[2];
  if (pipe(fds) != 0 || write(fds[1], input.data(), input.size()) < 0)
    return "pipe failed";
  close(fds[1]);
  std::string out;
  for (;;) {
    char buf[64];
    memset(buf, 'Z', sizeof buf);
    int length = readLineFrom(fds[0], buf, n);
    EXPECT_EQ(length < 0 ? 0 : length, static_cast<int>(strlen(buf)));
    if (length < 0) break;
    out += "[" + std::string(buf) + "]";
  }
  close(fds[0]);
  return out + "<end>";
}

TEST(LineInput, OneLineAtATimeWithoutItsEnd) {
  EXPECT_EQ(lines("10.0.0.5\n\nq\n", 19), "[10.0.0.5][][q]<end>");
  EXPECT_EQ(lines("", 19), "<end>");
  EXPECT_EQ(lines("first\nYES", 9), "[first][YES]<end>");
}

TEST(LineInput, RestOfOverlongLineIsDroppedUpToItsEnd) {
  EXPECT_EQ(lines("i2xyz\nn\n123\nYESSIR\n", 3), "[i2x][n][123][YES]<end>");
  EXPECT_EQ(lines("anything\nnext\n", 0), "[][]<end>");
}

TEST(LineInput, CrBelongsToTheLineEndOnlyRightBeforeIt) {
  EXPECT_EQ(lines("YES\r\n\r\na\rb\n", 9), "[YES][][a\rb]<end>");
  EXPECT_EQ(lines("abc\r\nx\n", 3), "[abc][x]<end>");
}

}  // namespace
