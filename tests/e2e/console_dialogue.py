"""Driving the network setup console on a pseudo-terminal as an operator
would, and the status screen it should show.  The terminal turns each line
end into CR LF and echoes what is typed; texts here are written with "\\n"."""

import ipaddress

import pexpect

CLEAR = "\x1b[H\x1b[J\r"
PROMPT = "\nChoice: "
PAUSE = "\n\nPress Enter to continue..."
CONFIRM = ("\nAre you sure you want to %s?\n"
           "Type YES if you want to do this (anything else to abort): ")


def tty(text):
    return text.replace("\n", "\r\n")


def addr(dotted):
    """A dotted address as the configuration store keeps it."""
    return str(int(ipaddress.IPv4Address(dotted)))


def status_screen(lan, wan=None, product="Remote Console Appliance",
                  dhcp=False, bridge=False, hostname="unit", gateway=None,
                  dhcp_gateway=None, pending=False):
    """lan, wan: (ip, netmask, gateway or None, broadcast); wan None on a
    unit without the WAN port."""
    title = product + " Network Setup"
    rule = "-" * len(title)
    s = ("\n%s\n%s\n%s\n" % (rule, title, rule) +
         "\nNOTE: This interface is used to set network parameters and perform\n"
         "certain recovery procedures, but the majority of setup and\n"
         "configuration can only be done using the web interface.\n\n")

    def addresses(ip, netmask, gw, bcast):
        return ("  IP Address: %s\n     Netmask: %s\n     Gateway: %s\n"
                "   Broadcast: %s\n" % (ip, netmask, gw or "Disabled", bcast))

    s += "Primary Ethernet Port (LAN)     (02:00:5e:10:00:01)\n"
    s += ("  DHCP is enabled. Current lease information:\n" if dhcp
          else "    D.H.C.P.: Disabled\n") + addresses(*lan)
    if wan:
        s += "\nSecondary Ethernet Port (WAN)   (02:00:5e:10:00:02)\n"
        s += "" if bridge else addresses(*wan)
    s += "\n"
    if bridge or wan:
        s += "Ethernet bridge: %s\n" % ("Enabled" if bridge else "Disabled")
    s += "   Machine name: %s\nDefault Gateway: %s" % (hostname, gateway or "<none>")
    if dhcp and dhcp_gateway:
        s += "  (DHCP: %s)" % dhcp_gateway
    s += "\n\nCommands (press one key, then Enter):\n"
    s += ("    D - Disable DHCP, and use fixed IP address.\n" if dhcp
          else "    D - Enable DHCP for dynamic IP address.\n")
    m = "*" if dhcp else " "
    s += (" %s  I - Set IP address.\n %s  N - Set netmask.\n"
          " %s  G - Set network gateway.\n"
          " %s  B - Set broadcast address (optional).\n" % (m, m, m, m))
    s += "    GW - Set default gateway.\n"
    if wan:
        m = "#" if bridge else " "
        s += (" %s  I2 - Set IP address (WAN).\n %s  N2 - Set netmask (WAN).\n"
              " %s  G2 - Set default gateway (WAN).\n"
              " %s  B2 - Set broadcast address (WAN, optional).\n"
              "    E - Ethernet bridging (enable or disable).\n" % (m, m, m, m))
    s += ("    M - Change machine name (DHCP client name).\n"
          "    H - Reset/disable firewall, TCP ports, SNMP, RADIUS.\n"
          "    F - Reset everything to factory defaults.\n"
          "    S - Change system admin password.\n"
          "    P - Send ICMP ping packets (testing purposes).\n"
          "    ? - Show TCP/IP ports and servers enabled.\n"
          "    R - Revert to current settings (undo changes).\n"
          "%s W - Commit changes to configuration.\n\n"
          % (">>>" if pending else "   "))
    if dhcp:
        s += " *  -> These values ignored due to DHCP.\n"
    if bridge and wan:
        s += " #  -> These values ignored since bridging is enabled.\n"
    if pending:
        s += "    NOTE: Your changes are still pending.\n"
    return s


def console_on(unit, config=None, **kwargs):
    """A console at its first prompt, started after config was saved."""
    if config:
        unit.set_config(**config)
    c = Console(unit, **kwargs)
    c.read_to_prompt()
    return c


class Console:
    """One console process on a pseudo-terminal inside the unit."""

    def __init__(self, unit, **kwargs):
        self.p = unit.spawn(timeout=15, **kwargs)

    def expect(self, text):
        """Waits for text; returns what came before it, as seen."""
        self.p.expect_exact(tty(text).encode())
        return self.p.before.decode()

    def read_to_prompt(self):
        """Everything up to and including the command prompt, as seen."""
        return self.expect("Choice: ") + "Choice: "

    def send(self, line):
        """Types a line without waiting for its echo (none with echo off)."""
        self.p.send((line + "\r").encode())

    def type(self, line):
        """Types a line and waits for its echo."""
        self.send(line)
        self.expect(line + "\n")

    def command(self, line):
        """Types a line; returns the output up to the next prompt."""
        self.type(line)
        return self.read_to_prompt()

    def ask(self, line, label, current):
        """Types an editor command and waits for its prompt."""
        self.type(line)
        self.expect("\n%s [%s]: " % (label, current))

    def edit(self, line, label, current, answer):
        self.ask(line, label, current)
        self.command(answer)

    def commit(self):
        """W with an acceptable configuration pending; answers the pause,
        after which nothing is pending any more."""
        self.type("w")
        self.expect("Writing... Done.\nApplying settings...\nDone.\n"
                    "\nChanges commited." + PAUSE)
        screen = self.command("")
        assert ">>>" not in screen and "pending" not in screen, screen

    def wait_exit(self):
        self.p.expect(pexpect.EOF)
        self.p.close()
        return self.p.exitstatus
