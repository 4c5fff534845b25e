"""setup -t k: the keyboard loop-back through the stand-in PS/2 ports, with
garbled, noisy, short and missing echoes."""

import pytest

from diag_support import devices, hardware, run, without  # noqa: F401
from devices import ECHO, GARBLE, NOISE, READ_ERROR, SHORT, STALL

PATTERN = b"QERL!!"
# Mismatching cycles the test sits through before it gives up.
MISMATCH_LIMIT = 20


def test_passes_after_five_matches_whatever_comes_between(unit, hardware):
    hardware.keyboard = [GARBLE, ECHO, NOISE, GARBLE, GARBLE, ECHO, ECHO]
    rc, out, err = run(unit, hardware, "-t", "k")
    assert (rc, out, err) == (0, "PASSED\n", "BAD match.\n" * 3)
    # Forwarding off for the loop-back, back on afterwards.
    assert hardware.arguments("PS2D_SET_FORWARDING") == [0, 1]
    assert hardware.written[devices.PS2_KBD_HOST] == PATTERN * 8


@pytest.mark.parametrize("mismatches, rc", [(MISMATCH_LIMIT - 1, 0), (MISMATCH_LIMIT, 1)])
def test_mismatching_cycles_are_bounded(unit, hardware, mismatches, rc):
    hardware.keyboard = [GARBLE] * mismatches
    got_rc, out, err = run(unit, hardware, "-t", "K")
    assert got_rc == rc
    if rc == 0:
        assert (out, err) == ("PASSED\n", "BAD match.\n" * mismatches)
    else:
        assert (out, err) == ("FAILED\n",
                              "BAD match.\n" * mismatches + "FAILED: Too many bad matches.\n")
    assert hardware.forwarding == 1


@pytest.mark.parametrize("echo, err", [
    (SHORT, "FAILED: Got back less than I wrote.\n"),
    (READ_ERROR, "readback: Input/output error\nFAILED: Got back less than I wrote.\n"),
])
def test_short_or_failed_read_fails(unit, hardware, echo, err):
    hardware.keyboard = [ECHO, echo]
    assert run(unit, hardware, "-t", "k") == (1, "FAILED\n", err)
    assert hardware.arguments("PS2D_SET_FORWARDING") == [0, 1]


def test_nothing_coming_back_times_out(unit, hardware):
    hardware.keyboard = [ECHO, ECHO, STALL]
    assert run(unit, hardware, "-t", "k") == (1, "FAILED\n", "")
    # The time-out gives the keyboard back to the host before ending.
    assert hardware.arguments("PS2D_SET_FORWARDING") == [0, 1]


def test_failing_forwarding_off_is_fatal_before_any_write(unit, hardware):
    hardware.fail("PS2D_SET_FORWARDING", call=1)
    assert run(unit, hardware, "-t", "k") == (
        1, "", "testK: PS2D_SET_FORWARDING: Input/output error\n")
    assert bytes(hardware.written.get(devices.PS2_KBD_HOST, b"")) == b""


@pytest.mark.parametrize("missing, report", [
    (devices.PS2_KBD_DEVICE, "open dev kbd"),
    (devices.PS2_KBD_HOST, "open host kbd"),
])
def test_missing_port_is_fatal(unit, missing, report):
    with without(missing) as hw:
        assert run(unit, hw, "-t", "k") == (
            1, "", "testK: %s: No such file or directory\n" % report)


def test_failing_restore_of_forwarding_is_fatal(unit, hardware):
    hardware.fail("PS2D_SET_FORWARDING", call=2)
    assert run(unit, hardware, "-t", "k") == (
        1, "", "testK: PS2D_SET_FORWARDING: Input/output error\n")
