"""The agent under a real Net-SNMP snmpd, used as a manager would use it."""
import os

import pytest

from snmp_agent import P, Snmpd

KEYS = """dhcpEnable ip gateway gateway1 netmask bcast ip2 gateway2 netmask2 bcast2
passwd idleTimeout snmpEnabled snmpROCommunity snmpRWCommunity snmpTrapCommunity
snmpTrapSink1 snmpTrapSink2 sshdPort httpPort httpsPort snmpPort vncPort vncsPort
vncSizes sshd2Port http2Port https2Port vnc2Port vncs2Port snmp2Port hostname
location contact description netaddr pwlockout numusers sshBypass fancyLogin
radiusEnable radiusServer1 radiusSecret1 radiusPort1 radiusServer2 radiusSecret2
radiusPort2 radiusServer3 radiusSecret3 radiusPort3 radiusRetries radiusTimeout
bridgeEnable diskType cdromUrl externalKvm firewallEnable sourceAccept sourceReject
dns dnsDomain syslog kbdLocale ipmiEnable ipmbAddr ipmisPassword ipmisPort ipmisBaud
pppEnable pppBaud modemInit pwrDevice ukmDisable absMDisable localLockout noSharing
pwrAnyone usbHSDisable udiskDisable usbMSDisable vidFilterD dyndnsEnable
dyndnsUsername dyndnsPasswd aclDefault osdBlank""".split()

# How the unit's configuration store classes the keys.
SENSITIVE = {"passwd", "snmpRWCommunity", "radiusSecret1", "radiusSecret2",
             "radiusSecret3", "ipmisPassword", "dyndnsPasswd"}
ADDRESS = {"ip", "netmask", "gateway", "gateway1", "bcast", "netaddr", "ip2", "netmask2",
           "gateway2", "bcast2", "dns", "snmpTrapSink1", "snmpTrapSink2", "radiusServer1",
           "radiusServer2", "radiusServer3", "syslog"}


def dotted(number_text):
    n = int(number_text or "0", 0)
    return ".".join(str(n >> s & 255) for s in (24, 16, 8, 0))


def shown(key, saved):
    if key in SENSITIVE:
        return "*"
    if key in ADDRESS:
        return dotted(saved.get(key, ""))
    return saved.get(key, "")


def string(text):
    return 'STRING: "%s"' % text if text else '""'


@pytest.fixture
def snmpd(unit, tmp_path):
    d = Snmpd(unit, tmp_path)
    yield d
    d.close()


def test_walk_of_the_configuration_table(snmpd, unit):
    unit.set_config(location="lab 2", ip="10.9.8.7", dyndnsPasswd="x")
    saved = unit.config()
    expected = [("%s.1.1.1.1.%d" % (P, r), "INTEGER: %d" % (r - 1)) for r in range(1, 87)]
    expected += [("%s.1.1.1.2.%d" % (P, r), string(k)) for r, k in enumerate(KEYS, 1)]
    expected += [("%s.1.1.1.3.%d" % (P, r), string(shown(k, saved)))
                 for r, k in enumerate(KEYS, 1)]
    assert snmpd.walk(P + ".1") == expected
    assert snmpd.client("snmpgetnext", P + ".1.1.1.3.86").startswith(P + ".2.1 = INTEGER: 0")


def test_sets_of_configuration_keys(snmpd, unit):
    name = P + ".1.1.1.3.32"
    assert "STRING" in snmpd.set(name, "s", "rack 4 unit")
    assert snmpd.client("snmpget", name) == '%s = STRING: "rack 4 unit"\n' % name
    # Not all printable: the daemon hands it over as hexadecimal octets.
    snmpd.set(P + ".1.1.1.3.33", "x", "61 0a 62")
    ip = P + ".1.1.1.3.2"
    assert "STRING" in snmpd.set(ip, "s", "172.16.0.9")
    assert "notWritable" in snmpd.set(ip, "s", "172.16.0")
    assert snmpd.client("snmpget", ip) == '%s = STRING: "172.16.0.9"\n' % ip
    assert "notWritable" in snmpd.set(P + ".4.1", "s", "x")
    saved = unit.config()
    assert (saved["hostname"], saved["ip"]) == ("rack 4 unit", str(0xAC100009))
    assert saved["location"] == "61 0a 62"


PORTS = [(1, 0, "ssh", "Secure Shell", 22), (1, 0, "http", "Web redirector (to https)", 80),
         (1, 1, "snmp", "SNMP Agent", 161), (1, 0, "https", "SSL Encrypted web control", 443),
         (1, 0, "vnc", "VNC/RFB Protocol Server", 5900), (1, 0, "vncs", "SSL-tunnelled VNC", 15900),
         (2, 0, "ssh", "Secure Shell", 22), (2, 0, "http", "Web redirector (to https)", 0),
         (2, 0, "snmp", "SNMP Agent (UDP)", 0), (2, 0, "https", "SSL Encrypted web control", 0),
         (2, 0, "vnc", "VNC/RFB Protocol Server", 0), (2, 0, "vncs", "SSL-tunnelled VNC", 0),
         (3, 0, "http", "The real web server", 80), (3, 1, "snmp", "SNMP Agent", 161),
         (3, 0, "vnc", "VNC/RFB Protocol Server", 5900)]


def test_walk_of_the_whole_tree(snmpd, unit):
    unit.set_config(vncPort=5999)
    walked = snmpd.walk(P)
    assert len(walked) == 3 * 86 + 5 + 6 * 2 + 8 + 7 * 15
    status = ["INTEGER: 0", "INTEGER: 0", "INTEGER: 1", "INTEGER: 1", string("1024x768 @ 60Hz")]
    users = ["INTEGER: 0", "INTEGER: 1", "INTEGER: 5", "INTEGER: 4", string("admin"), '""',
             string("*"), string("*"), "INTEGER: 2", "INTEGER: 1", "INTEGER: 1", "INTEGER: 1"]
    with open("/proc/version") as f:
        kernel = f.readline().rstrip("\n")
    identity = [string("3.4.1 build 2042 (simulated unit)"), string("022136"),
                "Hex-STRING: 02 00 5E 10 00 01 ", string("Remote Console Appliance"),
                string("KVM over IP"), string("Simulated unit"),
                string("sorry, not supported anymore"), string(kernel)]
    columns = [lambda r, p: "INTEGER: %d" % r, lambda r, p: "INTEGER: %d" % p[0],
               lambda r, p: "INTEGER: %d" % (p[1] + 1), lambda r, p: string(p[2]),
               lambda r, p: string(p[3]), lambda r, p: "INTEGER: %d" % (5999 if r == 5 else p[4]),
               lambda r, p: "INTEGER: %d" % p[4]]
    ports = [columns[c](r, p) for c in range(7) for r, p in enumerate(PORTS, 1)]
    assert [v for o, v in walked[258:]] == status + users + identity + ports
    assert walked[-1][0] == P + ".5.1.1.7.15"


def test_sets_of_accounts_and_ports(snmpd, unit):
    assert "STRING" in snmpd.set(P + ".3.1.1.3.2", "s", "carol")
    assert "STRING" in snmpd.set(P + ".3.1.1.4.2", "s", "pass word")
    assert "INTEGER: 2222" in snmpd.set(P + ".5.1.1.6.1", "i", "2222")
    assert "notWritable" in snmpd.set(P + ".5.1.1.6.2", "i", "70000")
    assert "notWritable" in snmpd.set(P + ".5.1.1.6.14", "i", "162")
    saved = unit.config()
    assert (saved["numusers"], saved["user_0_name"], saved["user_0_pass"]) == \
        ("1", "carol", "pass word")
    assert (saved["sshdPort"], saved["httpPort"]) == ("2222", "80")
    assert snmpd.client("snmpget", P + ".3.1.1.3.2", P + ".3.1.1.2.3").splitlines() == [
        '%s.3.1.1.3.2 = STRING: "carol"' % P, "%s.3.1.1.2.3 = INTEGER: 4" % P]


def test_status_without_the_screen_file(snmpd, unit):
    # The reason goes to the log: snmpd reads the agent's standard error as
    # part of its answers.
    os.unlink(unit.path("/var/screen.bin"))
    assert [v for o, v in snmpd.walk(P + ".2")] == [
        "INTEGER: 0", "INTEGER: 0", "INTEGER: 1", "INTEGER: 1", string("0x0 @ 0Hz")]
    snmpd.close()
    assert (0x83, "read /var/screen.bin: No such file or directory") in unit.log()
