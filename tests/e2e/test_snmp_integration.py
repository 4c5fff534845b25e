"""What an integrator meets around the agent: the shipped snippet's SNMPv3
user, the snippet dropped into a stock Debian snmpd configuration, and
tools/snmpd-unit, which serves the simulated unit the way README shows."""
import os
import select
import signal
import socket
import subprocess
import time

import pytest

from snmp_agent import P, V3, Agent, Snmpd, varbinds
from unit import PY, ROOT

# The directives of Debian 12's stock /etc/snmp/snmpd.conf, without its
# agentaddress (the test's port is given on the command line) and its
# "master agentx" (a socket under /var).
DEBIAN_STOCK = """\
sysLocation    Sitting on the Dock of the Bay
sysContact     Me <me@example.org>
sysServices    72
view   systemonly  included   .1.3.6.1.2.1.1
view   systemonly  included   .1.3.6.1.2.1.25.1
rocommunity  public default -V systemonly
rocommunity6 public default -V systemonly
rouser authPrivUser authpriv -V systemonly
includeDir DIR
"""


@pytest.fixture
def snmpd_v3(unit, tmp_path):
    d = Snmpd(unit, tmp_path, v3=True)
    yield d
    d.close()


def v3_client(snmpd, tool, *args, level="authPriv", auth=V3["CHOOSE-AN-AUTH-PASSPHRASE"]):
    r = subprocess.run([tool, "-v3", "-l", level, "-u", V3["CHOOSE-A-USER"],
                        "-a", "SHA", "-A", auth, "-x", "AES", "-X",
                        V3["CHOOSE-A-PRIV-PASSPHRASE"], "-On", "-t", "60", "-r", "0",
                        "127.0.0.1:%d" % snmpd.port, *args], env=snmpd.env,
                       capture_output=True, text=True, errors="replace", timeout=900)
    return r.stdout + r.stderr


def test_v3_user_walks_and_sets_within_the_view_only(snmpd_v3, unit):
    walked = snmpd_v3.walk(P, community=None)
    # The same tree as a community sees: 86 keys x 3 and the rest.
    assert len(walked) == 388
    assert walked[0] == (P + ".1.1.1.1.1", "INTEGER: 0")
    out = v3_client(snmpd_v3, "snmpset", P + ".1.1.1.3.33", "s", "rack 9")
    assert out == '%s.1.1.1.3.33 = STRING: "rack 9"\n' % P
    assert unit.config()["location"] == "rack 9"
    # Nothing outside the view, even under the same user.
    out = v3_client(snmpd_v3, "snmpget", ".1.3.6.1.2.1.1.1.0")
    assert "No Such Object" in out
    # The user must sign and encrypt: less is refused, as is a wrong key.
    assert "authorizationError" in v3_client(snmpd_v3, "snmpget", P + ".4.7",
                                             level="authNoPriv")
    assert "Authentication failure" in v3_client(snmpd_v3, "snmpget", P + ".4.7",
                                                 auth="wrong phrase")
    assert unit.config()["location"] == "rack 9"


def test_snippet_as_shipped_has_no_v3_user_and_no_working_words(snmpd):
    assert "Unknown user name" in v3_client(snmpd, "snmpget", P + ".4.7")
    text = (ROOT / "examples/snmpd.conf").read_text()
    active = [line.split() for line in text.splitlines()
              if line.strip() and not line.startswith("#")]
    communities = [w[1] for w in active if w[0] in ("rocommunity", "rwcommunity")]
    assert len(communities) == 2 and all(w.startswith("CHOOSE-") for w in communities)


def test_drop_in_beside_debians_stock_configuration(unit, tmp_path):
    # The stock file keeps `public` for its system view; the snippet's own
    # words reach the subtree, and each sees only its own view.
    words = {"CHOOSE-A-READ-WORD": "lab-read", "CHOOSE-A-WRITE-WORD": "lab-write"}
    d = Snmpd(unit, tmp_path, words=words, stock=DEBIAN_STOCK)
    try:
        assert len(d.walk(P, community="lab-read")) == 388
        assert "STRING" in d.client("snmpset", P + ".1.1.1.3.34", "s", "ops",
                                    community="lab-write")
        assert unit.config()["contact"] == "ops"
        assert d.client("snmpget", ".1.3.6.1.2.1.1.6.0", community="public") == \
            '.1.3.6.1.2.1.1.6.0 = STRING: "Sitting on the Dock of the Bay"\n'
        assert "No Such Object" in d.client("snmpget", P + ".4.7", community="public")
        assert "No Such Object" in d.client("snmpget", ".1.3.6.1.2.1.1.6.0",
                                            community="lab-read")
    finally:
        d.close()


# tools/snmpd-unit, started as README starts it.

def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_tool(unit, port, *extra):
    # A session of its own, as a shell's job would be: the test's signals
    # reach it the way a terminal's would.
    return subprocess.Popen([PY, str(ROOT / "tools/snmpd-unit"), "-d", str(unit.dir),
                             "--port", str(port), *extra], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, start_new_session=True)


def first_line(proc):
    ready = select.select([proc.stdout], [], [], 120)[0]
    assert ready, "snmpd-unit printed nothing"
    return proc.stdout.readline()


def processes_of(unit_dir):
    """Pids of processes whose command line names the unit directory."""
    found = []
    for pid in os.listdir("/proc"):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if os.fsencode(str(unit_dir)) in f.read():
                    found.append(int(pid))
        except (OSError, ValueError):
            continue
    return found


def gone(unit_dir, seconds=20):
    deadline = time.monotonic() + seconds
    while processes_of(unit_dir) and time.monotonic() < deadline:
        time.sleep(0.1)
    return processes_of(unit_dir) == []


@pytest.mark.parametrize("how", [signal.SIGINT, signal.SIGTERM], ids=["ctrl-c", "sigterm"])
def test_snmpd_unit_serves_the_unit_and_stops_cleanly(unit, tmp_path, how):
    port = free_port()
    proc = start_tool(unit, port, "--v3", "operator", "authphrase1", "privphrase2")
    try:
        line = first_line(proc)
        assert "udp:127.0.0.1:%d" % port in line, line + proc.stderr.read()
        env = Snmpd.tool_env(tmp_path / "client")
        os.makedirs(tmp_path / "client/cert_indexes")   # or the client says it made it

        v2c = ("-v2c", "-c", "public")
        v3 = ("-v3", "-l", "authPriv", "-u", "operator", "-a", "SHA", "-A", "authphrase1",
              "-x", "AES", "-X", "privphrase2")

        def client(tool, who, *args):
            r = subprocess.run([tool, *who, "-On", "-t", "60", "-r", "0",
                                "127.0.0.1:%d" % port, *args], env=env,
                               capture_output=True, text=True)
            return [v for v in varbinds(r.stdout, r.stderr) if "past the end" not in v[1]]
        assert len(client("snmpwalk", v2c, P)) == 388
        assert client("snmpset", ("-v2c", "-c", "private"), P + ".1.1.1.3.32", "s", "u9") == [
            (P + ".1.1.1.3.32", 'STRING: "u9"')]
        assert client("snmpget", v3, P + ".1.1.1.3.32") == [(P + ".1.1.1.3.32", 'STRING: "u9"')]
        assert unit.config()["hostname"] == "u9"
        os.killpg(proc.pid, how)
        assert proc.wait(30) == 0, proc.stderr.read()
        assert proc.stderr.read() == ""
        # snmpd and the unit's agent with it.
        assert gone(unit.dir), processes_of(unit.dir)
    finally:
        if proc.poll() is None:
            proc.terminate()
            proc.wait(30)


def test_snmpd_unit_says_when_the_port_is_taken(unit):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as taken:
        taken.bind(("127.0.0.1", 0))
        proc = start_tool(unit, taken.getsockname()[1])
        out, err = proc.communicate(timeout=120)
    assert proc.returncode == 1 and out == ""
    assert "is taken: choose another with --port" in err
    assert gone(unit.dir)


def test_snmpd_unit_refuses_words_snmpd_would_misread(unit):
    proc = start_tool(unit, free_port(), "--read", "two words")
    out, err = proc.communicate(timeout=60)
    assert proc.returncode == 2 and "without blanks" in err
    proc = start_tool(unit, free_port(), "--v3", "op", "short", "longenough")
    out, err = proc.communicate(timeout=60)
    assert proc.returncode == 2 and "at least 8" in err


# The MIB module as a manager uses it.

def mib_args():
    r = subprocess.run([str(ROOT / "tools/base-mibs")], capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    return ("-M", "%s:%s" % (r.stdout.strip(), ROOT / "mibs"), "-m", "REMOTE-CONSOLE-SETUP-MIB")


def test_actions_are_set_by_name(snmpd, unit):
    names = mib_args()
    assert snmpd.client("snmpget", "rcsReboot", "rcsNetworkRestart", names=names) == (
        "REMOTE-CONSOLE-SETUP-MIB::rcsReboot = INTEGER: 0\n"
        "REMOTE-CONSOLE-SETUP-MIB::rcsNetworkRestart = INTEGER: 0\n")
    assert snmpd.client("snmpset", "rcsNetworkRestart", "i", "restart", community="private",
                        names=names) == \
        "REMOTE-CONSOLE-SETUP-MIB::rcsNetworkRestart = INTEGER: restart(4321)\n"
    # Without CAP_SYS_BOOT the unit's reboot goes nowhere; the request is
    # what counts here.
    assert snmpd.client("snmpset", "rcsReboot", "i", "reboot", community="private",
                        names=names) == "REMOTE-CONSOLE-SETUP-MIB::rcsReboot = INTEGER: reboot(1234)\n"
    snmpd.close()
    assert [m for p, m in unit.log() if "via SNMP" in m] == [
        "Warm restart via SNMP request.", "System reboot via SNMP request."]


def test_configuration_table_description_names_every_row_as_served(unit):
    text = (ROOT / "mibs/REMOTE-CONSOLE-SETUP-MIB.txt").read_text()
    described = text.split("Row and key:", 1)[1].split('"', 1)[0]
    listed = [item.split() for item in described.replace("\n", " ").rstrip(". ").split(",")]
    agent = Agent(unit)
    served = [a.split("\n")[2] for a in agent.walk(".1.1.1.2")[:-1]]
    agent.close()
    assert listed == [[str(n), key] for n, key in enumerate(served, 1)]
