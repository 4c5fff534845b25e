// The console's ? command: which TCP/IP services listen on which port, per
// network side.  Read-only; the ports are changed through the web interface
// or the SNMP agent.
#include <cstdint>
#include <cstdio>

#include "console/console_internal.h"
#include "platform/config_store.h"
#include "platform/device_services.h"

namespace {

void printPortTable(const char *format, const char *const keys[6]) {
  printf(format, cfgGetN(keys[0]), cfgGetN(keys[1]), cfgGetN(keys[2]),
         cfgGetN(keys[3]), cfgGetN(keys[4]), cfgGetN(keys[5]));
}

constexpr const char *kLanPortKeys[6] = {"sshdPort", "httpPort",
                                         "snmpPort", "httpsPort",
                                         "vncPort",  "vncsPort"};
constexpr const char *kWanPortKeys[6] = {"sshd2Port", "http2Port",
                                         "snmp2Port", "https2Port",
                                         "vnc2Port",  "vncs2Port"};

}  // namespace

void showPorts() {
  printf("\nUse the web interface to change these values. Services with\n");
  printf("a zero port number are disabled.\n");

  // With DHCP the configured address may not be the one the port holds.
  bool dhcp = cfgGetN("dhcpEnable") != 0;
  uint32_t lan =
      dhcp ? oemGetEth0Addr() : static_cast<uint32_t>(cfgGetN("ip"));
  printf("\nLAN: Primary Ethernet port (%s%s):\n", dhcp ? "DHCP: " : "",
         ipToStr(lan));
  printPortTable(
      "\nService Description                 Default Current Port\n"
      "------- --------------------------- ------- ------------\n"
      "ssh     Secure Shell                22      %d\n"
      "http    Web redirector (to https)   80      %d\n"
      "snmp    SNMP Agent (UDP)            161     %d\n"
      "https   SSL Encrypted web control   443     %d\n"
      "vnc     VNC/RFB Protocol Server     5900    %d\n"
      "vncs    SSL-tunnelled VNC           15900   %d\n",
      kLanPortKeys);

  if (hasEthernetOption) {
    printf("\n\nWAN: Secondary Ethernet port (%s):\n",
           ipToStr(static_cast<uint32_t>(cfgGetN("ip2"))));
    printPortTable(
        "\nService Description                 Default Current Port\n"
        "------- --------------------------- ------- ------------\n"
        "ssh     Secure Shell                22      %d\n"
        "http    Web redirector (to https)   0       %d\n"
        "snmp    SNMP Agent (UDP)            0       %d\n"
        "https   SSL Encrypted web control   0       %d\n"
        "vnc     VNC/RFB Protocol Server     0       %d\n"
        "vncs    SSL-tunnelled VNC           0       %d\n",
        kWanPortKeys);
  }

  printf("\n\nLocalhost (127.0.0.1):  (internal access only)\n");
  printf(
      "\nService Description                 Current Port\n"
      "------- --------------------------- ------------\n"
      "http    The real web server         80\n"
      "snmp    SNMP Agent (UDP)            161 \n"
      "vnc     VNC/RFB Protocol Server     5900\n");
}
