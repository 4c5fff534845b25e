"""The agent under a real Net-SNMP snmpd, used as a manager would use it."""
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
