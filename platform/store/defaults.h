// The factory defaults (defaults.cc): the table the store falls back to
// when the EEPROM holds no settings, and a key's way back to it.
#pragma once

// Factory defaults, in table order.
struct CfgDefault {
  const char *key;
  const char *value;
};
int cfgDefaultCount();
const CfgDefault &cfgDefaultAt(int index);
// The factory default of a key, or null when it has none.
const char *cfgDefaultOf(const char *key);
// Sets a key back to its factory default (a key without one is deleted).
void cfgRestoreDefault(const char *key);

