"""The SNMP agent's user table, service port table, unit status, actions and
identity, over pipes."""
import os
import select
import subprocess

import pytest

from snmp_agent import P, Agent, answer
from unit import open_pty

FAKE_CLOCK = r"""
#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>
/* The agent's clock, from the seconds the test writes to /var/fake_clock. */
time_t time(time_t *out) {
  char text[32] = {0};
  int fd = open("/var/fake_clock", O_RDONLY);
  if (fd >= 0) { if (read(fd, text, sizeof text - 1) < 0) text[0] = 0; close(fd); }
  time_t now = strtol(text, NULL, 10);
  if (out) *out = now;
  return now;
}
"""


def walk(agent, subtree):
    """Answers of getnext from prefix.subtree up to the first answer outside
    it (returned last)."""
    answers = [agent.next(subtree)]
    while answers[-1].startswith(P + subtree + "."):
        answers.append(agent.next(answers[-1].split("\n")[0][len(P):]))
    return answers


def test_user_table_of_a_unit_without_accounts(unit):
    agent = Agent(unit)
    values = [(0, 1), (5, 4), ("admin", ""), ("*", "*"), (2, 1), (1, 1)]
    expected = [answer(".3.1.1.%d.%d" % (c, r), "string" if c in (3, 4) else "integer",
                       values[c - 1][r - 1]) for c in range(1, 7) for r in (1, 2)]
    assert walk(agent, ".3") == expected + [answer(".4.1", "string", "3.4.1 build 2042 "
                                                   "(simulated unit)")]
    assert agent.get(".3.1.1.1.0") == answer(".3.1.1.1.0", "integer", "-1")
    assert agent.get(".3.1.1.3.0") == answer(".3.1.1.3.0", "string", "admin")
    assert agent.next(".3.1.1.1.0") == answer(".3.1.1.1.1", "integer", "0")
    assert agent.get(".3.1.1.1.3") == "NONE\n"
    assert agent.close() == (0, b"")
    log = [m for p, m in unit.log()]
    assert log.count("doUser failed.") == 2
    assert "SNMP: doUsers: oid='1.1.6.2' (6,2) next=1 value=(GET)" in log
    assert "SNMP: doUsers: returning oid='%s.3.1.1.6.2' (6,2)" % P in log


def test_user_accounts_through_the_table(unit):
    agent = Agent(unit)
    assert agent.set(".3.1.1.2.2", "integer 2") == "success\n"   # create on the spare row
    assert agent.get(".3.1.1.2.2") == answer(".3.1.1.2.2", "integer", "1")
    assert agent.get(".3.1.1.2.3") == answer(".3.1.1.2.3", "integer", "4")
    assert agent.set(".3.1.1.3.3", 'string "bob"') == "success\n"
    assert agent.set(".3.1.1.4.2", "string pw0") == "success\n"
    assert agent.set(".3.1.1.3.2", "string alice") == "success\n"
    saved = unit.config()
    assert (saved["numusers"], saved["user_0_name"], saved["user_0_pass"],
            saved["user_1_name"], saved["user_1_pass"]) == ("2", "alice", "pw0", "bob", "NONE")
    assert agent.set(".3.1.1.6.2", "integer 3") == "success\n"
    assert agent.get(".3.1.1.6.2") == answer(".3.1.1.6.2", "integer", "3")
    assert "user_0_class" not in unit.config()    # a class alone is not saved
    assert agent.set(".3.1.1.2.3", "integer 3") == "success\n"   # delete bob
    assert agent.get(".3.1.1.2.3") == answer(".3.1.1.2.3", "integer", "4")
    assert agent.set(".3.1.1.2.2", "integer 5") == "success\n"   # no change
    assert agent.set(".3.1.1.4.1", "string root1") == "success\n"
    assert agent.set(".3.1.1.4.0", "string root0") == "success\n"
    for oid, value in [(".3.1.1.2.1", "integer 2"), (".3.1.1.2.0", "integer 3"),
                       (".3.1.1.1.2", "integer 1"), (".3.1.1.5.2", "integer 1"),
                       (".3.1.1.3.5", "string x"), (".3.1.1.3", "string x"),
                       (".3.1.1.7.2", "string x"), (".3.1.1.0.2", "string x")]:
        assert agent.set(oid, value) == "not-writable\n", oid
    assert agent.close() == (0, b"")
    saved = unit.config()
    assert (saved["numusers"], saved["user_0_name"], saved["user_0_class"],
            saved["passwd"]) == ("2", "alice", "2", "root0")
    assert not any(k.startswith("user_1_") for k in saved)
    assert [m for p, m in unit.log()].count("doUser failed.") == 8


def test_service_port_table(unit):
    agent = Agent(unit)
    assert agent.set(".5.1.1.6.1", "integer 222") == "success\n"
    assert agent.get(".5.1.1.6.1") == answer(".5.1.1.6.1", "integer", "222")
    assert agent.set(".5.1.1.6.0", "integer 2222") == "success\n"   # row 0 is row 1
    assert agent.set(".5.1.1.6.2", "integer 65535") == "success\n"
    assert agent.set(".5.1.1.6.8", "integer 0") == "success\n"
    for row, number in [(3, "65536"), (3, "-1"), (13, "81"), (16, "81")]:
        assert agent.set(".5.1.1.6.%d" % row, "integer " + number) == "not-writable\n"
    assert agent.get(".5.1.1.6.13") == answer(".5.1.1.6.13", "integer", "80")
    assert agent.get(".5.1.1.1.16") == "NONE\n"
    assert agent.next(".5.1.1.1.15") == answer(".5.1.1.2.1", "integer", "1")
    assert [agent.get(".5.1.1.3.%d" % r).split("\n")[2] for r in range(1, 16)] == \
        ["2" if r in (3, 14) else "1" for r in range(1, 16)]
    answers = walk(agent, ".5")
    assert (len(answers), answers[-1]) == (106, "NONE\n")
    assert answers[-2] == answer(".5.1.1.7.15", "integer", "5900")
    assert agent.close() == (0, b"")
    saved = unit.config()
    assert (saved["sshdPort"], saved["httpPort"], saved["http2Port"], saved["snmpPort"]) == \
        ("2222", "65535", "0", "161")
    log = [m for p, m in unit.log()]
    assert log.count("doPortNumber failed.") == 6
    assert log[-2:] == ["SNMP: doPortNumber: oid='1.1.7.15' (7,15) next=1 value=(GET)",
                        "doPortNumber failed."]
    assert "SNMP: doPortNumber: oid='1.1.6.2' (6,2) next=0 value=65535" in log


def test_status_list(unit):
    unit.set_screen(status=3, state=6)
    agent = Agent(unit)
    assert agent.get(".2") == agent.get(".2.0") == answer(".2.1", "integer", "0")
    assert agent.get(".2.2") == answer(".2.2", "integer", "0")
    assert agent.get(".2.3") == answer(".2.3", "integer", "7")
    assert agent.get(".2.4") == answer(".2.4", "integer", "4")
    assert agent.get(".2.5") == answer(".2.5", "string", "DPMS Standby")
    assert agent.get(".2.6") == "NONE\n"
    assert agent.next(".2.5") == answer(".3.1.1.1.1", "integer", "0")
    agent.close()
    unit.set_screen(status=0, width=1024, height=768, refresh=60)
    agent = Agent(unit)
    assert agent.get(".2.5") == answer(".2.5", "string", "1024x768 @ 60Hz")
    assert agent.close() == (0, b"")


@pytest.fixture
def clock(unit, tmp_path):
    """Sets the agent's clock; the agent must be started with clock.env."""
    subprocess.run(["gcc", "-shared", "-fPIC", "-x", "c", "-o",
                    str(unit.path("/var/fake_clock.so")), "-"],
                   input=FAKE_CLOCK.encode(), check=True)

    def set_clock(seconds):
        unit.path("/var/fake_clock").write_text(str(seconds))
    set_clock.env = {"LD_PRELOAD": "/var/fake_clock.so"}
    return set_clock


def test_status_file_is_read_at_most_once_in_ten_seconds(unit, clock):
    clock(1000)
    unit.set_screen(status=1)
    agent = Agent(unit, env=clock.env)
    video = lambda: agent.get(".2.4").split("\n")[2]  # noqa: E731
    assert video() == "2"
    unit.set_screen(status=2)
    clock(1009)
    assert video() == "2"
    clock(1010)
    assert video() == "3"
    unit.set_screen(status=4)
    clock(1019)
    assert video() == "3"
    # Missing: zeros for the next 10 seconds, and the reason on standard error.
    os.unlink(unit.path("/var/screen.bin"))
    clock(1020)
    assert [agent.get(".2.%d" % i).split("\n")[2] for i in (3, 4, 5)] == ["1", "1", "0x0 @ 0Hz"]
    # A short file leaves the rest of the record as it was.
    unit.set_screen(status=0, refresh=75, width=800, height=600, state=4)
    clock(1030)
    assert agent.get(".2.5") == answer(".2.5", "string", "800x600 @ 75Hz")
    unit.set_screen(status=0, refresh=60, width=1, height=1, state=9, size=44)
    clock(1040)
    assert agent.get(".2.5") == answer(".2.5", "string", "800x600 @ 60Hz")
    assert agent.get(".2.3") == answer(".2.3", "integer", "5")
    assert agent.close() == (0, b"read /var/screen.bin: No such file or directory\n")


def test_identity_list(unit):
    unit.set_identity(serial=0x5002A)
    agent = Agent(unit)
    assert agent.get(".4.2") == answer(".4.2", "string", "000042")
    assert agent.get(".4.3") == answer(".4.3", "octet", "02 00 5e 10 00 01.")
    assert agent.get(".4.4") == answer(".4.4", "string", "Remote Console Appliance")
    assert agent.get(".4.6") == answer(".4.6", "string", "Simulated unit")
    assert agent.get(".4.7") == answer(".4.7", "string", "sorry, not supported anymore")
    with open("/proc/version") as f:
        assert agent.get(".4.8") == answer(".4.8", "string", f.readline().rstrip("\n"))
    assert agent.get(".4") == agent.get(".4.0") == agent.get(".4.9") == "NONE\n"
    assert agent.next(".4") == answer(".4.1", "string", "3.4.1 build 2042 (simulated unit)")
    assert agent.next(".4.8") == answer(".5.1.1.1.1", "integer", "1")
    agent.close()
    unit.set_identity(serial=0xFFFF)
    assert Agent(unit).get(".4.2") == answer(".4.2", "string", "065535")


def test_reboot_restarts_the_unit_after_answering(unit):
    agent = Agent(unit, caps=["CAP_SYS_BOOT"])
    assert agent.set(".2.1", "integer 4321") == "not-writable\n"
    assert agent.set(".2.2", "integer 1234") == "not-writable\n"
    assert agent.set(".2.1", "integer 1234") == "success\n"
    assert agent.get(".4.7").endswith("sorry, not supported anymore\n")
    # The child restarts the sandbox's machine: its first process ends by SIGHUP.
    assert agent.proc.wait(30) == 129
    reboots = [m for p, m in unit.log() if "via SNMP" in m]
    assert reboots == ["System reboot via SNMP request."]


def test_warm_restart_runs_the_network_script_on_the_console(unit):
    master, slave, console = open_pty(raw=True)
    unit.set_stub("rc.network", stdout="network up\n")
    agent = Agent(unit, binds=[(console, "/dev/console")])
    assert agent.set(".2.2", "integer 4321") == "success\n"
    seen = b""
    while b"network up\n" not in seen:
        ready, _, _ = select.select([master], [], [], 30)
        assert ready, "the network script did not run"
        seen += os.read(master, 100)
    assert agent.close() == (0, b"")
    os.close(master)
    os.close(slave)
    [call] = unit.calls("rc.network")
    assert call["argv"] == ["/etc/rc.network"] and call["fds"] == [0, 1, 2]
    assert len({call["targets"][fd] for fd in "012"}) == 1
    assert (0x85, "Warm restart via SNMP request.") in unit.log()
