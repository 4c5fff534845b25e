// A fault the tests can plant in the simulated unit's EEPROM reads.
#pragma once

// Called by eepromRead with the text it read.  When the unit's fault file
// (unit::kEepromFault) holds N, the Nth read of this process hands out a
// text that differs from what is stored, as a failing cell would: the
// write before it succeeded, the read-back does not match.  Without the
// file every read is true.
void eepromPlantedFault(char *buf);
