// Placeholder until the serial port service lands.
#include "login/login.h"
void startIpmi(int, int) {}
void doSerialLogin(int, const char *) {}
