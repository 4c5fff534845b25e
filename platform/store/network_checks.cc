// Network settings of the configuration: the consistency check made before
// a commit, the broadcast address derived from address and netmask, and the
// reset of the unit's reachable services.
//
// What verifyNetworkConfig accepts, per port:
// - the LAN port is checked unless it takes its settings from DHCP;
// - the WAN port is checked only on units that have it, while bridging is
//   off (the bridge runs on the LAN settings) and once it has an address
//   (ip2 0.0.0.0 leaves it unconfigured);
// - a checked port needs a contiguous netmask of /1 to /30, an address that
//   is a host of its subnet (not 0.x, 127.x, multicast or above, not the
//   subnet's network or broadcast address), the subnet's broadcast address
//   in bcast/bcast2, and a gateway (gateway1/gateway2) that is 0.0.0.0 or
//   another host of the same subnet;
// - two checked ports must not share addresses (overlapping subnets);
// - the default gateway (`gateway`) is 0.0.0.0 or a host of a checked
//   port's subnet; with DHCP on the LAN subnet is not known and it is taken
//   as it is.
//
// Owns: the checks alone; no state.  Touches: the working copy through the
// public calls (reads; recalcBCast and netRecover set keys).
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/store/store_internal.h"

namespace {

struct PortKeys {
  const char *label;
  const char *ip;
  const char *netmask;
  const char *gateway;
  const char *bcast;
};

constexpr PortKeys kPorts[2] = {
    {"LAN", "ip", "netmask", "gateway1", "bcast"},
    {"WAN", "ip2", "netmask2", "gateway2", "bcast2"},
};

struct PortValues {
  uint32_t ip, netmask, gateway, bcast;
};

// Dotted text into a caller's buffer: several addresses go into one reason.
const char *dotted(char (&buf)[16], uint32_t a) {
  snprintf(buf, sizeof buf, "%u.%u.%u.%u", a >> 24, (a >> 16) & 0xFF,
           (a >> 8) & 0xFF, a & 0xFF);
  return buf;
}

int prefixLength(uint32_t mask) {
  int n = 0;
  while (n < 32 && (mask & (0x80000000u >> n))) n++;
  return n;
}

bool contiguous(uint32_t mask) {
  int n = prefixLength(mask);
  return mask == (n == 0 ? 0 : 0xFFFFFFFFu << (32 - n));
}

uint32_t value(const char *key) { return static_cast<uint32_t>(cfgGetN(key)); }

PortValues readPort(const PortKeys &k) {
  return {value(k.ip), value(k.netmask), value(k.gateway), value(k.bcast)};
}

bool inSubnet(const PortValues &p, uint32_t a) {
  return (a & p.netmask) == (p.ip & p.netmask);
}

// A host of the port's subnet: neither its network nor its broadcast
// address.
bool hostOf(const PortValues &p, uint32_t a) {
  return inSubnet(p, a) && (a & ~p.netmask) != 0 && (a | p.netmask) != ~0u;
}

bool usableAddress(uint32_t a) {
  uint32_t first = a >> 24;
  return first != 0 && first != 127 && first < 224;
}

// The reason, cut to what the console can show.
int refuse(char *reason, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
int refuse(char *reason, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  vsnprintf(reason, kVerifyReasonMax + 1, format, ap);
  va_end(ap);
  return 0;
}

int checkPort(const PortKeys &k, const PortValues &p, char *reason) {
  char a[16], b[16];
  int prefix = prefixLength(p.netmask);
  if (!contiguous(p.netmask) || prefix < 1 || prefix > 30) {
    return refuse(reason, "%s netmask %s is not a valid netmask (/1 to /30).",
                  k.label, dotted(a, p.netmask));
  }
  if (!usableAddress(p.ip) || !hostOf(p, p.ip)) {
    return refuse(reason, "%s IP address %s is not a host address of its "
                  "subnet.", k.label, dotted(a, p.ip));
  }
  uint32_t expected = p.ip | ~p.netmask;
  if (p.bcast != expected) {
    return refuse(reason, "%s broadcast address %s does not match IP address "
                  "and netmask (expected %s).", k.label, dotted(a, p.bcast),
                  dotted(b, expected));
  }
  if (p.gateway != 0) {
    if (!hostOf(p, p.gateway)) {
      return refuse(reason, "%s gateway %s is not a host of the subnet %s/%d.",
                    k.label, dotted(a, p.gateway),
                    dotted(b, p.ip & p.netmask), prefix);
    }
    if (p.gateway == p.ip) {
      return refuse(reason, "%s gateway %s is the unit's own address.",
                    k.label, dotted(a, p.gateway));
    }
  }
  return 1;
}

}  // namespace

int verifyNetworkConfig(char *reason) {
  reason[0] = 0;
  bool checked[2];
  checked[0] = cfgGetN("dhcpEnable") == 0;
  checked[1] = hasEthernetOption && cfgGetN("bridgeEnable") == 0 &&
               value("ip2") != 0;
  PortValues ports[2];
  for (int i = 0; i < 2; i++) {
    ports[i] = readPort(kPorts[i]);
    if (checked[i] && !checkPort(kPorts[i], ports[i], reason)) return 0;
  }

  char a[16], b[16];
  if (checked[0] && checked[1]) {
    uint32_t common = ports[0].netmask & ports[1].netmask;
    if ((ports[0].ip & common) == (ports[1].ip & common)) {
      return refuse(reason, "LAN subnet %s/%d and WAN subnet %s/%d overlap.",
                    dotted(a, ports[0].ip & ports[0].netmask),
                    prefixLength(ports[0].netmask),
                    dotted(b, ports[1].ip & ports[1].netmask),
                    prefixLength(ports[1].netmask));
    }
  }

  uint32_t gateway = value("gateway");
  if (gateway != 0 && checked[0]) {
    bool reachable = false;
    for (int i = 0; i < 2; i++) {
      if (checked[i] && hostOf(ports[i], gateway) && gateway != ports[i].ip)
        reachable = true;
    }
    if (!reachable) {
      return refuse(reason, "Default gateway %s is not a host of the %s "
                    "subnet.", dotted(a, gateway),
                    checked[1] ? "LAN or WAN" : "LAN");
    }
  }
  return 1;
}

int recalcBCast(int port) {
  if (port != 0 && port != 1) return -1;
  const PortKeys &k = kPorts[port];
  uint32_t ip = value(k.ip);
  uint32_t mask = value(k.netmask);
  cfgSetN(k.bcast, static_cast<int>(ip | ~mask));
  if (port == 0) cfgSetN("netaddr", static_cast<int>(ip & mask));
  return 0;
}

void netRecover(int) {
  static constexpr const char *kKeys[] = {
      // firewall
      "firewallEnable", "sourceAccept", "sourceReject", "aclDefault",
      // service ports, both sides
      "sshdPort", "httpPort", "httpsPort", "snmpPort", "vncPort", "vncsPort",
      "sshd2Port", "http2Port", "https2Port", "snmp2Port", "vnc2Port",
      "vncs2Port",
      // SNMP
      "snmpEnabled", "snmpROCommunity", "snmpRWCommunity",
      "snmpTrapCommunity", "snmpTrapSink1", "snmpTrapSink2",
      // RADIUS
      "radiusEnable", "radiusServer1", "radiusSecret1", "radiusPort1",
      "radiusServer2", "radiusSecret2", "radiusPort2", "radiusServer3",
      "radiusSecret3", "radiusPort3", "radiusRetries", "radiusTimeout",
  };
  for (const char *key : kKeys) cfgRestoreDefault(key);
}
