// The lease the unit's DHCP client holds, as the simulated unit keeps it.
#pragma once

#include <cstdint>

struct DhcpLease {
  uint32_t ip;
  uint32_t netmask;
  uint32_t gateway;
  uint32_t bcast;
  uint32_t defaultGateway;
};

// 0 and the lease when the file at path holds a usable one; -1 otherwise
// (lease untouched).
int readLease(const char *path, DhcpLease *lease);

// dhcpUpdate() and oemGetEth0Addr() with the lease file at path.
void applyLeaseFile(const char *path, int save);
uint32_t eth0AddrFrom(const char *path);
