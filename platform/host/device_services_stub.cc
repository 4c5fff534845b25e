// Placeholder until the host device services land.
#include <cstdio>
#include <cstdlib>

#include "platform/device_services.h"

static OemRecord stubOem = {"Unit", "", "", 'X', 'X', 0};
const OemRecord *oem = &stubOem;
OemTextDb *oemDB = nullptr;
unsigned char unitMacAddress[6];
unsigned char unitMacAddress2[6];
uint32_t unitSerialNumber;
unsigned char hasEthernetOption;
uint32_t dhcpDefGateway;
unsigned char qerl_plek;

void oemSetup() {}
uint32_t oemGetEth0Addr() { return 0; }
int tfIsDefined(OemTextDb *, const char *) { return 0; }
const char *tfGet(OemTextDb *, const char *) { return ""; }
void dhcpUpdate(int) {}
void netRecover(int) {}
int readline(char *buf, int) { buf[0] = 0; return -1; }
const char *ipToStr(uint32_t) { return "0.0.0.0"; }
int strToIP(const char *, uint32_t *) { return -1; }
char *trimL(char *t) { return t; }
char *trimR(char *t) { return t; }
const char *readFirstLine(const char *) { return ""; }
unsigned baudToTermios(int) { return 0; }
int systemX(const char *) { return -1; }
void logIt(int, const char *, ...) {}
void _pdie(const char *f, const char *o) { fprintf(stderr, "%s: %s\n", f, o); exit(1); }
void __my_assert(const char *, const char *, const char *, int) { abort(); }
int eepromSetup() { return 0; }
int eepromRead(char *buf) { buf[0] = 0; return 0; }
int eepromWrite(const char *, int) { return -1; }
void rtcSetup() {}
long rtcGetTime(int) { return -1; }
int rtcIsValid() { return 0; }
const char *mtdLookupPartition(int, int) { return nullptr; }
void randomBytes(void *, int) {}
