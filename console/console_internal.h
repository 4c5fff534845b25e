// What the console's parts share: the pending-changes flag, the line input,
// the prompts and value editors, and the two screens.
#pragma once

#include <cstdint>

// Non-zero while the working configuration holds edits that have been
// neither committed nor undone.  Set by every stored edit; cleared by a
// successful save and by revert.
extern unsigned char pendingChanges;

// Flushes what the operator should see, then reads one line of at most n
// characters into buf (n + 1 bytes), line end dropped.  At end of input
// (terminal hung up, standard input closed) the console has no operator left
// and the process ends with status 0, dropping pending edits as Q does.
void readInput(char *buf, int n);

// Prompts "label [current]" for an IPv4 address until an acceptable entry or
// an empty line.  With a key, the current value is the key's and an accepted
// entry is stored there and marks the configuration pending; without one, the
// current value is `initial` and nothing is stored.  Returns the value.
uint32_t editAddress(const char *key, const char *label, uint32_t initial);
// Prompts for a text value of at most size - 1 characters; an empty line
// keeps it.  `restricted` limits it to kAllowedChars.
void editString(const char *key, int size, const char *label, int restricted);
// True only when the operator types YES; otherwise "Aborted." and the pause.
bool confirmAction(const char *what);
// Shows a message and waits for Enter.
void pressEnter(const char *message);
void changePassword();
void pingHost();

// Saves and applies the working configuration: 0 when saved, -1 when the
// save failed, 1 when what would have been saved (merged with other
// programs' saves) fails the network checks, their reason then in `reason`
// (kVerifyReasonSize bytes).  Unless saved, the edits stay pending.
int commitChanges(char *reason);

void showStatus();
void showPorts();

// Characters a restricted string (the machine name) may hold.
constexpr char kAllowedChars[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-./+_=:";
// The first character of text outside kAllowedChars, or 0 when none is.
char firstDisallowedChar(const char *text);

// What the operator is told when an edit does not fit the configuration:
// as a pause message, and as a line of its own.
constexpr char kConfigFull[] = "The configuration is full; Nothing changed.";
constexpr char kConfigFullLine[] =
    "\nThe configuration is full; nothing was stored.\n";

// The administrator password is kept in a 32-byte field.
constexpr int kPasswordSize = 32;

enum class AddressEntry { kAccepted, kBadMask, kBadAddress };
// Reads a non-empty entry of an address prompt: "0", "/n" mask style
// (n from 1 to 32) or a dotted address.
AddressEntry parseAddressEntry(const char *line, uint32_t *value);
