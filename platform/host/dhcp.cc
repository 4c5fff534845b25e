// The DHCP client's current lease and what the configuration takes from it.
//
// The simulated unit's DHCP client keeps its lease in
// /var/lib/unit/dhcp.lease, key=value lines of dotted addresses:
//
//   ip=ADDRESS               the LAN port's leased address      (required)
//   netmask=ADDRESS          its netmask                        (required)
//   gateway=ADDRESS          the LAN port's gateway; missing: 0 (none)
//   bcast=ADDRESS            broadcast; missing: ip | ~netmask
//   default_gateway=ADDRESS  the default gateway; missing: 0 (none)
//
// '#' starts a comment line; unknown keys are ignored.  A lease without ip
// or netmask, or with any of these keys holding something other than a
// dotted address, is no lease: it is not applied at all, rather than half.
// A lease that does not fit the configuration is not applied either.
// Without a usable lease dhcpUpdate() changes nothing (and saves nothing)
// and oemGetEth0Addr() gives the configured address.
#include "platform/host/dhcp.h"

#include <cstring>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/host/kv_file.h"
#include "platform/host/unit_paths.h"

uint32_t dhcpDefGateway;

namespace {

constexpr unsigned kIp = 1, kNetmask = 2, kGateway = 4, kBcast = 8,
                   kDefaultGateway = 16;

struct LeaseParse {
  DhcpLease lease;
  unsigned seen;
  bool bad;
};

void takeLine(void *context, const char *key, const char *value) {
  auto *parse = static_cast<LeaseParse *>(context);
  struct Field {
    const char *key;
    unsigned bit;
    uint32_t *address;
  };
  const Field fields[] = {
      {"ip", kIp, &parse->lease.ip},
      {"netmask", kNetmask, &parse->lease.netmask},
      {"gateway", kGateway, &parse->lease.gateway},
      {"bcast", kBcast, &parse->lease.bcast},
      {"default_gateway", kDefaultGateway, &parse->lease.defaultGateway},
  };
  for (const Field &field : fields) {
    if (strcmp(key, field.key) != 0) continue;
    if (strToIP(value, field.address) != 0) parse->bad = true;
    parse->seen |= field.bit;
    return;
  }
}

}  // namespace

int readLease(const char *path, DhcpLease *lease) {
  LeaseParse parse = {};
  if (forEachKeyValue(path, takeLine, &parse) != 0) return -1;
  if (parse.bad || (parse.seen & (kIp | kNetmask)) != (kIp | kNetmask))
    return -1;
  if (!(parse.seen & kBcast))
    parse.lease.bcast = parse.lease.ip | ~parse.lease.netmask;
  *lease = parse.lease;
  return 0;
}

void applyLeaseFile(const char *path, int save) {
  DhcpLease lease;
  if (readLease(path, &lease) != 0) return;
  // The values belong together: half a lease would mix two networks.  In a
  // full store none of them is taken (the caller's group tells), the
  // default gateway included.
  cfgBeginGroup();
  cfgSetN("ip", static_cast<int>(lease.ip));
  cfgSetN("netmask", static_cast<int>(lease.netmask));
  cfgSetN("gateway1", static_cast<int>(lease.gateway));
  cfgSetN("bcast", static_cast<int>(lease.bcast));
  if (cfgEndGroup() != 0) return;
  dhcpDefGateway = lease.defaultGateway;
  if (save && updateCfgSave() != 0)
    logIt(kLogError, "DHCP lease could not be saved.");
}

// With DHCP on, the LAN interface holds the leased address; without a lease
// (or with DHCP off) it holds the configured one.
uint32_t eth0AddrFrom(const char *path) {
  DhcpLease lease;
  if (cfgGetN("dhcpEnable") && readLease(path, &lease) == 0) return lease.ip;
  return static_cast<uint32_t>(cfgGetN("ip"));
}

void dhcpUpdate(int save) { applyLeaseFile(unit::kDhcpLease, save); }

uint32_t oemGetEth0Addr() { return eth0AddrFrom(unit::kDhcpLease); }
