"""The SNMP agent's user and port tables, unit status and actions, over pipes."""
import os
import select
import subprocess

import pytest

from snmp_agent import P, Agent, answer
from unit import open_pty

FAKE_CLOCK = r"""
#include <stdio.h>
#include <time.h>
/* The agent's clock: the seconds the test writes to /var/fake_clock. */
time_t time(time_t *out) {
  long t = 0;
  FILE *f = fopen("/var/fake_clock", "r");
  if (f) { if (fscanf(f, "%ld", &t) != 1) t = 0; fclose(f); }
  if (out) *out = t;
  return t;
}
"""


def test_user_accounts_through_the_table(unit):
    agent = Agent(unit)
    assert len(agent.walk(".3")) == 6 * 2 + 1   # administrator and spare row
    assert agent.get(".3.1.1.1.0") == answer(".3.1.1.1.0", "integer", "-1")
    assert agent.get(".3.1.1.3.0") == answer(".3.1.1.3.0", "string", "admin")
    assert agent.next(".3.1.1.1.0") == answer(".3.1.1.1.1", "integer", "0")
    assert agent.set(".3.1.1.2.2", "integer 2") == "success\n"   # create on the spare row
    assert agent.get(".3.1.1.2.3") == answer(".3.1.1.2.3", "integer", "4")
    assert agent.set(".3.1.1.3.3", 'string "bob"') == "success\n"
    assert agent.set(".3.1.1.4.2", "string pw0") == "success\n"
    assert agent.set(".3.1.1.3.2", "string alice") == "success\n"
    saved = unit.config()
    assert [saved[k] for k in ("numusers", "user_0_name", "user_0_pass", "user_1_name",
                               "user_1_pass")] == ["2", "alice", "pw0", "bob", "NONE"]
    assert agent.set(".3.1.1.6.2", "integer 3") == "success\n"
    assert agent.get(".3.1.1.6.2") == answer(".3.1.1.6.2", "integer", "3")
    assert "user_0_class" not in unit.config()    # a class alone is not saved
    assert agent.set(".3.1.1.2.3", "integer 3") == "success\n"   # delete bob
    assert agent.get(".3.1.1.2.3") == answer(".3.1.1.2.3", "integer", "4")
    assert agent.set(".3.1.1.2.2", "integer 5") == "success\n"   # no change
    assert agent.set(".3.1.1.4.0", "string root0") == "success\n"
    for oid, value in [(".3.1.1.2.1", "integer 2"), (".3.1.1.2.0", "integer 3"),
                       (".3.1.1.1.2", "integer 1"), (".3.1.1.5.2", "integer 1"),
                       (".3.1.1.3.5", "string x"), (".3.1.1.3", "string x"),
                       (".3.1.1.7.2", "string x"), (".3.1.1.0.2", "string x")]:
        assert agent.set(oid, value) == "not-writable\n", oid
    assert agent.close() == (0, b"")
    saved = unit.config()
    assert [saved[k] for k in ("numusers", "user_0_name", "user_0_class", "passwd")] == \
        ["2", "alice", "2", "root0"]
    assert not any(k.startswith("user_1_") for k in saved)
    log = [m for p, m in unit.log()]
    assert log.count("doUser failed.") == 1 + 8   # the end of the walk, the refusals
    assert "SNMP: doUsers: oid='1.1.3.3' (3,3) next=0 value=bob" in log
    assert "SNMP: doUsers: returning oid='%s.3.1.1.6.2' (6,2)" % P in log


def _crypt(password, setting):
    """The C library's crypt(3), through Python's module of it."""
    import warnings
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)
        import crypt
    return crypt.crypt(password, setting)


def test_accounts_file_holds_standard_hashes_however_large_numusers(unit):
    # numusers only bounds the slots: at its maximum a set still answers
    # at once, and the file lists the accounts that exist.
    unit.set_config(numusers=2147483647)
    passwords = {1: "x", 2: "pass word 31 characters long..", 3: "p" * 32,
                 4: "ümlaut " * 5 + "!", 5: "q" * 64 + "!", 6: "$5$rounds=1000$" + "z" * 200}
    agent = Agent(unit)
    assert agent.set(".3.1.1.4.1", 'string "%s"' % passwords[1]) == "success\n"
    for row in range(2, 7):
        assert agent.set(".3.1.1.3.%d" % row, "string user%d" % row) == "success\n"
        assert agent.set(".3.1.1.4.%d" % row, "string %s" % passwords[row]) == "success\n"
    assert agent.close() == (0, b"")
    lines = unit.path("/etc/unit/accounts").read_text().splitlines()
    assert [line.split(":")[:2] for line in lines] == \
        [["admin", "admin"]] + [["user%d" % row, "0"] for row in range(2, 7)]
    for row, line in enumerate(lines, 1):
        stored = line.split(":", 2)[2]
        assert stored.startswith("$5$rounds=5000$") and len(stored) == 75, stored
        assert _crypt(passwords[row], stored) == stored, row
        assert _crypt(passwords[row] + "x", stored) != stored


def test_service_port_table(unit):
    agent = Agent(unit)
    assert agent.set(".5.1.1.6.1", "integer 222") == "success\n"
    assert agent.get(".5.1.1.6.1") == answer(".5.1.1.6.1", "integer", "222")
    assert agent.set(".5.1.1.6.0", "integer 2222") == "success\n"   # row 0 is row 1
    assert agent.set(".5.1.1.6.2", "integer 65535") == "success\n"
    assert agent.set(".5.1.1.6.8", "integer 0") == "success\n"
    for row, number in [(3, "65536"), (3, "-1"), (13, "81"), (16, "81")]:
        assert agent.set(".5.1.1.6.%d" % row, "integer " + number) == "not-writable\n"
    assert agent.get(".5.1.1.1.16") == "NONE\n"
    assert agent.next(".5.1.1.1.15") == answer(".5.1.1.2.1", "integer", "1")
    answers = agent.walk(".5")
    assert (len(answers), answers[-1]) == (7 * 15 + 1, "NONE\n")
    assert agent.close() == (0, b"")
    saved = unit.config()
    assert [saved[k] for k in ("sshdPort", "httpPort", "http2Port", "snmpPort")] == \
        ["2222", "65535", "0", "161"]
    log = [m for p, m in unit.log()]
    assert log.count("doPortNumber failed.") == 6
    assert log[-2:] == ["SNMP: doPortNumber: oid='1.1.7.15' (7,15) next=1 value=(GET)",
                        "doPortNumber failed."]


@pytest.fixture
def clock(unit):
    """Sets the clock of an agent started with clock.env."""
    subprocess.run(["gcc", "-shared", "-fPIC", "-x", "c", "-o",
                    str(unit.path("/var/fake_clock.so")), "-"],
                   input=FAKE_CLOCK.encode(), check=True)

    def set_clock(seconds):
        unit.path("/var/fake_clock").write_text(str(seconds))
    set_clock.env = {"LD_PRELOAD": "/var/fake_clock.so"}
    return set_clock


def test_status_file_is_read_at_most_once_in_ten_seconds(unit, clock):
    clock(1000)
    unit.set_screen(status=3, state=6)
    agent = Agent(unit, env=clock.env)
    status = lambda: [agent.get(".2.%d" % i).split("\n")[2] for i in (3, 4, 5)]  # noqa: E731
    assert status() == ["7", "4", "DPMS Standby"]
    unit.set_screen(status=2)
    clock(1009)
    assert status() == ["7", "4", "DPMS Standby"]
    clock(1010)
    assert status() == ["1", "3", "Bad mode"]
    unit.set_screen(status=4)
    clock(1019)
    assert status() == ["1", "3", "Bad mode"]
    # Missing: zeros for the next 10 seconds, and the reason on standard error.
    os.unlink(unit.path("/var/screen.bin"))
    clock(1020)
    assert status() == ["1", "1", "0x0 @ 0Hz"]
    unit.set_screen(status=0, refresh=75, width=800, height=600, state=4)
    clock(1030)
    assert status() == ["5", "1", "800x600 @ 75Hz"]
    # A short file leaves the rest of the record as it was.
    unit.set_screen(status=0, refresh=60, width=1, height=1, state=9, size=44)
    clock(1040)
    assert status() == ["5", "1", "800x600 @ 60Hz"]
    assert agent.close() == (0, b"read /var/screen.bin: No such file or directory\n")


def test_reboot_restarts_the_unit_after_answering(unit):
    agent = Agent(unit, caps=["CAP_SYS_BOOT"])
    assert agent.set(".2.1", "integer 4321") == "not-writable\n"
    assert agent.set(".2.2", "integer 1234") == "not-writable\n"
    assert agent.set(".2.1", "integer 1234") == "success\n"
    assert agent.get(".4.7").endswith("sorry, not supported anymore\n")
    # The child restarts the sandbox's machine: its first process ends by SIGHUP.
    assert agent.proc.wait(30) == 129
    assert [m for p, m in unit.log() if "via SNMP" in m] == ["System reboot via SNMP request."]


def test_warm_restart_runs_the_network_script_on_the_console(unit):
    master, slave, console = open_pty(raw=True)
    unit.set_stub("rc.network", stdout="network up\n")
    agent = Agent(unit, binds=[(console, "/dev/console")])
    assert agent.set(".2.2", "integer 4321") == "success\n"
    seen = b""
    while b"network up\n" not in seen:
        assert select.select([master], [], [], 30)[0], "the network script did not run"
        seen += os.read(master, 100)
    assert agent.close() == (0, b"")
    os.close(master)
    os.close(slave)
    [call] = unit.calls("rc.network")
    assert call["argv"] == ["/etc/rc.network"] and call["fds"] == [0, 1, 2]
    assert len({call["targets"][fd] for fd in "012"}) == 1
    assert (0x85, "Warm restart via SNMP request.") in unit.log()
