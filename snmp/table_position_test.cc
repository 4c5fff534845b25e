#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "snmp/snmp_internal.h"

namespace {

// The answer lines must read exactly as the formatted prints they stand in
// for, down to the ends of the int range.
TEST(AnswerLines, ReadAsTheFormattedPrint) {
  const int values[] = {0, 1, 9, 10, 86, 65535, -1, INT_MAX, INT_MIN};
  for (int v : values) {
    char expected[200];
    snprintf(expected, sizeof expected, "%s.%d.1.1.%d.%d\ninteger\n%d\n",
             oidPrefix, v, 7, v, v);
    testing::internal::CaptureStdout();
    printTableOid(v, 7, v);
    printInteger(v);
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected) << v;
  }
}

}  // namespace
