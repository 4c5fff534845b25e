// The console's main screen: the addressing of the LAN port and, where
// fitted, the WAN port, bridging, machine name, default gateway, and the
// command list with marks for ignored values and pending changes.
#include <cstdio>
#include <cstring>

#include "console/console_internal.h"
#include "platform/config_store.h"
#include "platform/device_services.h"

namespace {

// "%s Network Setup" with the product name; longer names are cut.
constexpr int kTitleMax = 79;

void printMac(const char *heading, const unsigned char *mac) {
  printf("%s(%02x:%02x:%02x:%02x:%02x:%02x)\n", heading, mac[0], mac[1],
         mac[2], mac[3], mac[4], mac[5]);
}

void printAddresses(const char *ip, const char *netmask, const char *gateway,
                    const char *bcast) {
  printf("  IP Address: %s\n", ipToStr(static_cast<uint32_t>(cfgGetN(ip))));
  printf("     Netmask: %s\n",
         ipToStr(static_cast<uint32_t>(cfgGetN(netmask))));
  uint32_t gw = static_cast<uint32_t>(cfgGetN(gateway));
  printf("     Gateway: %s\n", gw ? ipToStr(gw) : "Disabled");
  printf("   Broadcast: %s\n", ipToStr(static_cast<uint32_t>(cfgGetN(bcast))));
}

}  // namespace

void showStatus() {
  char title[kTitleMax + 1];
  snprintf(title, sizeof title, "%s Network Setup", oem->productName);
  char rule[kTitleMax + 1];
  size_t titleLen = strlen(title);
  memset(rule, '-', titleLen);
  rule[titleLen] = 0;
  printf("\n");
  printf("%s\n%s\n%s\n", rule, title, rule);
  printf(
      "\nNOTE: This interface is used to set network parameters and perform\n"
      "certain recovery procedures, but the majority of setup and\n"
      "configuration can only be done using the web interface.\n\n");

  bool bridging = cfgGetN("bridgeEnable") != 0;

  printMac("Primary Ethernet Port (LAN)     ", unitMacAddress);
  if (cfgGetN("dhcpEnable")) {
    printf("  DHCP is enabled. Current lease information:\n");
    // The lease goes into the working values so that the lines below show
    // what the port holds now; all of it, or in a full store none of it.
    // It is shown, not set: a commit saves what the operator changed.
    cfgBeginDisplay();
    cfgBeginGroup();
    dhcpUpdate(0);
    if (cfgEndGroup() != 0) fputs(kConfigFullLine + 1, stdout);
    cfgEndDisplay();
  } else {
    printf("    D.H.C.P.: Disabled\n");
  }
  printAddresses("ip", "netmask", "gateway1", "bcast");

  if (hasEthernetOption) {
    printf("\n");
    printMac("Secondary Ethernet Port (WAN)   ", unitMacAddress2);
    // A bridged WAN port has no addressing of its own.
    if (!bridging) printAddresses("ip2", "netmask2", "gateway2", "bcast2");
  }
  printf("\n");

  char wanMark = ' ';
  if (bridging) {
    printf("Ethernet bridge: Enabled\n");
    wanMark = '#';
  } else if (hasEthernetOption) {
    printf("Ethernet bridge: Disabled\n");
  }

  bool dhcp = cfgGetN("dhcpEnable") != 0;
  printf("   Machine name: %s\n", cfgGet("hostname"));
  uint32_t gateway = static_cast<uint32_t>(cfgGetN("gateway"));
  printf("Default Gateway: %s", gateway ? ipToStr(gateway) : "<none>");
  if (dhcp && dhcpDefGateway) printf("  (DHCP: %s)", ipToStr(dhcpDefGateway));
  printf("\n");

  printf("\nCommands (press one key, then Enter):\n");
  char lanMark = ' ';
  if (dhcp) {
    printf("    D - Disable DHCP, and use fixed IP address.\n");
    lanMark = '*';
  } else {
    printf("    D - Enable DHCP for dynamic IP address.\n");
  }
  printf(" %c  I - Set IP address.\n", lanMark);
  printf(" %c  N - Set netmask.\n", lanMark);
  printf(" %c  G - Set network gateway.\n", lanMark);
  printf(" %c  B - Set broadcast address (optional).\n", lanMark);
  printf("    GW - Set default gateway.\n");
  if (hasEthernetOption) {
    printf(" %c  I2 - Set IP address (WAN).\n", wanMark);
    printf(" %c  N2 - Set netmask (WAN).\n", wanMark);
    printf(" %c  G2 - Set default gateway (WAN).\n", wanMark);
    printf(" %c  B2 - Set broadcast address (WAN, optional).\n", wanMark);
    printf("    E - Ethernet bridging (enable or disable).\n");
  }
  printf("    M - Change machine name (DHCP client name).\n");
  printf("    H - Reset/disable firewall, TCP ports, SNMP, RADIUS.\n");
  printf("    F - Reset everything to factory defaults.\n");
  printf("    S - Change system admin password.\n");
  printf("    P - Send ICMP ping packets (testing purposes).\n");
  printf("    ? - Show TCP/IP ports and servers enabled.\n");
  printf("    R - Revert to current settings (undo changes).\n");
  printf("%3s W - Commit changes to configuration.\n",
         pendingChanges ? ">>>" : "   ");
  printf("\n");

  if (dhcp) printf(" *  -> These values ignored due to DHCP.\n");
  if (bridging && hasEthernetOption) {
    printf(" #  -> These values ignored since bridging is enabled.\n");
  }
  if (pendingChanges) printf("    NOTE: Your changes are still pending.\n");
}
