#include <gtest/gtest.h>

#include <string>

#include "login/login.h"

namespace {

// Feeds a byte string; returns the line text at the first end of line, or
// "<open:TEXT>" when no line ended, "<ipmi>" at an IPMI byte.
std::string assemble(const std::string &bytes) {
  ModemLine line = {};
  for (char c : bytes) {
    switch (modemLineByte(&line, static_cast<unsigned char>(c))) {
      case ModemByte::kTaken:
        break;
      case ModemByte::kEndOfLine:
        return line.text;
      case ModemByte::kIpmi:
        return "<ipmi>";
    }
  }
  return "<open:" + std::string(line.text) + ">";
}

TEST(ModemLineAssembly, EditsAndEndsLines) {
  EXPECT_EQ(assemble("OK\r"), "OK");
  EXPECT_EQ(assemble("\n"), "");
  EXPECT_EQ(assemble("\bsecrex\x7ft\r"), "secret");
  EXPECT_EQ(assemble("junk\x15secret\n"), "secret");
  EXPECT_EQ(assemble("junk\x18secret\n"), "secret");
  EXPECT_EQ(assemble(std::string("a\0b\r", 4)), "ab");
  EXPECT_EQ(assemble("ab\xA5"), "<ipmi>");
  EXPECT_EQ(assemble("ab"), "<open:ab>");
}

TEST(ModemLineAssembly, CutsLongLinesAt79Characters) {
  std::string text(78, 'x');
  EXPECT_EQ(assemble(text), "<open:" + text + ">");
  EXPECT_EQ(assemble(text + "y" + "z"), text + "y");
}

TEST(ModemLineClassification, SortsLinesInOrder) {
  EXPECT_EQ(classifyModemLine("", ""), ModemLineKind::kEmpty);
  EXPECT_EQ(classifyModemLine("Secret", "Secret"), ModemLineKind::kPassword);
  EXPECT_EQ(classifyModemLine("secret", "Secret"), ModemLineKind::kPortNoise);
  // The password wins over what the line would otherwise be.
  EXPECT_EQ(classifyModemLine("RING", "RING"), ModemLineKind::kPassword);
  EXPECT_EQ(classifyModemLine("RING", ""), ModemLineKind::kRing);
  EXPECT_EQ(classifyModemLine("RINGING", ""), ModemLineKind::kModemNoise);
  EXPECT_EQ(classifyModemLine("NO CARRIER", ""), ModemLineKind::kNoCarrier);
  EXPECT_EQ(classifyModemLine("CARRIER", ""), ModemLineKind::kModemNoise);
  EXPECT_EQ(classifyModemLine("CONNECT 115200", ""), ModemLineKind::kConnect);
  EXPECT_EQ(classifyModemLine("xyCONNECT", ""), ModemLineKind::kConnect);
  EXPECT_EQ(classifyModemLine("CONNECT RING", ""), ModemLineKind::kRing);
  EXPECT_EQ(classifyModemLine("OK", ""), ModemLineKind::kModemNoise);
  EXPECT_EQ(classifyModemLine("BUSY 2", ""), ModemLineKind::kModemNoise);
  EXPECT_EQ(classifyModemLine("ok", ""), ModemLineKind::kPortNoise);
  EXPECT_EQ(classifyModemLine("12345", ""), ModemLineKind::kPortNoise);
  EXPECT_EQ(classifyModemLine("OK\xC4", ""), ModemLineKind::kPortNoise);
}

TEST(ModemLineClassification, MasksUnprintableBytes) {
  char out[kModemLineSize];
  maskUnprintable("ab\tc\x1b\x7f\xff~ ", out);
  EXPECT_STREQ(out, "ab.c...~ ");
}

}  // namespace
