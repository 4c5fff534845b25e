// Stored numbers read with the appliance's 32-bit answers on either build.
// Built for the appliance (long 32 bits wide), every row is also checked
// against the C library's own strtoul and strtol there.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "platform/device_services.h"

namespace {

struct Row {
  const char *text;
  int base;
  uint32_t asU32;  // the appliance's strtoul
  int32_t asI32;   // the appliance's strtol
  int used;        // characters read; 0: no number
};

constexpr Row kRows[] = {
    {"0", 0, 0, 0, 1},
    {"4294967295", 0, 0xffffffffu, INT32_MAX, 10},
    // One past 32 bits: 0 here once cut down, 0xffffffff on the appliance.
    {"4294967296", 0, 0xffffffffu, INT32_MAX, 10},
    {"18446744073709551616", 0, 0xffffffffu, INT32_MAX, 20},
    {"2147483647", 10, 0x7fffffffu, INT32_MAX, 10},
    {"2147483648", 10, 0x80000000u, INT32_MAX, 10},
    {"-2147483648", 10, 0x80000000u, INT32_MIN, 11},
    {"-2147483649", 10, 0x7fffffffu, INT32_MIN, 11},
    // A '-' negates in 32 bits; past 32 bits it saturates first.
    {"-1", 0, 0xffffffffu, -1, 2},
    {"-4294967295", 0, 1, INT32_MIN, 11},
    {"-4294967296", 0, 0xffffffffu, INT32_MIN, 11},
    {" \t\n+65535x", 0, 65535, 65535, 9},
    // Base 0 knows hex and octal; "0x" without a hex digit is the 0 alone.
    {"0xffffff00", 0, 0xffffff00u, INT32_MAX, 10},
    {"0X100000000", 0, 0xffffffffu, INT32_MAX, 11},
    {"0x", 0, 0, 0, 1},
    {"0xg", 16, 0, 0, 1},
    {"017", 0, 15, 15, 3},
    {"019", 0, 1, 1, 2},
    {"019", 10, 19, 19, 3},
    {"ff", 16, 255, 255, 2},
    {"", 0, 0, 0, 0},
    {"-", 0, 0, 0, 0},
    {" x1", 10, 0, 0, 0},
};

TEST(Numbers, ReadAsTheAppliancesLibraryReadsThem) {
  for (const Row &row : kRows) {
    SCOPED_TRACE(testing::Message() << '"' << row.text << "\" base " << row.base);
    const char *end = nullptr;
    EXPECT_EQ(textToU32(row.text, &end, row.base), row.asU32);
    EXPECT_EQ(end - row.text, row.used);
    end = nullptr;
    EXPECT_EQ(textToI32(row.text, &end, row.base), row.asI32);
    EXPECT_EQ(end - row.text, row.used);
    EXPECT_EQ(textToU32(row.text, nullptr, row.base), row.asU32);
  }
}

TEST(Numbers, TheTableIsWhatA32BitLibraryAnswers) {
  if (sizeof(long) != 4) GTEST_SKIP() << "long is not 32 bits wide here";
  for (const Row &row : kRows) {
    SCOPED_TRACE(testing::Message() << '"' << row.text << "\" base " << row.base);
    char *end;
    EXPECT_EQ(static_cast<uint32_t>(strtoul(row.text, &end, row.base)), row.asU32);
    EXPECT_EQ(end - row.text, row.used);
    EXPECT_EQ(static_cast<int32_t>(strtol(row.text, &end, row.base)), row.asI32);
  }
}

}  // namespace
