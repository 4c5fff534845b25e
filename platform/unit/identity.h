// The unit's identity as the simulated unit keeps it: one key=value file.
#pragma once

#include <cstdint>

#include "platform/device_services.h"

// The OEM text database: a fixed table of key/text pairs.
struct OemTextDb {
  static constexpr int kEntries = 32;
  static constexpr int kKeySize = 32;     // key of at most 31 characters
  static constexpr int kTextSize = 256;   // text of at most 255 characters
  int count;
  struct Entry {
    char key[kKeySize];
    char text[kTextSize];
  } entries[kEntries];
};

struct Identity {
  OemRecord record;
  OemTextDb texts;
  unsigned char mac[6];
  unsigned char mac2[6];
  uint32_t serial;
  unsigned char ethernetOption;
  unsigned char qerlPlek;
};

// Fills id with the default unit, then takes every valid line of the file at
// path over it.  0 when the file was read, -1 when it could not be (id then
// holds the default unit, or the default unit with the lines read before a
// read error).
int loadIdentity(const char *path, Identity *id);
