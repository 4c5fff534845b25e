#include "platform/unit/eeprom_fault.h"

#include <cstdlib>

#include "platform/device_services.h"
#include "platform/unit/unit_paths.h"

void eepromPlantedFault(char *buf) {
  static long reads;
  ++reads;
  const char *planted = readFirstLine(unit::kEepromFault);
  if (!*planted || strtol(planted, nullptr, 10) != reads) return;
  if (!buf[0]) buf[1] = '\0';
  buf[0] = buf[0] == '#' ? '%' : '#';
}
