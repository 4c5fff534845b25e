#include <gtest/gtest.h>

#include <cstring>

#include "snmp/snmp_internal.h"

namespace {

TEST(LeadingNumber, ReadsLikeStrtolAndClampsToInt) {
  const char *end;
  EXPECT_EQ(leadingNumber("  -12.3", &end), -12);
  EXPECT_STREQ(end, ".3");
  EXPECT_EQ(leadingNumber("+7", nullptr), 7);
  // No digits: 0, and nothing is used up.
  EXPECT_EQ(leadingNumber("x.1", &end), 0);
  EXPECT_STREQ(end, "x.1");
  EXPECT_EQ(leadingNumber("99999999999999999999", nullptr), 2147483647);
  EXPECT_EQ(leadingNumber("-99999999999999999999", nullptr), -2147483647 - 1);
}

struct InstanceCase {
  const char *text;
  int column;
  int row;
};

TEST(ParseTableInstance, KeepsWhatWasReadUpToTheFirstMismatch) {
  const InstanceCase cases[] = {
      {"1.1.3.2", 3, 2},     {"1.1.3", 3, -1},     {"1.1.3.", 3, -1},
      {"1.1.3.x", 3, -1},    {"1.1.", -1, -1},     {"1.2.3.4", -1, -1},
      {"0.0", -1, -1},       {"", -1, -1},         {"1.1.-2.-5", -2, -5},
      {"1.1.6.2.9.9", 6, 2}, {"1.1.2:4", 2, -1},   {"1.1.12.86", 12, 86},
  };
  for (const InstanceCase &c : cases) {
    int column = 99;
    int row = 99;
    parseTableInstance(c.text, &column, &row);
    EXPECT_EQ(column, c.column) << c.text;
    EXPECT_EQ(row, c.row) << c.text;
  }
}

TEST(ParseSetOid, SplitsNumbersAndFindsTheInstance) {
  int n[kSetOidNumbersMax];
  const char *instance;
  ASSERT_EQ(parseSetOid("3.1.1.4.2", n, &instance), 5);
  EXPECT_EQ(n[0], 3);
  EXPECT_EQ(n[4], 2);
  EXPECT_STREQ(instance, "1.1.4.2");

  ASSERT_EQ(parseSetOid("2", n, &instance), 1);
  EXPECT_STREQ(instance, "");

  // A trailing dot still names one more (empty, so zero) number.
  ASSERT_EQ(parseSetOid("2.", n, &instance), 2);
  EXPECT_EQ(n[1], 0);
}

TEST(ParseSetOid, TakesAtMostEightNumbersAndRefusesOtherSeparators) {
  int n[kSetOidNumbersMax + 4];
  memset(n, 0x55, sizeof n);
  const char *instance;
  EXPECT_EQ(parseSetOid("1.2.3.4.5.6.7.8.9.10", n, &instance), 8);
  EXPECT_EQ(n[7], 8);
  EXPECT_EQ(n[8], 0x55555555);  // nothing written past the eighth

  EXPECT_EQ(parseSetOid("1.1.1.3,2", n, &instance), -1);
  EXPECT_EQ(parseSetOid("5.1.1.6.1 ", n, &instance), -1);
}

struct SplitCase {
  const char *line;
  const char *type;
  const char *value;
};

TEST(SplitTypeValue, TypeUpToFirstBlankValueUnquoted) {
  const SplitCase cases[] = {
      {"integer 1234", "integer", "1234"},
      {"  string \"a b\"", "string", "a b"},
      {"string  x", "string", " x"},           // a second blank is value
      {"string \"abc", "string", "ab"},        // last character goes anyway
      {"string \"", "string", ""},             // a lone quote leaves nothing
      {"string \"\"", "string", ""},
      {"octet \"61 0a 62\"", "octet", "61 0a 62"},
      {"string ", "string", ""},
      {"string\tx", "string", "x"},
  };
  for (const SplitCase &c : cases) {
    char line[64];
    snprintf(line, sizeof line, "%s", c.line);
    char *type;
    char *value;
    ASSERT_TRUE(splitTypeValue(line, &type, &value)) << c.line;
    EXPECT_STREQ(type, c.type) << c.line;
    EXPECT_STREQ(value, c.value) << c.line;
  }
}

TEST(SplitTypeValue, ALineWithoutBlankHasNoValue) {
  char line[] = "integer";
  char *type;
  char *value;
  EXPECT_FALSE(splitTypeValue(line, &type, &value));
}

}  // namespace
