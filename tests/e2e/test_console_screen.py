"""The status screen and the service port report, byte for byte."""

import pytest

from console_dialogue import (CLEAR, PAUSE, PROMPT, Console, addr, console_on, status_screen,
                              tty)

LAN = dict(ip=addr("10.1.2.3"), netmask=addr("255.255.0.0"),
           gateway1=addr("10.1.0.1"), bcast=addr("10.1.255.255"))
WAN = dict(ip2=addr("172.16.5.9"), netmask2=addr("255.255.255.0"),
           gateway2=addr("172.16.5.1"), bcast2=addr("172.16.5.255"))
LAN_SHOWN = ("10.1.2.3", "255.255.0.0", "10.1.0.1", "10.1.255.255")
WAN_SHOWN = ("172.16.5.9", "255.255.255.0", "172.16.5.1", "172.16.5.255")
LEASE = dict(ip="192.168.7.23", netmask="255.255.255.0", gateway="192.168.7.1",
             bcast="192.168.7.255", default_gateway="192.168.7.254")
LEASE_SHOWN = ("192.168.7.23", "255.255.255.0", "192.168.7.1", "192.168.7.255")
OFF = dict(dhcpEnable="0", bridgeEnable="0")

# name: (identity, lease, configuration, expected screen)
VARIANTS = {
    "wan port": ({}, None, dict(LAN, **WAN, **OFF, hostname="lab-unit",
                                gateway=addr("10.1.0.254")),
                 dict(lan=LAN_SHOWN, wan=WAN_SHOWN, hostname="lab-unit",
                      gateway="10.1.0.254")),
    # The lease is shown, not the stored LAN addresses; a bridged WAN port
    # shows its header only.
    "dhcp and bridging": ({}, LEASE, dict(LAN, **WAN, dhcpEnable="1",
                                          bridgeEnable="1", gateway=addr("10.1.0.254")),
                          dict(lan=LEASE_SHOWN, wan="bridged", dhcp=True, bridge=True,
                               gateway="10.1.0.254", dhcp_gateway="192.168.7.254")),
    "no wan port": (dict(ethernet_option=0), None, dict(LAN, **WAN, **OFF, gateway="0"),
                    dict(lan=LAN_SHOWN)),
    # Bridging is told without its legend; a lease without gateways.
    "no wan port, bridging, dhcp": (
        dict(ethernet_option=0), dict(ip="192.168.7.23", netmask="255.255.255.0"),
        dict(LAN, dhcpEnable="1", bridgeEnable="1", gateway="0"),
        dict(lan=("192.168.7.23", "255.255.255.0", None, "192.168.7.255"),
             dhcp=True, bridge=True)),
    "no gateways, longer product name": (
        dict(product_name="Acme 8-Port Remote Console"), None,
        dict(LAN, **dict(WAN, gateway2="0"), **OFF, gateway1="0", gateway="0"),
        dict(product="Acme 8-Port Remote Console",
             lan=LAN_SHOWN[:2] + (None,) + LAN_SHOWN[3:],
             wan=WAN_SHOWN[:2] + (None,) + WAN_SHOWN[3:])),
}


@pytest.mark.parametrize("variant", VARIANTS)
def test_status_screen(unit, variant):
    identity, lease, config, shown = VARIANTS[variant]
    unit.set_identity(**identity)
    if lease:
        unit.set_lease(**lease)
    unit.set_config(**config)
    console = Console(unit)
    expected = tty(status_screen(**shown) + PROMPT)
    # Start-up clears the screen once, before anything else; a redraw does not.
    assert console.read_to_prompt() == CLEAR + expected
    assert console.command("") == expected


def test_dhcp_switched_off_keeps_the_lease_without_its_gateway_note(unit):
    unit.set_lease(**LEASE)
    console = console_on(unit, dict(**LAN, dhcpEnable="1", bridgeEnable="0", gateway="0"))
    console.type("d")
    console.expect("\nDHCP has been disabled." + PAUSE)
    assert console.command("") == tty(status_screen(
        lan=LEASE_SHOWN, wan=("0.0.0.0", "0.0.0.0", None, "0.0.0.0"),
        pending=True) + PROMPT)


def port_table(defaults, current):
    rows = [("ssh", "Secure Shell"), ("http", "Web redirector (to https)"),
            ("snmp", "SNMP Agent (UDP)"), ("https", "SSL Encrypted web control"),
            ("vnc", "VNC/RFB Protocol Server"), ("vncs", "SSL-tunnelled VNC")]
    return ("\nService Description                 Default Current Port\n"
            "------- --------------------------- ------- ------------\n" +
            "".join("%-7s %-27s %-7s %s\n" % (n, d, dflt, cur)
                    for (n, d), dflt, cur in zip(rows, defaults, current)))


PORTS = dict(sshdPort=2222, httpPort=0, snmpPort=161, httpsPort=8443,
             vncPort=5901, vncsPort=0, sshd2Port=0, http2Port=8080,
             snmp2Port=0, https2Port=443, vnc2Port=0, vncs2Port=15901)


@pytest.mark.parametrize("wan_port,dhcp", [(1, "1"), (0, "0")])
def test_port_report(unit, wan_port, dhcp):
    unit.set_lease(**LEASE)
    unit.set_identity(ethernet_option=wan_port)
    # Bridging does not hide the WAN section.
    unit.set_config(**LAN, **WAN, **PORTS, dhcpEnable=dhcp, bridgeEnable="1")
    expected = ("\nUse the web interface to change these values. Services with\n"
                "a zero port number are disabled.\n\nLAN: Primary Ethernet port (%s):\n"
                % ("DHCP: 192.168.7.23" if dhcp == "1" else "10.1.2.3") +
                port_table([22, 80, 161, 443, 5900, 15900], list(PORTS.values())[:6]))
    if wan_port:
        expected += ("\n\nWAN: Secondary Ethernet port (172.16.5.9):\n" +
                     port_table([22, 0, 0, 0, 0, 0], list(PORTS.values())[6:]))
    expected += ("\n\nLocalhost (127.0.0.1):  (internal access only)\n"
                 "\nService Description                 Current Port\n"
                 "------- --------------------------- ------------\n"
                 "http    The real web server         80\n"
                 "snmp    SNMP Agent (UDP)            161 \n"
                 "vnc     VNC/RFB Protocol Server     5900\n\n" + PAUSE)
    console = console_on(unit)
    console.type("?")
    assert console.expect(PAUSE) + tty(PAUSE) == tty(expected)
