// Placeholder until the EEPROM-backed store lands: an empty in-memory store.
#include "platform/config_store.h"

int readConfig() { return 0; }
int readConfigUpdate() { return 0; }
const char *cfgGet(const char *) { return ""; }
int cfgGetN(const char *) { return 0; }
int cfgSet(const char *, const char *) { return 0; }
int cfgSetN(const char *, int) { return 0; }
int cfgDelete(const char *) { return 0; }
int cfgIsDefined(const char *) { return 0; }
int cfgIsSensitive(const char *) { return 0; }
int cfgIsIPAddress(const char *) { return 0; }
int updateCfgSave() { return -1; }
int updateCfgFiles(int) { return 0; }
int updateCfgPasswd() { return 0; }
int cfgWriteFile(int) { return 0; }
int factoryDefaults() { return 0; }
int recalcBCast(int) { return 0; }
int verifyNetworkConfig(char *) { return 1; }
int houseKeeping() { return 0; }
