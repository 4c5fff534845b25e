"""The agent behind a real Net-SNMP snmpd, used as a manager would."""
import os

import pytest

from snmp_agent import P, octets, varbinds

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
SENSITIVE = set("passwd snmpRWCommunity radiusSecret1 radiusSecret2 radiusSecret3 "
                "ipmisPassword dyndnsPasswd".split())
ADDRESS = set("ip netmask gateway gateway1 bcast netaddr ip2 netmask2 gateway2 bcast2 dns "
              "snmpTrapSink1 snmpTrapSink2 radiusServer1 radiusServer2 radiusServer3 "
              "syslog".split())
# Side + 1, flag + 1, service, description, default port.
PORTS = [(1, 1, "ssh", "Secure Shell", 22), (1, 1, "http", "Web redirector (to https)", 80),
         (1, 2, "snmp", "SNMP Agent", 161), (1, 1, "https", "SSL Encrypted web control", 443),
         (1, 1, "vnc", "VNC/RFB Protocol Server", 5900), (1, 1, "vncs", "SSL-tunnelled VNC", 15900),
         (2, 1, "ssh", "Secure Shell", 22), (2, 1, "http", "Web redirector (to https)", 0),
         (2, 1, "snmp", "SNMP Agent (UDP)", 0), (2, 1, "https", "SSL Encrypted web control", 0),
         (2, 1, "vnc", "VNC/RFB Protocol Server", 0), (2, 1, "vncs", "SSL-tunnelled VNC", 0),
         (3, 1, "http", "The real web server", 80), (3, 2, "snmp", "SNMP Agent", 161),
         (3, 1, "vnc", "VNC/RFB Protocol Server", 5900)]


def string(text):
    return 'STRING: "%s"' % text if text else '""'


def shown(key, saved):
    if key in SENSITIVE:
        return "*"
    if key in ADDRESS:
        n = int(saved.get(key) or "0", 0)
        return ".".join(str(n >> s & 255) for s in (24, 16, 8, 0))
    return saved.get(key, "")


def test_walk_of_the_whole_tree(snmpd, unit):
    unit.set_config(location="lab 2", ip="10.9.8.7", dyndnsPasswd="x", vncPort=5999)
    saved = unit.config()
    assert [k for k in KEYS + ["serial0", "serial2", "serial3"] if k not in saved] == [], \
        "keys without a factory value"
    config = ["INTEGER: %d" % r for r in range(86)] + [string(k) for k in KEYS] + \
        [string(shown(k, saved)) for k in KEYS]
    status = ["INTEGER: 0", "INTEGER: 0", "INTEGER: 1", "INTEGER: 1", string("1024x768 @ 60Hz")]
    users = ["INTEGER: 0", "INTEGER: 1", "INTEGER: 5", "INTEGER: 4", string("admin"), '""'] + \
        [string("*")] * 2 + ["INTEGER: 2"] + ["INTEGER: 1"] * 3
    with open("/proc/version") as f:
        kernel = f.readline().rstrip("\n")
    identity = [string("3.4.1 build 2042 (simulated unit)"), string("022136"),
                "Hex-STRING: 02 00 5E 10 00 01 ", string("Remote Console Appliance"),
                string("KVM over IP"), string("Simulated unit"),
                string("sorry, not supported anymore"), string(kernel)]
    ports = [row(r, p) for row in (
        lambda r, p: "INTEGER: %d" % r, lambda r, p: "INTEGER: %d" % p[0],
        lambda r, p: "INTEGER: %d" % p[1], lambda r, p: string(p[2]), lambda r, p: string(p[3]),
        lambda r, p: "INTEGER: %d" % (5999 if r == 5 else p[4]),
        lambda r, p: "INTEGER: %d" % p[4]) for r, p in enumerate(PORTS, 1)]
    walked = snmpd.walk(P)
    assert [v for o, v in walked] == config + status + users + identity + ports
    assert (walked[0][0], walked[258][0], walked[-1][0]) == (
        P + ".1.1.1.1.1", P + ".2.1", P + ".5.1.1.7.15")


def test_sets_read_back(snmpd, unit):
    assert "STRING" in snmpd.set(P + ".1.1.1.3.32", "s", "rack 4 unit")
    snmpd.set(P + ".1.1.1.3.33", "x", "61 0a 62")   # not printable: sent as hex octets
    ip = P + ".1.1.1.3.2"
    assert "STRING" in snmpd.set(ip, "s", "172.16.0.9")
    assert "notWritable" in snmpd.set(ip, "s", "172.16.0")
    assert snmpd.client("snmpget", ip) == '%s = STRING: "172.16.0.9"\n' % ip
    assert "STRING" in snmpd.set(P + ".3.1.1.3.2", "s", "carol")
    assert "STRING" in snmpd.set(P + ".3.1.1.4.2", "s", "pass word")
    assert "INTEGER: 2222" in snmpd.set(P + ".5.1.1.6.1", "i", "2222")
    assert "notWritable" in snmpd.set(P + ".5.1.1.6.2", "i", "70000")
    assert "notWritable" in snmpd.set(P + ".4.1", "s", "x")
    saved = unit.config()
    assert [saved[k] for k in ("hostname", "location", "ip", "numusers", "user_0_name",
                               "user_0_pass", "sshdPort", "httpPort")] == [
        "rack 4 unit", "61 0a 62", str(0xAC100009), "1", "carol", "pass word", "2222", "80"]
    assert snmpd.client("snmpget", P + ".3.1.1.3.2", P + ".3.1.1.2.3").splitlines() == [
        '%s.3.1.1.3.2 = STRING: "carol"' % P, "%s.3.1.1.2.3 = INTEGER: 4" % P]


def test_status_without_the_screen_file(snmpd, unit):
    # The reason goes to the log: snmpd reads the agent's standard error as
    # part of its answers.
    os.unlink(unit.path("/var/screen.bin"))
    assert [v for o, v in snmpd.walk(P + ".2")] == [
        "INTEGER: 0", "INTEGER: 0", "INTEGER: 1", "INTEGER: 1", 'STRING: "0x0 @ 0Hz"']
    snmpd.close()
    assert (0x83, "read /var/screen.bin: No such file or directory") in unit.log()


def test_walks_from_anywhere_keep_increasing(snmpd):
    whole = snmpd.walk(P)
    assert len(whole) == 388
    # Starts that name no table instance, one at each subtree, and each
    # subtree whole: every walk is the part of the whole one below it.
    for start in [".1.2", ".3.2", ".5.2", ".1.1.2", ".2.5.2"] + [".%d" % n for n in range(7)]:
        below = [v for v in whole if v[0].startswith(P + start + ".")]
        walked = snmpd.walk(P + start)
        # Nothing below: the client shows what a get of the start answers.
        assert walked == below or not below and len(walked) == 1, start
    # A walk step from them answers the first instance after them.
    nexts = snmpd.run("snmpgetnext", P + ".1.2", P + ".3.2", P + ".5.2")
    assert [o for o, v in varbinds(*nexts)] == [P + ".2.1", P + ".4.1", P + ".5.2"]


def test_a_value_with_control_characters_reads_back_exactly(snmpd, unit):
    value = "two\nlines\tand caf\udce9"
    unit.unitcfg("set", "location=" + value)
    stored = os.fsencode(value)
    walked = snmpd.walk(P + ".1.1.1.3", options=["-Ox"])
    assert [o for o, v in walked] == [P + ".1.1.1.3.%d" % r for r in range(1, 87)]
    assert octets(walked[32][1]) == stored
    # The answers after it are those of the rows after it.
    assert [octets(v) for o, v in walked[31:35:2]] == [b"unit", b""]
    got = snmpd.get(P + ".1.1.1.3.33", P + ".1.1.1.2.34", options=["-Ox"])
    assert [(o, octets(v)) for o, v in got] == [
        (P + ".1.1.1.3.33", stored), (P + ".1.1.1.2.34", b"contact")]


def test_an_over_long_set_is_refused_and_the_pipe_stays_in_step(snmpd, unit):
    binary = " ".join("%02x" % (i * 7 % 256) for i in range(2000))
    assert "notWritable" in snmpd.set(P + ".1.1.1.3.33", "x", binary)
    assert unit.config()["location"] == ""
    # The next hundred requests, each answered by its own answer.
    oids = [P + ".1.1.1.%d.%d" % (c, r) for c in (2, 1) for r in range(1, 87)][:100]
    expected = [string(k) for k in KEYS] + ["INTEGER: %d" % r for r in range(14)]
    got = []
    for i in range(0, 100, 25):
        got += snmpd.get(*oids[i:i + 25])
    assert got == list(zip(oids, expected))
