"""The console's status screen and service port report, byte for byte, in
the variants a unit can be in."""

import pytest

from console_dialogue import (CLEAR, PAUSE, PROMPT, Console, addr,
                              screen_as_seen, set_lease,
                              status_screen, tty)

LAN = dict(ip=addr("10.1.2.3"), netmask=addr("255.255.0.0"),
           gateway1=addr("10.1.0.1"), bcast=addr("10.1.255.255"))
WAN = dict(ip2=addr("172.16.5.9"), netmask2=addr("255.255.255.0"),
           gateway2=addr("172.16.5.1"), bcast2=addr("172.16.5.255"))
LAN_SHOWN = ("10.1.2.3", "255.255.0.0", "10.1.0.1", "10.1.255.255")
WAN_SHOWN = ("172.16.5.9", "255.255.255.0", "172.16.5.1", "172.16.5.255")
LEASE = dict(ip="192.168.7.23", netmask="255.255.255.0", gateway="192.168.7.1",
             bcast="192.168.7.255", default_gateway="192.168.7.254")
LEASE_SHOWN = ("192.168.7.23", "255.255.255.0", "192.168.7.1", "192.168.7.255")

# name: (identity, lease, configuration, expected screen)
VARIANTS = {
    "wan port, fixed addresses": (
        {}, None,
        dict(LAN, **WAN, dhcpEnable="0", bridgeEnable="0", hostname="lab-unit",
             gateway=addr("10.1.0.254")),
        dict(lan=LAN_SHOWN, wan=WAN_SHOWN, hostname="lab-unit",
             gateway="10.1.0.254")),
    # The LAN lines show the lease, not the stored addresses; the bridged
    # WAN port shows its header only.
    "wan port, dhcp and bridging": (
        {}, LEASE,
        dict(LAN, **WAN, dhcpEnable="1", bridgeEnable="1",
             gateway=addr("10.1.0.254")),
        dict(lan=LEASE_SHOWN, wan="bridged", dhcp=True, bridge=True,
             gateway="10.1.0.254", dhcp_gateway="192.168.7.254")),
    "no wan port": (
        dict(ethernet_option="0"), None,
        dict(LAN, **WAN, dhcpEnable="0", bridgeEnable="0", gateway="0"),
        dict(lan=LAN_SHOWN)),
    # Bridging is still told, without its legend; a lease without gateways
    # shows none and adds nothing to the default gateway line.
    "no wan port, bridging and a lease without gateways": (
        dict(ethernet_option="0"),
        dict(ip="192.168.7.23", netmask="255.255.255.0"),
        dict(LAN, dhcpEnable="1", bridgeEnable="1", gateway="0"),
        dict(lan=("192.168.7.23", "255.255.255.0", None, "192.168.7.255"),
             dhcp=True, bridge=True)),
    # The title's rule follows the product name's length.
    "all gateways none, another product name": (
        dict(product_name="Acme 8-Port Remote Console"), None,
        dict(LAN, **dict(WAN, gateway2="0"), dhcpEnable="0", bridgeEnable="0",
             gateway1="0", gateway="0"),
        dict(product="Acme 8-Port Remote Console",
             lan=LAN_SHOWN[:2] + (None,) + LAN_SHOWN[3:],
             wan=WAN_SHOWN[:2] + (None,) + WAN_SHOWN[3:])),
}


@pytest.mark.parametrize("variant", VARIANTS)
def test_status_screen_variants(unit, variant):
    identity, lease, config, shown = VARIANTS[variant]
    unit.set_identity(**identity)
    if lease:
        set_lease(unit, **lease)
    unit.set_config(**config)
    console = Console(unit)
    try:
        assert console.start() == CLEAR + screen_as_seen(status_screen(**shown))
        # A redraw is the same screen again, without the clearing.
        assert console.redraw() == screen_as_seen(status_screen(**shown))
    finally:
        console.close()


def test_pending_changes_mark_the_screen_until_committed(unit):
    unit.set_config(**LAN, **WAN, dhcpEnable="0", bridgeEnable="0", gateway="0")
    console = Console(unit)
    try:
        console.start()
        console.edit("m", "Machine name", "unit", "edited")
        console.read_to_prompt()
        pending = status_screen(lan=LAN_SHOWN, wan=WAN_SHOWN, hostname="edited",
                                pending=True)
        assert console.redraw() == screen_as_seen(pending)
        assert pending.endswith("    NOTE: Your changes are still pending.\n")
        console.commit()
        # commit() has answered the pause; the redraw that followed:
        assert console.redraw() == screen_as_seen(
            status_screen(lan=LAN_SHOWN, wan=WAN_SHOWN, hostname="edited"))
    finally:
        console.close()


def test_disabling_dhcp_keeps_the_lease_and_drops_the_dhcp_gateway(unit):
    set_lease(unit, **LEASE)
    unit.set_config(**LAN, dhcpEnable="1", bridgeEnable="0", gateway="0")
    console = Console(unit)
    try:
        console.start()
        console.type("d")
        console.expect("\nDHCP has been disabled." + PAUSE)
        # The lease became the fixed addressing; the DHCP default gateway
        # is known but no longer shown.
        assert console.enter() == screen_as_seen(status_screen(
            lan=LEASE_SHOWN, wan=("0.0.0.0", "0.0.0.0", None, "0.0.0.0"),
            pending=True))
    finally:
        console.close()


TABLE_HEAD = ("\nService Description                 Default Current Port\n"
              "------- --------------------------- ------- ------------\n")
LOCALHOST = ("\n\nLocalhost (127.0.0.1):  (internal access only)\n"
             "\nService Description                 Current Port\n"
             "------- --------------------------- ------------\n"
             "http    The real web server         80\n"
             "snmp    SNMP Agent (UDP)            161 \n"
             "vnc     VNC/RFB Protocol Server     5900\n")


def port_rows(defaults, current):
    names = [("ssh", "Secure Shell"), ("http", "Web redirector (to https)"),
             ("snmp", "SNMP Agent (UDP)"), ("https", "SSL Encrypted web control"),
             ("vnc", "VNC/RFB Protocol Server"), ("vncs", "SSL-tunnelled VNC")]
    return "".join("%-7s %-27s %-7s %d\n" % (n, d, dflt, cur)
                   for (n, d), dflt, cur in zip(names, defaults, current))


PORTS = dict(sshdPort="2222", httpPort="0", snmpPort="161", httpsPort="8443",
             vncPort="5901", vncsPort="0", sshd2Port="0", http2Port="8080",
             snmp2Port="0", https2Port="443", vnc2Port="0", vncs2Port="15901")


@pytest.mark.parametrize("wan_port", [True, False])
def test_port_report(unit, wan_port):
    set_lease(unit, **LEASE)
    if not wan_port:
        unit.set_identity(ethernet_option="0")
    # Bridging does not hide the WAN section.
    unit.set_config(**LAN, **WAN, **PORTS, dhcpEnable="1", bridgeEnable="1")
    expected = ("\nUse the web interface to change these values. Services with\n"
                "a zero port number are disabled.\n"
                "\nLAN: Primary Ethernet port (DHCP: 192.168.7.23):\n"
                + TABLE_HEAD
                + port_rows([22, 80, 161, 443, 5900, 15900],
                            [2222, 0, 161, 8443, 5901, 0]))
    if wan_port:
        expected += ("\n\nWAN: Secondary Ethernet port (172.16.5.9):\n"
                     + TABLE_HEAD
                     + port_rows([22, 0, 0, 0, 0, 0],
                                 [0, 8080, 0, 443, 0, 15901]))
    expected += LOCALHOST + "\n" + PAUSE
    console = Console(unit)
    try:
        console.start()
        console.type("?")
        assert console.expect(PAUSE) + tty(PAUSE) == tty(expected)
        console.enter()
    finally:
        console.close()


def test_port_report_names_the_configured_address_without_dhcp(unit):
    set_lease(unit, **LEASE)
    unit.set_config(**LAN, dhcpEnable="0")
    console = Console(unit)
    try:
        console.start()
        console.type("?")
        console.expect("\nLAN: Primary Ethernet port (10.1.2.3):\n" + TABLE_HEAD)
    finally:
        console.close()
