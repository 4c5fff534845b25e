// A fault the tests can plant in the simulated unit's EEPROM reads.
#pragma once

// Called by eepromRead with the text it read.  When the unit's fault file
// (unit::kEepromFault) holds N, the Nth read of this process hands out a
// text that differs from what is stored, as a failing cell would: the
// write before it succeeded, the read-back does not match.  Without the
// file every read is true.
// Builds without test hooks (the appliance's, the shipped layout) have
// neither the file's name nor the look-up: the call is empty.
#ifdef SETUP_TEST_HOOKS
void eepromPlantedFault(char *buf);
#else
inline void eepromPlantedFault(char *) {}
#endif
