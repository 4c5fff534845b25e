// The console's prompts: address and string editors, YES confirmation, the
// pause, the password change and ping.  Edits go to the working
// configuration only; the commit saves them.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/console_internal.h"
#include "platform/config_store.h"
#include "platform/device_services.h"

namespace {

// Address prompts and the ping prompt read at most this many characters.
constexpr int kAddressLineMax = 19;
// A confirmation is read with room for "YES" and a few characters more, so
// that "YESSIR" is not taken for YES.
constexpr int kConfirmLineMax = 9;
// Only the line end matters at the pause.
constexpr int kPauseLineMax = 1;
// Largest size the string editor accepts; the machine name uses 32.
constexpr int kStringSizeMax = 64;

// Where the last ping went; 0 until the first ping, and again after
// pinging 0.0.0.0, so that the next ping offers the default gateway.
uint32_t pingTarget;

}  // namespace

void readInput(char *buf, int n) {
  fflush(stdout);
  if (readline(buf, n) < 0) exit(0);
}

char firstDisallowedChar(const char *text) {
  for (const char *p = text; *p; ++p) {
    if (!strchr(kAllowedChars, *p)) return *p;
  }
  return 0;
}

AddressEntry parseAddressEntry(const char *line, uint32_t *value) {
  if (strcmp(line, "0") == 0) {
    *value = 0;
    return AddressEntry::kAccepted;
  }
  if (line[0] == '/') {
    // Read like atoi, but a huge number stays huge instead of wrapping
    // round to a small one: "/4294967320" is no /24.
    int32_t bits = textToI32(line + 1, nullptr, 10);
    if (bits < 1 || bits > 32) return AddressEntry::kBadMask;
    *value = 0xffffffffu << (32 - bits);
    return AddressEntry::kAccepted;
  }
  uint32_t parsed;
  if (strToIP(line, &parsed) != 0) return AddressEntry::kBadAddress;
  *value = parsed;
  return AddressEntry::kAccepted;
}

uint32_t editAddress(const char *key, const char *label, uint32_t initial) {
  uint32_t current = key ? static_cast<uint32_t>(cfgGetN(key)) : initial;
  for (;;) {
    char line[kAddressLineMax + 1];
    printf("\n%s [%s]: ", label, ipToStr(current));
    readInput(line, kAddressLineMax);
    if (!line[0]) return current;

    uint32_t value = 0;
    switch (parseAddressEntry(line, &value)) {
      case AddressEntry::kBadMask:
        printf("\nBad mask-style. Try again with /24.\n");
        continue;
      case AddressEntry::kBadAddress:
        printf("\nBad IP address. Try again.\n");
        continue;
      case AddressEntry::kAccepted:
        break;
    }
    if (!key) return value;
    // Storing the same value again still counts as an edit: the operator
    // answered the question, so the W line shows there is something to commit.
    if (cfgSetN(key, static_cast<int>(value)) != 0) {
      fputs(kConfigFullLine, stdout);
      return current;
    }
    pendingChanges = 1;
    return value;
  }
}

void editString(const char *key, int size, const char *label,
                int restricted) {
  if (size > kStringSizeMax) size = kStringSizeMax;
  for (;;) {
    char line[kStringSizeMax];
    printf("\n%s [%s]: ", label, cfgGet(key));
    readInput(line, size - 1);
    if (restricted) {
      char bad = firstDisallowedChar(line);
      if (bad) {
        printf("\nSorry, '%c' is not allowed in this string.\n", bad);
        continue;
      }
    }
    if (!line[0]) return;
    if (cfgSet(key, line) != 0) {
      fputs(kConfigFullLine, stdout);
      return;
    }
    pendingChanges = 1;
    return;
  }
}

bool confirmAction(const char *what) {
  char line[kConfirmLineMax + 1];
  printf("\nAre you sure you want to %s?\n", what);
  printf("Type YES if you want to do this (anything else to abort): ");
  readInput(line, kConfirmLineMax);
  if (strcmp(line, "YES") == 0) return true;
  pressEnter("Aborted.");
  return false;
}

void pressEnter(const char *message) {
  char line[kPauseLineMax + 1];
  printf("\n%s\n\nPress Enter to continue...", message);
  readInput(line, kPauseLineMax);
}

// getpass reads from the controlling terminal (or standard input without
// one) with echo off.  A null result means it could not read at all, which
// ends the console as end of input does at every other prompt.  At end of
// input the C library may instead hand back an empty entry; two empty entries
// lead to the YES confirmation, whose own end of input ends the console, so
// an empty password is never stored without YES.
static const char *askPassword(const char *prompt) {
  fflush(stdout);
  const char *entry = getpass(prompt);
  if (!entry) exit(0);
  return entry;
}

// Each entry is kept in a 32-byte field.  A longer entry is refused outright
// rather than cut: the operator must never end up with a password other than
// the one typed.
void changePassword() {
  char first[kPasswordSize];
  const char *entry = askPassword("\nNew master password: ");
  if (strlen(entry) >= sizeof first) {
    pressEnter("Password too long (at most 31 characters); Nothing changed.");
    return;
  }
  strcpy(first, entry);

  // Compared whole, so a longer second entry that begins with the first
  // never counts as a match.
  entry = askPassword("  Again, to confirm: ");
  if (strcmp(entry, first) != 0) {
    pressEnter("Two passwords didn't match; Nothing changed.");
    return;
  }
  if (!first[0] && !confirmAction("use an EMPTY password?!")) return;

  if (cfgSet("passwd", first) != 0) {
    pressEnter(kConfigFull);
    return;
  }
  pendingChanges = 1;
  pressEnter("Master password changed.");
}

void pingHost() {
  if (pingTarget == 0) pingTarget = static_cast<uint32_t>(cfgGetN("gateway"));
  pingTarget =
      editAddress(nullptr, "Ping which IP address (10 packets)", pingTarget);
  printf("\n");

  char command[40];
  snprintf(command, sizeof command, "ping -c 10 %s", ipToStr(pingTarget));
  fflush(stdout);
  systemX(command);
  pressEnter("\nDone.");
}
