// Placeholder until the EEPROM-backed store lands.
#include "platform/device_services.h"

int eepromSetup() { return 0; }
int eepromRead(char *buf) { buf[0] = 0; return 0; }
int eepromWrite(const char *, int) { return -1; }
void netRecover(int) {}
