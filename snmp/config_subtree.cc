// Subtree 1: 86 configuration keys as a three-column table (index, key
// name, value), each key writable through any column of its row.
#include <array>
#include <cstdio>
#include <cstdlib>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "snmp/snmp_internal.h"

namespace {

constexpr int kColumns = 3;

constexpr std::array<const char *, 86> snmpConfigKeys = {
    "dhcpEnable",      "ip",                "gateway",        "gateway1",
    "netmask",         "bcast",             "ip2",            "gateway2",
    "netmask2",        "bcast2",            "passwd",         "idleTimeout",
    "snmpEnabled",     "snmpROCommunity",   "snmpRWCommunity", "snmpTrapCommunity",
    "snmpTrapSink1",   "snmpTrapSink2",     "sshdPort",       "httpPort",
    "httpsPort",       "snmpPort",          "vncPort",        "vncsPort",
    "vncSizes",        "sshd2Port",         "http2Port",      "https2Port",
    "vnc2Port",        "vncs2Port",         "snmp2Port",      "hostname",
    "location",        "contact",           "description",    "netaddr",
    "pwlockout",       "numusers",          "sshBypass",      "fancyLogin",
    "radiusEnable",    "radiusServer1",     "radiusSecret1",  "radiusPort1",
    "radiusServer2",   "radiusSecret2",     "radiusPort2",    "radiusServer3",
    "radiusSecret3",   "radiusPort3",       "radiusRetries",  "radiusTimeout",
    "bridgeEnable",    "diskType",          "cdromUrl",       "externalKvm",
    "firewallEnable",  "sourceAccept",      "sourceReject",   "dns",
    "dnsDomain",       "syslog",            "kbdLocale",      "ipmiEnable",
    "ipmbAddr",        "ipmisPassword",     "ipmisPort",      "ipmisBaud",
    "pppEnable",       "pppBaud",           "modemInit",      "pwrDevice",
    "ukmDisable",      "absMDisable",       "localLockout",   "noSharing",
    "pwrAnyone",       "usbHSDisable",      "udiskDisable",   "usbMSDisable",
    "vidFilterD",      "dyndnsEnable",      "dyndnsUsername", "dyndnsPasswd",
    "aclDefault",      "osdBlank",
};
constexpr int kRows = static_cast<int>(snmpConfigKeys.size());

void printValue(const char *key) {
  const char *text = cfgIsSensitive(key) ? "*" : cfgGet(key);
  if (cfgIsIPAddress(key)) {
    // Addresses are stored as numbers in any of strtoul's bases.
    text = ipToStr(static_cast<uint32_t>(strtoul(text, nullptr, 0)));
  }
  printText(text);
}

}  // namespace

int doConfig(const char *instance, int subtree, int next) {
  int column;
  int row;
  parseTableInstance(instance, &column, &row);
  // An instance that names no column is read as the first one; a walk step
  // from an OID that sorts after the whole table must not go back there,
  // or the daemon's walk stops on an OID that does not increase.
  if (next && column == -1 && sortsAfterTable(instance)) return -1;
  // Unlike the other tables, a plain get past the last row of a column
  // reads row 1 of the next column.
  if (!next && column >= 1 && column <= kColumns && row > kRows) {
    ++column;
    row = 1;
  }
  if (!placeInTable(&column, &row, kColumns, kRows, 0, next)) return -1;
  // Row 0 stands before the table; it has nothing of its own.
  if (row == 0) return -1;

  const char *key = snmpConfigKeys[row - 1];
  printTableOid(subtree, column, row);
  switch (column) {
    case 1:
      printInteger(row - 1);
      break;
    case 2:
      printf("string\n%s\n", key);
      break;
    default:
      printValue(key);
      break;
  }
  return 0;
}

int setConfigRow(const int *numbers, int count, const char *value) {
  int row = numbers[count - 1];
  if (row < 1 || row > kRows) return -1;
  const char *key = snmpConfigKeys[row - 1];

  uint32_t address = 0;
  if (cfgIsIPAddress(key) && strToIP(value, &address) != 0) return -1;
  // The manager is told "success" only of a change that is stored: one that
  // does not fit the working copy, or whose save fails, is undone and
  // refused.  (The save's result decides the answer on purpose: a set
  // answered as done but stored nowhere would mislead the manager.)
  cfgBeginGroup();
  if (cfgIsIPAddress(key)) {
    cfgSetN(key, static_cast<int>(address));
  } else {
    cfgSet(key, value);
  }
  return cfgEndGroupSaved();
}
