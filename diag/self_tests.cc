// setup -t NAME: runs the self-test picked by the name's first character and
// reports it with a last line PASSED or FAILED.
#include <cctype>
#include <cstdio>

#include "diag/diag.h"
#include "diag/self_tests.h"

namespace {

constexpr int kUnknownTest = 4;

struct SelfTest {
  char letter;
  int (*run)();
};

constexpr SelfTest kSelfTests[] = {
    {'a', testATX}, {'e', testEEPROM}, {'k', testK},
    {'m', testM},   {'r', testRPort},  {'u', testUSB},
};

}  // namespace

int runSelfTest(const char *name) {
  int letter = tolower(static_cast<unsigned char>(name[0]));
  int code = kUnknownTest;
  bool found = false;
  for (const SelfTest &test : kSelfTests) {
    if (test.letter != letter) continue;
    code = test.run();
    found = true;
    break;
  }
  if (!found) printf("Unknown test: %s\n", name);
  printf(code == 0 ? "PASSED\n" : "FAILED\n");
  return code;
}
