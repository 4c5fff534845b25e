"""setup -t r: switching the R-port power off and on through the stand-in
driver, with the exact dialogue and the codes of each fault."""

import errno

import pytest

from diag_support import devices, hardware, run  # noqa: F401

ON = "Turn on power... "
OFF = "OK\nTurn off power... "
RESTORE = "OK\nRestore power.\n"


def test_pass_dialogue_and_requests(unit, hardware):
    assert run(unit, hardware, "-t", "r") == (0, ON + OFF + RESTORE + "PASSED\n", "")
    assert hardware.requests() == ["RPORT_POWER_ON", "RPORT_GET_STATUS", "RPORT_POWER_OFF",
                                   "RPORT_GET_STATUS", "RPORT_POWER_ON", "RPORT_GET_STATUS"]
    assert hardware.rport_powered


OFF_ALREADY = ON + "Power is off already? Check +12v working and no shorts on R-port.\n"
NOT_DISABLED = ON + OFF + "Power is not disabled?\n"
STILL_ON = ON + OFF + "Power is still on? Kill rhub. Check regulator and resistor network.\n"
NOT_BACK = ON + OFF + RESTORE + "Power is didn't come back?\n"
# Status reads as (present, disabled): the good answer to each of the three.
GOOD = [(1, 0), (0, 1), (1, 0)]


# Every status the driver may report at each of the three reads, the reads
# before it good: after switching on, power must be present and not
# disabled; after switching off, disabled (checked first) and absent.
@pytest.mark.parametrize("read, status, rc, out", [
    (0, (0, 0), 2, OFF_ALREADY), (0, (0, 1), 2, OFF_ALREADY), (0, (1, 1), 2, OFF_ALREADY),
    (1, (1, 0), 4, NOT_DISABLED), (1, (0, 0), 4, NOT_DISABLED), (1, (1, 1), 3, STILL_ON),
    (2, (0, 0), 5, NOT_BACK), (2, (0, 1), 5, NOT_BACK), (2, (1, 1), 5, NOT_BACK),
])
def test_each_status_at_each_step(unit, hardware, read, status, rc, out):
    hardware.rport_status = GOOD[:read] + [status]
    assert run(unit, hardware, "-t", "R") == (rc, out + "FAILED\n", "")
    assert hardware.requests().count("RPORT_GET_STATUS") == read + 1


@pytest.mark.parametrize("call, rc, out", [
    (1, 0, "PASSED\n"),  # the first switch-on's result is not looked at
    (2, 5, "Unable to restore power?! Might be shorted.\nFAILED\n"),
])
def test_refused_power_on(unit, hardware, call, rc, out):
    hardware.fail("RPORT_POWER_ON", errno.EIO, call=call)
    assert run(unit, hardware, "-t", "r") == (rc, ON + OFF + RESTORE + out, "")


@pytest.mark.parametrize("name, err, call, out, report", [
    ("RPORT_POWER_OFF", errno.ENOTTY, None, ON + OFF + "Wrong version of driver running. "
     "Version skew.\n", "Inappropriate ioctl for device"),
    ("RPORT_GET_STATUS", errno.EIO, 1, ON, "Input/output error"),
    ("RPORT_GET_STATUS", errno.EIO, 3, ON + OFF + RESTORE, "Input/output error"),
])
def test_refused_request_is_fatal(unit, hardware, name, err, call, out, report):
    hardware.fail(name, err, call=call)
    assert run(unit, hardware, "-t", "r") == (1, out, "testRPort: %s: %s\n" % (name, report))


def test_missing_node(unit, hardware):
    hardware.remove(devices.RPORT)
    assert run(unit, hardware, "-t", "r") == (
        99, "FAILED\n", "/dev/rport: No such file or directory\n")
