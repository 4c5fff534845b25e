"""setup -t k: the keyboard loop-back through the stand-in PS/2 ports, with
garbled, noisy, short and missing echoes."""

import pytest

from diag_support import devices, hardware, run  # noqa: F401
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
    verdict = "FAILED: Too many bad matches.\n" if rc else ""
    assert run(unit, hardware, "-t", "K") == (
        rc, "FAILED\n" if rc else "PASSED\n", "BAD match.\n" * mismatches + verdict)
    assert hardware.forwarding == 1


@pytest.mark.parametrize("echoes, err", [
    ([ECHO, SHORT], "FAILED: Got back less than I wrote.\n"),
    ([ECHO, READ_ERROR], "readback: Input/output error\nFAILED: Got back less than I wrote.\n"),
    ([ECHO, ECHO, STALL], ""),  # nothing coming back times out
])
def test_short_failed_or_missing_read_fails(unit, hardware, echoes, err):
    hardware.keyboard = echoes
    assert run(unit, hardware, "-t", "k") == (1, "FAILED\n", err)
    # Even so the keyboard goes back to the host before the end.
    assert hardware.arguments("PS2D_SET_FORWARDING") == [0, 1]


@pytest.mark.parametrize("missing, fail, report", [
    (devices.PS2_KBD_DEVICE, None, "open dev kbd: No such file or directory"),
    (devices.PS2_KBD_HOST, None, "open host kbd: No such file or directory"),
    (None, 1, "PS2D_SET_FORWARDING: Input/output error"),  # turning it off
    (None, 2, "PS2D_SET_FORWARDING: Input/output error"),  # turning it back on
])
def test_fatal_reports(unit, hardware, missing, fail, report):
    if missing:
        hardware.remove(missing)
    if fail:
        hardware.fail("PS2D_SET_FORWARDING", call=fail)
    assert run(unit, hardware, "-t", "k") == (1, "", "testK: %s\n" % report)
    if fail == 1:  # with forwarding still on, nothing may be written
        assert devices.PS2_KBD_HOST not in hardware.written
