"""The SNMP reboot action restarts the real kernel, a setting committed on
the serial console is still there after it, and on the next boot the
board's second UART is the reserved port 1."""

import re

import pytest

from conftest import boot
from test_unit import MENU, PREFIX, PROMPT, commit_machine_name


@pytest.fixture(scope="module")
def reboot(images, tmp_path_factory):
    """The unit before and after an SNMP reboot, on the same disk."""
    first = boot(images, tmp_path_factory.mktemp("before"))
    state = {"first": first, "disk": first.disk}
    yield state
    first.close()
    assert not first.kernel_troubles(), first.kernel_troubles()
    if "second" in state:
        state["second"].close()
        assert not state["second"].kernel_troubles(), state["second"].kernel_troubles()


def test_committed_setting_and_reboot_request(reboot):
    unit = reboot["first"]
    commit_machine_name(unit.uart0, b"rebooted")

    out = unit.sh("printf 'set\\n%s.2.1\\ninteger 1234\\n' | /usr/sbin/setup -S" % PREFIX)
    assert out.splitlines() == ["success"]
    unit.wait_log(r"setup\[[0-9]+\]: System reboot via SNMP request\.$")
    # The child waits two seconds, flushes the disks and asks the kernel to
    # restart; QEMU, told not to reboot, ends instead.
    assert unit.wait_exit(timeout=120) == 0
    assert "reboot: Restarting system" in unit.kernel_log()


def test_setting_survives_and_port_1_is_held(reboot, images, tmp_path_factory):
    if reboot["first"].proc.poll() is None:
        pytest.skip("the unit did not reboot")
    unit = boot(images, tmp_path_factory.mktemp("after"), disk=reboot["disk"], uart1="ttyS1")
    reboot["second"] = unit
    assert unit.config("hostname") == "rebooted"
    unit.uart0.expect(PROMPT)
    unit.uart0.send(b"\r")
    unit.uart0.expect(rb"Machine name: rebooted\r\n")
    unit.uart0.expect(MENU)

    # Port 1's getty, started on the real UART as init starts one.
    unit.sh("stty -F /dev/ttyS1 clocal 115200;"
            " sh -c '/usr/sbin/setup -I </dev/ttyS1 >/dev/ttyS1 2>&1 &'")
    unit.wait_log(r"Serial port 1 \(/dev/ttyS1\) setup for 1200 8N1\.$")
    pid = unit.read("/var/run/setup1.pid").strip()
    assert unit.read("/proc/%s/cmdline" % pid).startswith("/usr/sbin/setup")
    settings = unit.sh("stty -F /dev/ttyS1 -a")
    assert "speed 1200 baud" in settings
    for flag in ("cs8", "-parenb", "-cstopb"):
        assert re.search(r"(^|\s)%s(\s|$)" % re.escape(flag), settings), (flag, settings)
    # Silent and idle: nothing on the line, its streams closed, asleep.
    assert unit.uart1.silent_for(2)
    assert not {"0", "1", "2"} & set(unit.sh("ls /proc/%s/fd" % pid).split())
    stat = unit.read("/proc/%s/stat" % pid).split()
    assert stat[2] == "S"
    assert int(stat[13]) + int(stat[14]) <= 10
