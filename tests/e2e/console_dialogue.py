"""Driving the network setup console on a pseudo-terminal as an operator
would, and the texts it is expected to show.

The terminal turns every line end the program writes into CR LF and echoes
what is typed; the helpers here compare what reached the terminal byte for
byte against texts written with plain "\\n".
"""

import ipaddress

import pexpect

CLEAR = "\x1b[H\x1b[J\r"
PROMPT = "\nChoice: "
PAUSE = "\n\nPress Enter to continue..."

NOTE = ("\nNOTE: This interface is used to set network parameters and perform\n"
        "certain recovery procedures, but the majority of setup and\n"
        "configuration can only be done using the web interface.\n\n")

# Identity and lease of the simulated unit as the tests set them up.
PRODUCT = "Remote Console Appliance"
MAC = "02:00:5e:10:00:01"
MAC2 = "02:00:5e:10:00:02"


def tty(text):
    """What `text` looks like after the terminal's line-end translation."""
    return text.replace("\n", "\r\n")


def addr(dotted):
    """A dotted address as the configuration store keeps it."""
    return str(int(ipaddress.IPv4Address(dotted)))


def dotted(stored):
    return str(ipaddress.IPv4Address(int(stored) & 0xffffffff))


def set_lease(unit, **values):
    """Replaces the unit's DHCP lease."""
    path = unit.dir / "var/lib/unit/dhcp.lease"
    path.write_text("".join("%s=%s\n" % kv for kv in values.items()))


def status_screen(lan, wan=None, product=PRODUCT, dhcp=False, bridge=False,
                  hostname="unit", gateway=None, dhcp_gateway=None,
                  pending=False, mac=MAC, mac2=MAC2):
    """The status screen as the operator should see it.

    lan, wan: (ip, netmask, gateway, broadcast), gateway None for none;
    wan None on a unit without the WAN port, "bridged" to show the port's
    header only."""
    title = product + " Network Setup"
    rule = "-" * len(title)
    s = "\n" + rule + "\n" + title + "\n" + rule + "\n" + NOTE

    def addresses(ip, netmask, gw, bcast):
        return ("  IP Address: %s\n     Netmask: %s\n     Gateway: %s\n"
                "   Broadcast: %s\n" % (ip, netmask, gw or "Disabled", bcast))

    s += "Primary Ethernet Port (LAN)     (%s)\n" % mac
    if dhcp:
        s += "  DHCP is enabled. Current lease information:\n"
    else:
        s += "    D.H.C.P.: Disabled\n"
    s += addresses(*lan)
    if wan is not None:
        s += "\nSecondary Ethernet Port (WAN)   (%s)\n" % mac2
        if not bridge:
            s += addresses(*wan)
    s += "\n"
    if bridge:
        s += "Ethernet bridge: Enabled\n"
    elif wan is not None:
        s += "Ethernet bridge: Disabled\n"
    s += "   Machine name: %s\n" % hostname
    s += "Default Gateway: %s" % (gateway or "<none>")
    if dhcp and dhcp_gateway:
        s += "  (DHCP: %s)" % dhcp_gateway
    s += "\n"
    s += "\nCommands (press one key, then Enter):\n"
    if dhcp:
        s += "    D - Disable DHCP, and use fixed IP address.\n"
    else:
        s += "    D - Enable DHCP for dynamic IP address.\n"
    m = "*" if dhcp else " "
    s += (" %s  I - Set IP address.\n %s  N - Set netmask.\n"
          " %s  G - Set network gateway.\n"
          " %s  B - Set broadcast address (optional).\n" % (m, m, m, m))
    s += "    GW - Set default gateway.\n"
    if wan is not None:
        m = "#" if bridge else " "
        s += (" %s  I2 - Set IP address (WAN).\n %s  N2 - Set netmask (WAN).\n"
              " %s  G2 - Set default gateway (WAN).\n"
              " %s  B2 - Set broadcast address (WAN, optional).\n"
              % (m, m, m, m))
        s += "    E - Ethernet bridging (enable or disable).\n"
    s += ("    M - Change machine name (DHCP client name).\n"
          "    H - Reset/disable firewall, TCP ports, SNMP, RADIUS.\n"
          "    F - Reset everything to factory defaults.\n"
          "    S - Change system admin password.\n"
          "    P - Send ICMP ping packets (testing purposes).\n"
          "    ? - Show TCP/IP ports and servers enabled.\n"
          "    R - Revert to current settings (undo changes).\n")
    s += "%s W - Commit changes to configuration.\n" % (">>>" if pending else "   ")
    s += "\n"
    if dhcp:
        s += " *  -> These values ignored due to DHCP.\n"
    if bridge and wan is not None:
        s += " #  -> These values ignored since bridging is enabled.\n"
    if pending:
        s += "    NOTE: Your changes are still pending.\n"
    return s


class Console:
    """One console process on a pseudo-terminal inside the unit."""

    def __init__(self, unit, *args, timeout=15, **kwargs):
        self.unit = unit
        self.p = unit.spawn(*args, **kwargs)
        self.p.timeout = timeout
        self._bytes = self.p.encoding is None

    # Text in and out, whichever mode pexpect runs in.
    def _enc(self, text):
        return text.encode() if self._bytes else text

    def _dec(self, data):
        if isinstance(data, bytes):
            return data.decode(errors="replace")
        return data if isinstance(data, str) else ""

    def expect(self, text):
        """Waits for `text` (plain "\\n" line ends); returns what came before."""
        self.p.expect_exact(self._enc(tty(text)))
        return self._dec(self.p.before)

    def expect_regex(self, pattern):
        self.p.expect(self._enc(pattern))
        return self.p.match

    def read_to_prompt(self):
        """Everything up to and including the command prompt, terminal form."""
        self.p.expect_exact(self._enc("Choice: "))
        return self._dec(self.p.before) + "Choice: "

    def start(self):
        """The first screen, after the one screen clear; as seen."""
        return self.read_to_prompt()

    def type(self, line):
        """Types a line; waits for its echo."""
        self.p.send(self._enc(line + "\r"))
        self.p.expect_exact(self._enc(line + "\r\n"))

    def send(self, line):
        """Types a line without waiting for its echo (none with echo off)."""
        self.p.send(self._enc(line + "\r"))

    def command(self, line):
        """Types a command and returns its output up to the next prompt."""
        self.type(line)
        return self.read_to_prompt()

    def enter(self):
        """Answers a pause; returns the output up to the next prompt."""
        return self.command("")

    def redraw(self):
        """An empty command line: the status screen, as seen."""
        return self.command("")

    def edit(self, line, label, current, answer):
        """Runs an editor command: expects its prompt, types the answer."""
        self.type(line)
        self.expect("\n%s [%s]: " % (label, current))
        self.type(answer)

    def commit(self):
        """W with something pending and an acceptable configuration."""
        self.type("w")
        self.expect("Writing... Done.\nApplying settings...\nDone.\n"
                    "\nChanges commited." + PAUSE)
        self.enter()

    def end_of_input(self):
        """Ctrl-D on an empty line: the program's input ends."""
        self.p.sendeof()

    def wait_exit(self):
        self.p.expect(pexpect.EOF)
        self.p.close()
        return self.p.exitstatus

    def close(self):
        if self.p.isalive():
            self.p.close(force=True)


def screen_as_seen(screen):
    """A redraw as the terminal shows it, up to the prompt."""
    return tty(screen + PROMPT)
