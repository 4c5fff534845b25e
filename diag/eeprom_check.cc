// EEPROM test: writes a random text over the whole EEPROM, reads it back and
// puts the saved content back, also after a failure.
#include <cstdio>
#include <cstring>

#include "diag/self_tests.h"

namespace {

// Static: three whole EEPROM images are too much for the stack of a small
// unit's process.
char saved[kEepromSize];
char pattern[kEepromSize];
char readBack[kEepromSize];

int restore() { return eepromWrite(saved, static_cast<int>(strlen(saved))); }

// Letters only, so that the text has no NUL before its end and compares as
// a whole.
void makePattern() {
  randomBytes(pattern, kEepromSize);
  for (char &c : pattern) c = static_cast<char>('A' + static_cast<unsigned char>(c) % 26);
  pattern[kEepromSize - 1] = '\0';
}

// The writing steps; on failure the caller puts the saved content back.
int writeAndCompare() {
  if (eepromWrite(pattern, kEepromSize - 1) != 0) {
    fprintf(stderr, "eepromWrite failed\n");
    return 1;
  }
  if (eepromRead(readBack) != 0) {
    fprintf(stderr, "eepromRead failed (2)\n");
    return 1;
  }
  if (strcmp(readBack, pattern) != 0) {
    fprintf(stderr, "compare failed.\n");
    return 1;
  }
  return 0;
}

}  // namespace

int testEEPROM() {
  eepromSetup();
  if (eepromRead(saved) != 0) {
    fprintf(stderr, "eepromRead failed\n");
    return 1;
  }
  makePattern();
  if (writeAndCompare() != 0) {
    restore();
    return 1;
  }
  if (restore() != 0) {
    fprintf(stderr, "restore failed.\n");
    restore();  // one more try; there is nothing else left to do
    return 1;
  }
  return 0;
}
