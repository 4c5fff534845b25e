"""The appliance's build (32-bit big-endian PowerPC, run by qemu-ppc) in the
same simulated unit as this machine's build: with values that use all 32
bits, every answer must come out the same.  The device self-tests stay with
this machine's build: qemu refuses the unit drivers' requests."""
import shutil

import pexpect
import pytest

from serial_line import CLEAR, PROMPT, getty, handed_over
from snmp_agent import P, Agent, answer
from unit import ROOT

PPC = ROOT / "build" / "ppc" / "setup"

pytestmark = pytest.mark.skipif(
    not PPC.exists() or not shutil.which("qemu-ppc"),
    reason="no appliance build (make ppc-test) or no qemu-ppc")


@pytest.fixture
def appliance(tmp_path):
    """Binds that make /bin/setup the appliance's build under qemu-ppc."""
    wrapper = tmp_path / "setup-ppc"
    wrapper.write_text('#!/bin/sh\nexec /usr/bin/qemu-ppc -L /usr/powerpc-linux-gnu '
                       '-0 "$0" /bin/setup-ppc "$@"\n')
    wrapper.chmod(0o755)
    return {"ro_binds": [(PPC, "/bin/setup-ppc"), (wrapper, "/bin/setup")]}


@pytest.fixture
def wide_unit(unit):
    unit.set_identity(serial=4294967295, mac="fe:dc:ba:98:76:54")
    unit.set_config(ip=0xC0A8C8FE, netmask=0xFFFFFF80, gateway1=0xC0A8C881,
                    bcast=0xC0A8C8FF, ip2=0xAC100001, netmask2=0xFFF00000,
                    sshdPort=65535, httpsPort=32768, idleTimeout=-1)
    unit.set_screen(status=0, refresh=75, width=1280, height=1024, state=200)
    return unit


def walk(unit, **kw):
    """Every answer of a getnext walk over the agent's whole tree."""
    agent = Agent(unit, **kw)
    answers = agent.walk()
    agent.close()
    return answers


def test_snmp_walk_is_the_same_on_the_appliance(wide_unit, appliance):
    here = walk(wide_unit)
    # Not two equally empty walks: the wide values are in it.
    text = "".join(here)
    for value in ("192.168.200.254", "255.255.255.128", "172.16.0.1",
                  "\n065535\n", "\n65535\n", "\n32768\n", "1280x1024 @ 75Hz", "\n201\n",
                  "fe dc ba 98 76 54"):
        assert value in text
    assert walk(wide_unit, **appliance) == here


def test_console_screen_and_version_report_are_the_same_on_the_appliance(
        wide_unit, appliance):
    for args in ((), ("-V",), ("-h",)):
        here = wide_unit.run(*args, input=b"")
        there = wide_unit.run(*args, input=b"", **appliance)
        assert (there.returncode, there.stdout, there.stderr) == (
            here.returncode, here.stdout, here.stderr), args
        if not args:
            assert b"IP Address: 192.168.200.254" in here.stdout


@pytest.mark.parametrize("client", ["terminal", "ppp"])
def test_getty_mode_on_the_appliance(unit, appliance, client):
    """A terminal is admitted to the menu, a PPP client handed to pppd."""
    line = getty(unit, 2, **appliance)
    line.expect_exact(PROMPT, timeout=20)
    if client == "terminal":
        line.send(b"\r")
        line.expect_exact(CLEAR)
        line.expect("Choice: ")
        return
    line.send(b"\x7e\xff\x7d\x23\xc0\x21")
    line.expect(pexpect.EOF, timeout=20)
    assert line.wait() == 0 and handed_over(unit, "pppd", 2) == []


@pytest.fixture
def edge_unit(unit):
    """Stored numbers one past 32 bits, or wrapped by a '-', as a hand-edited
    store or another program may leave them; and the largest video status
    code, which one more takes past the Integer32 range."""
    unit.set_config(gateway1="4294967296", sshdPort="4294967296",
                    httpPort="-4294967295", numusers="1", user_0_name="edge",
                    user_0_pass="NONE", user_0_class="4294967296")
    unit.set_screen(status=2147483647)
    return unit


def test_numbers_at_the_32_bit_edge_answer_as_on_the_appliance(edge_unit, appliance):
    here = walk(edge_unit)
    assert walk(edge_unit, **appliance) == here
    # The appliance's answers: its strtoul saturates, and its 32-bit sum wraps.
    for oid, type_word, value in (
            (".1.1.1.3.4", "string", "255.255.255.255"),  # gateway1
            (".2.4", "integer", "-2147483648"),           # video status + 1
            (".3.1.1.6.2", "integer", "0"),               # user class -1, plus 1
    ):
        assert answer(oid, type_word, value) in here
    ports = "".join(line for line in here if line.startswith(P + ".5."))
    assert "\n-1\n" in ports and "\n1\n" in ports  # sshdPort, httpPort
    screen = edge_unit.run(input=b"", **appliance).stdout
    assert edge_unit.run(input=b"").stdout == screen
    assert b"Gateway: 255.255.255.255" in screen


def test_numusers_past_32_bits_is_the_same_table_on_the_appliance(unit, appliance):
    unit.set_config(numusers="4294967296", user_0_name="edge", user_0_pass="NONE")
    here = walk(unit)
    assert walk(unit, **appliance) == here
    # All ones is -1 accounts: the table holds the administrator alone, not
    # even the spare row (with none, row 2 would be the spare one).
    users = [a.split("\n")[0] for a in here if a.startswith(P + ".3.1.1.2.")]
    assert users == [P + ".3.1.1.2.1"]
