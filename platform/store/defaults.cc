// The unit's factory settings and the key tables: which keys hold an
// address, which are never shown.
//
// Factory state in short: LAN port 192.168.1.10/24 with DHCP off, no
// gateways, the WAN port unconfigured (all addresses 0.0.0.0); the services
// on their usual ports on the LAN side, only ssh on the WAN side; SNMP,
// RADIUS, the firewall, IPMI, PPP and dynamic DNS off.  The administrator
// ("admin", password `passwd`, factory "admin") is built in; there are no
// further accounts (`numusers` 0, no user_N_name/_pass/_class keys; such a
// slot holds a name, a password and a 0-based class).  Serial ports 0, 2
// and 3 are not reserved (empty serialN); port 1 is always reserved by the
// unit itself and its key is kept empty.
//
// Owns: the defaults table and the address and sensitive key tables.
// Touches: the working copy only through cfgClear, cfgRecordClear and the
// public set calls.
#include <cstring>
#include <iterator>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/store/store_internal.h"

namespace {

// Addresses are written dotted here; they are stored as their number.
constexpr CfgDefault kDefaults[] = {
    // LAN port
    {"dhcpEnable", "0"},
    {"ip", "192.168.1.10"},
    {"netmask", "255.255.255.0"},
    {"gateway1", "0.0.0.0"},  // LAN network gateway, 0: none
    {"bcast", "192.168.1.255"},
    {"netaddr", "192.168.1.0"},  // LAN network address, kept by recalcBCast
    {"gateway", "0.0.0.0"},      // default gateway, 0: none
    // WAN port: unconfigured while ip2 is 0.0.0.0
    {"ip2", "0.0.0.0"},
    {"netmask2", "0.0.0.0"},
    {"gateway2", "0.0.0.0"},
    {"bcast2", "0.0.0.0"},
    {"bridgeEnable", "0"},
    {"hostname", "unit"},
    {"dns", "0.0.0.0"},
    {"dnsDomain", ""},
    // Administrator and accounts
    {"passwd", "admin"},
    {"numusers", "0"},
    {"idleTimeout", "30"},  // minutes
    {"pwlockout", "0"},     // failed logins before a lock-out, 0: never
    {"localLockout", "0"},
    {"sshBypass", "0"},
    {"fancyLogin", "1"},
    // Services, LAN side
    {"sshdPort", "22"},
    {"httpPort", "80"},
    {"httpsPort", "443"},
    {"snmpPort", "161"},
    {"vncPort", "5900"},
    {"vncsPort", "15900"},
    {"vncSizes", "640x480,800x600,1024x768,1280x1024"},
    // Services, WAN side: only ssh
    {"sshd2Port", "22"},
    {"http2Port", "0"},
    {"https2Port", "0"},
    {"snmp2Port", "0"},
    {"vnc2Port", "0"},
    {"vncs2Port", "0"},
    // SNMP agent
    {"snmpEnabled", "0"},
    {"snmpROCommunity", "public"},
    {"snmpRWCommunity", "private"},
    {"snmpTrapCommunity", "public"},
    {"snmpTrapSink1", "0.0.0.0"},
    {"snmpTrapSink2", "0.0.0.0"},
    {"location", ""},
    {"contact", ""},
    {"description", ""},
    // RADIUS
    {"radiusEnable", "0"},
    {"radiusServer1", "0.0.0.0"},
    {"radiusSecret1", ""},
    {"radiusPort1", "1812"},
    {"radiusServer2", "0.0.0.0"},
    {"radiusSecret2", ""},
    {"radiusPort2", "1812"},
    {"radiusServer3", "0.0.0.0"},
    {"radiusSecret3", ""},
    {"radiusPort3", "1812"},
    {"radiusRetries", "3"},
    {"radiusTimeout", "5"},  // seconds
    // Firewall: accept everything unless told otherwise
    {"firewallEnable", "0"},
    {"sourceAccept", ""},
    {"sourceReject", ""},
    {"aclDefault", "1"},  // 1 accept, 0 reject what no list names
    // Remote media, keyboard, video, power
    {"diskType", "0"},
    {"cdromUrl", ""},
    {"externalKvm", "0"},
    {"kbdLocale", "us"},
    {"syslog", "0.0.0.0"},  // remote syslog host, 0: none
    {"pwrDevice", "0"},
    {"pwrAnyone", "0"},
    {"ukmDisable", "0"},
    {"absMDisable", "0"},
    {"noSharing", "0"},
    {"usbHSDisable", "0"},
    {"udiskDisable", "0"},
    {"usbMSDisable", "0"},
    {"vidFilterD", "0"},
    {"osdBlank", "0"},
    // IPMI
    {"ipmiEnable", "0"},
    {"ipmbAddr", "32"},
    {"ipmisPassword", ""},
    {"ipmisPort", "0"},
    {"ipmisBaud", "19200"},
    // Serial ports and modem
    {"serial0", ""},
    {"serial1", ""},
    {"serial2", ""},
    {"serial3", ""},
    {"pppEnable", "0"},
    {"pppBaud", "115200"},
    {"modemInit", "AT&FE0S0=1&K3"},
    // Dynamic DNS
    {"dyndnsEnable", "0"},
    {"dyndnsUsername", ""},
    {"dyndnsPasswd", ""},
};

constexpr const char *kAddressKeys[] = {
    "ip",       "netmask",       "gateway",       "gateway1",
    "bcast",    "netaddr",       "ip2",           "netmask2",
    "gateway2", "bcast2",        "dns",           "snmpTrapSink1",
    "snmpTrapSink2", "radiusServer1", "radiusServer2", "radiusServer3",
    "syslog",
};

constexpr const char *kSensitiveKeys[] = {
    "passwd",        "snmpRWCommunity", "radiusSecret1", "radiusSecret2",
    "radiusSecret3", "ipmisPassword",   "dyndnsPasswd",
};

bool inTable(const char *const *table, int n, const char *key) {
  for (int i = 0; i < n; i++) {
    if (strcmp(table[i], key) == 0) return true;
  }
  return false;
}

// user_N_pass, N one or more digits.
bool isUserPassword(const char *key) {
  if (strncmp(key, "user_", 5) != 0) return false;
  const char *p = key + 5;
  if (*p < '0' || *p > '9') return false;
  while (*p >= '0' && *p <= '9') p++;
  return strcmp(p, "_pass") == 0;
}

void setDefault(const CfgDefault &d) {
  uint32_t address;
  if (cfgIsIPAddress(d.key) && strToIP(d.value, &address) == 0) {
    cfgSetN(d.key, static_cast<int>(address));
  } else {
    cfgSet(d.key, d.value);
  }
}

}  // namespace

int cfgDefaultCount() { return static_cast<int>(std::size(kDefaults)); }
const CfgDefault &cfgDefaultAt(int index) { return kDefaults[index]; }

const char *cfgDefaultOf(const char *key) {
  for (const CfgDefault &d : kDefaults) {
    if (strcmp(d.key, key) == 0) return d.value;
  }
  return nullptr;
}

void cfgRestoreDefault(const char *key) {
  for (const CfgDefault &d : kDefaults) {
    if (strcmp(d.key, key) == 0) {
      setDefault(d);
      return;
    }
  }
  cfgDelete(key);
}

int factoryDefaults() {
  cfgClear();
  cfgRecordClear();
  for (const CfgDefault &d : kDefaults) setDefault(d);
  return 0;
}

int cfgIsIPAddress(const char *key) {
  return key && inTable(kAddressKeys, std::size(kAddressKeys), key);
}

int cfgIsSensitive(const char *key) {
  if (!key) return 0;
  return inTable(kSensitiveKeys, std::size(kSensitiveKeys), key) ||
         isUserPassword(key);
}
