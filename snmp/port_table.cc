// Subtree 5: the unit's network services as a seven-column table, with the
// port numbers that the configuration holds writable.
#include <array>
#include <cstdio>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "snmp/snmp_internal.h"

namespace {

constexpr int kColumns = 7;
constexpr int kPortColumn = 6;
constexpr int kPortMax = 65535;

enum Side { kLan = 0, kWan = 1, kLocalhost = 2 };

struct ServicePort {
  Side side;
  const char *service;
  const char *description;
  int defaultPort;
  const char *key;  // null: fixed, not configurable
  int flag;
};

constexpr std::array<ServicePort, 15> servicePorts = {{
    {kLan, "ssh", "Secure Shell", 22, "sshdPort", 0},
    {kLan, "http", "Web redirector (to https)", 80, "httpPort", 0},
    {kLan, "snmp", "SNMP Agent", 161, "snmpPort", 1},
    {kLan, "https", "SSL Encrypted web control", 443, "httpsPort", 0},
    {kLan, "vnc", "VNC/RFB Protocol Server", 5900, "vncPort", 0},
    {kLan, "vncs", "SSL-tunnelled VNC", 15900, "vncsPort", 0},
    {kWan, "ssh", "Secure Shell", 22, "sshd2Port", 0},
    {kWan, "http", "Web redirector (to https)", 0, "http2Port", 0},
    {kWan, "snmp", "SNMP Agent (UDP)", 0, "snmp2Port", 0},
    {kWan, "https", "SSL Encrypted web control", 0, "https2Port", 0},
    {kWan, "vnc", "VNC/RFB Protocol Server", 0, "vnc2Port", 0},
    {kWan, "vncs", "SSL-tunnelled VNC", 0, "vncs2Port", 0},
    {kLocalhost, "http", "The real web server", 80, nullptr, 0},
    {kLocalhost, "snmp", "SNMP Agent", 161, nullptr, 1},
    {kLocalhost, "vnc", "VNC/RFB Protocol Server", 5900, nullptr, 0},
}};
constexpr int kRows = static_cast<int>(servicePorts.size());

int refuse() {
  logIt(kLogNotice, "doPortNumber failed.");
  return -1;
}

int setPort(int column, const ServicePort &port, const char *value) {
  int number = leadingNumber(value, nullptr);
  if (column != kPortColumn || number < 0 || number > kPortMax || !port.key)
    return refuse();
  // Stored, or undone and refused (see setConfigRow).
  cfgBeginGroup();
  cfgSetN(port.key, number);
  if (cfgEndGroupSaved() != 0) return refuse();
  return 0;
}

void printColumn(int column, int row, const ServicePort &port) {
  switch (column) {
    case 1:
      printInteger(row);
      break;
    case 2:
      printInteger(port.side + 1);
      break;
    case 3:
      printInteger(port.flag + 1);
      break;
    case 4:
      printf("string\n%s\n", port.service);
      break;
    case 5:
      printf("string\n%s\n", port.description);
      break;
    case 6:
      printInteger(port.key ? cfgGetN(port.key) : port.defaultPort);
      break;
    default:
      printInteger(port.defaultPort);
      break;
  }
}

}  // namespace

int doPortNumber(const char *instance, int subtree, int next,
                 const char *value) {
  int column;
  int row;
  parseTableInstance(instance, &column, &row);
  logIt(kLogNotice, "SNMP: doPortNumber: oid='%s' (%d,%d) next=%d value=%s\n",
        instance, column, row, next, value ? value : "(GET)");
  // Nothing of the table follows an OID that sorts after all of it: going
  // back to row 1 would stop the daemon's walk as not increasing.
  if (next && column == -1 && sortsAfterTable(instance)) return refuse();
  if (!placeInTable(&column, &row, kColumns, kRows, 1, next)) return refuse();

  const ServicePort &port = servicePorts[row - 1];
  if (value) return setPort(column, port, value);

  printTableOid(subtree, column, row);
  logIt(kLogNotice, "SNMP: doPortNum: returning oid='%s.%d.1.1.%d.%d' (%d,%d)\n",
        oidPrefix, subtree, column, row, column, row);
  printColumn(column, row, port);
  return 0;
}
