"""The unit as Prometheus sees it: the shipped snmp_exporter configuration
(examples/prometheus) scraping a simulated unit through tools/snmpd-unit,
and the checks of the shipped Prometheus files."""
import subprocess
import sys
import time

import pytest

from snmp_agent import P, Snmpd
from test_snmp_snmpd import PORTS
from unit import ROOT

sys.path.insert(0, str(ROOT / "tools"))
import monitoring  # noqa: E402

EXAMPLES = ROOT / "examples/prometheus"
SNMP_YML = str(EXAMPLES / "snmp.yml")
# What a scrape may hold besides the exporter's own snmp_scrape_* series.
METRICS = {"rcsScreenState", "rcsVideoStatus", "rcsVideoMode", "rcsUserStatus", "rcsUserClass",
           "rcsFirmwareVersion", "rcsSerialNumber", "rcsMacAddress", "rcsProductName",
           "rcsProductText2", "rcsProductText3", "rcsKernelVersion", "rcsPortNumber",
           "rcsPortDefault", "rcsConfigValue"}
VIDEO_STATES = ["picture", "noSignal", "badMode", "dpmsStandby", "dpmsPowerDown", "noPower",
                "unstableVideo", "viewingDenied"]
# Values a unit holds that no scrape may carry.
SECRETS = dict(radiusSecret1="radius-s3cret", radiusSecret3="radius-3-s3cret",
               dyndnsUsername="dyn-account", dyndnsPasswd="dyn-s3cret",
               ipmisPassword="ipmi-s3cret", snmpROCommunity="ro-community-word",
               snmpRWCommunity="rw-community-word", snmpTrapCommunity="trap-community-word")


def rcs(found):
    """{(name, labels without the row index): value} of the unit's own series."""
    return {(n, tuple(l for l in ls if l[0] not in ("rcsUserRow", "rcsPortRow"))): v
            for (n, ls), v in found.items() if n.startswith("rcs")}


def value(found, name, **labels):
    """The value of the one series of name whose labels include these."""
    hits = [v for (n, ls), v in found.items()
            if n == name and set(labels.items()) <= set(ls)]
    assert len(hits) == 1, (name, labels, hits)
    return hits[0]


def test_snmp_yml_is_what_the_generator_writes(tmp_path):
    fresh = tmp_path / "snmp.yml"
    r = subprocess.run([str(ROOT / "tools/prometheus-snmp"), str(fresh)],
                       capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    assert fresh.read_text() == (EXAMPLES / "snmp.yml").read_text(), \
        "examples/prometheus/snmp.yml is stale: `make prometheus-snmp` writes it anew"


def test_prometheus_files_check_and_the_rule_tests_pass():
    for argv in (["check", "config", "prometheus.yml"], ["test", "rules", "rules_test.yml"]):
        r = subprocess.run(["promtool", *argv], cwd=EXAMPLES, capture_output=True, text=True)
        assert r.returncode == 0 and "SUCCESS" in r.stdout, r.stdout + r.stderr
    # The exporter takes snmp.yml as it is.
    r = subprocess.run([monitoring.EXPORTER, "--dry-run", "--config.file=" + SNMP_YML],
                       capture_output=True, text=True)
    assert r.returncode == 0, r.stderr


@pytest.fixture
def watched(unit):
    """(snmpd, exporter): the unit behind tools/snmpd-unit with the shipped
    words, and the exporter with the shipped snmp.yml."""
    unit.set_config(numusers=1, user_0_name="alice", user_0_pass="alice-s3cret",
                    hostname="kvm-a1", location="rack 4", **SECRETS)
    snmpd = monitoring.start_snmpd(str(unit.dir))
    try:
        exporter = monitoring.start_exporter(SNMP_YML)
    except Exception:
        snmpd.stop()
        raise
    yield snmpd, exporter
    exporter.stop()
    snmpd.stop()


def scrape(watched, module="remote_console"):
    snmpd, exporter = watched
    status, text = monitoring.scrape(exporter, snmpd.address, module)
    assert status == 200, text
    return text, monitoring.samples(text)


def test_a_scrape_shows_the_unit_as_documented_and_nothing_secret(watched, unit, tmp_path):
    text, found = scrape(watched)
    assert {n for n, _ in found if not n.startswith("snmp_scrape_")} == METRICS
    for word in list(SECRETS.values()) + ["alice-s3cret", monitoring.WRITE_WORD,
                                          *monitoring.V3_LOGIN[1:]]:
        assert word not in text
    # The video input: one state set, the mode as a label.
    assert [value(found, "rcsVideoStatus", rcsVideoStatus=s) for s in VIDEO_STATES] == \
        [1] + [0] * 7
    assert value(found, "rcsVideoMode", rcsVideoMode="1024x768 @ 60Hz") == 1
    assert value(found, "rcsScreenState") == 1
    # Of the configuration, the hostname and the location rows only.
    assert {dict(ls)["rcsConfigRow"]: dict(ls)["rcsConfigValue"]
            for (n, ls), v in found.items() if n == "rcsConfigValue"} == \
        {"32": "kvm-a1", "33": "rack 4"}
    # Identity: a series each, the text as its label.
    with open("/proc/version") as f:
        kernel = f.readline().rstrip("\n")
    for name, text_ in [("rcsFirmwareVersion", "3.4.1 build 2042 (simulated unit)"),
                        ("rcsSerialNumber", "022136"), ("rcsMacAddress", "02:00:5E:10:00:01"),
                        ("rcsKernelVersion", kernel),
                        ("rcsProductName", "Remote Console Appliance")]:
        assert value(found, name, **{name: text_}) == 1
    # Accounts: status by row, with name and kind (2 administrator).
    users = {(dict(ls)["rcsUserRow"], dict(ls)["rcsUserName"], dict(ls)["rcsUserKind"]): v
             for (n, ls), v in found.items() if n == "rcsUserStatus"}
    assert users == {("1", "admin", "2"): 5, ("2", "alice", "1"): 1, ("3", "", "1"): 4}
    # Service ports: number and factory number, described by labels.
    for name in ("rcsPortNumber", "rcsPortDefault"):
        rows = {dict(ls)["rcsPortRow"]: (dict(ls)["rcsPortSide"], dict(ls)["rcsPortService"],
                                         dict(ls)["rcsPortDescription"], v)
                for (n, ls), v in found.items() if n == name}
        assert rows == {str(r): (str(p[0]), p[2], p[3], p[4]) for r, p in
                        enumerate(PORTS, 1)}
    # The SNMPv3 module walks the same through the snippet's user.
    _, found_v3 = scrape(watched, "remote_console_v3")
    assert rcs(found_v3) == rcs(found)


def test_a_change_on_the_unit_shows_in_the_next_scrape(watched, unit, tmp_path):
    snmpd, _ = watched
    _, before = scrape(watched)
    first = time.monotonic()
    assert value(before, "rcsPortNumber", rcsPortRow="10") == 0
    unit.set_screen(status=1)
    r = subprocess.run(["snmpset", "-v2c", "-c", monitoring.WRITE_WORD, "-t", "60", "-r", "0",
                        snmpd.address, P + ".5.1.1.6.10", "i", "8443"],
                       env=Snmpd.tool_env(tmp_path / "client"), capture_output=True, text=True)
    assert r.returncode == 0, r.stdout + r.stderr
    # The agent reads the status file at most once in 10 s: the scrape
    # after that, as the next one of a 10-second scrape interval, shows it.
    time.sleep(max(0.0, first + 10.5 - time.monotonic()))
    _, after = scrape(watched)
    assert [value(after, "rcsVideoStatus", rcsVideoStatus=s) for s in VIDEO_STATES] == \
        [0, 1] + [0] * 6
    assert value(after, "rcsVideoMode", rcsVideoMode="No signal") == 1
    assert value(after, "rcsPortNumber", rcsPortRow="10", rcsPortService="https",
                 rcsPortSide="2") == 8443
    assert value(after, "rcsPortDefault", rcsPortRow="10") == 0
    assert unit.get("https2Port") == "8443"


def test_a_unit_that_does_not_answer_fails_the_scrape(watched):
    snmpd, exporter = watched
    scrape(watched)
    snmpd.stop()
    # Prometheus takes the error status as the unit being down (up 0).
    status, _ = monitoring.scrape(exporter, snmpd.address)
    assert status == 500


def test_a_prometheus_server_with_the_shipped_files_watches_the_unit(watched, tmp_path):
    snmpd, exporter = watched
    config = monitoring.prometheus_config(str(tmp_path), exporter, 1, [snmpd.address])
    server = monitoring.start_prometheus(config, str(tmp_path / "data"))
    try:
        # The relabelling keeps the unit's address as instance; the rules
        # join its identity into one series.
        info = monitoring.wait_until(lambda: monitoring.query(server, "rcs:unit_info"), 60)
        assert info, server.log()
        labels = info[0]["metric"]
        assert (labels["instance"], labels["job"], labels["group"]) == \
            (snmpd.address, "remote-console", "fleet")
        assert [labels[k] for k in ("rcsSerialNumber", "rcsMacAddress", "rcsVideoMode",
                                    "hostname", "location")] == \
            ["022136", "02:00:5E:10:00:01", "1024x768 @ 60Hz", "kvm-a1", "rack 4"]
        https = {r["metric"]["rcsPortSide"]: r["value"][1] for r in monitoring.query(
            server, 'rcs:port_enabled{rcsPortService="https"}')}
        assert https == {"1": "1", "2": "0"}   # on the LAN port, off on the WAN port
        # The exporter's own job, and nothing firing on a healthy unit.
        # (scraped on a schedule of its own: it may come after the unit's)
        assert monitoring.wait_until(
            lambda: monitoring.query(server, 'up{job="snmp-exporter"} == 1'), 60)
        assert monitoring.alerts(server) == []
    finally:
        server.stop()
