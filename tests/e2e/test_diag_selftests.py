"""setup -t: the dispatcher's name rules and the ATX, USB and mouse tests
against the stand-in drivers, with their failure codes and fatal reports."""

import errno

import pytest

from diag_support import devices, hardware, run, without  # noqa: F401

USB_NOTE = "\n*** NOTE: Looks like USB chip not installed.\n.. but USB option is installed. Bad.\n\n"


@pytest.mark.parametrize("name", ["usb", "U", "ultra"])
def test_first_letter_in_either_case_picks_the_test(unit, hardware, name):
    rc, out, err = run(unit, hardware, "-t", name)
    assert (rc, out) == (0, "PASSED\n")
    assert hardware.requests() == ["USBD_CONNECT", "USBD_GET_STATUS"]


@pytest.mark.parametrize("name", ["x", "", "-usb", "2"])
def test_unknown_name_runs_nothing_and_gives_4(unit, hardware, name):
    rc, out, err = run(unit, hardware, "-t", name)
    assert (rc, out, err) == (4, "Unknown test: %s\nFAILED\n" % name, "")
    assert hardware.received == []


# --- USB ---------------------------------------------------------------------

@pytest.mark.parametrize("status, rc, shown", [
    (0x90, 0, "usbGood=1 => kbdGood=1 msGood=0 fddGood=0"),
    (0x70, 1, "usbGood=1 => kbdGood=0 msGood=1 fddGood=1"),
    (0xE0, 1, "usbGood=0 => kbdGood=1 msGood=1 fddGood=1"),
])
def test_usb_needs_keyboard_and_usb_good(unit, hardware, status, rc, shown):
    hardware.usb_status = status
    assert run(unit, hardware, "-t", "u") == (rc, "FAILED\n" if rc else "PASSED\n", shown + "\n")


def test_usb_without_node_prints_note_and_sends_nothing(unit):
    with without(devices.USBD) as hw:
        assert run(unit, hw, "-t", "usb") == (1, USB_NOTE + "FAILED\n", "")
        assert hw.received == []


def test_usb_node_that_cannot_be_opened_is_fatal(unit, hardware):
    hardware.deny(devices.USBD)
    assert run(unit, hardware, "-t", "u") == (1, "", "testUSB: open dev: Permission denied\n")


@pytest.mark.parametrize("request_name", ["USBD_CONNECT", "USBD_GET_STATUS"])
def test_usb_failing_request_is_fatal(unit, hardware, request_name):
    hardware.fail(request_name, errno.EIO)
    rc, out, err = run(unit, hardware, "-t", "u")
    assert (rc, out, err) == (1, "", "testUSB: %s: Input/output error\n" % request_name)


# --- ATX ---------------------------------------------------------------------

@pytest.mark.parametrize("result, rc", [(0, 0), (1, 3), (-1, 3)])
def test_atx_result(unit, hardware, result, rc):
    hardware.atx_result = result
    assert run(unit, hardware, "-t", "A") == (rc, "FAILED\n" if rc else "PASSED\n", "")
    assert hardware.requests() == ["QERL_ATX_TEST"]


def test_atx_without_board_node_is_fatal(unit):
    with without(devices.QERL) as hw:
        assert run(unit, hw, "-t", "atx") == (
            1, "", "testATX: open qerl/0: No such file or directory\n")


# --- mouse -------------------------------------------------------------------

@pytest.mark.parametrize("status, rc", [(b"\xc0\0\0", 0), (b"\xff\xff\xff", 0),
                                        (b"\x80\xff\xff", 1), (b"\x40\0\0", 1)])
def test_mouse_needs_both_top_status_bits(unit, hardware, status, rc):
    hardware.mouse_status = status
    assert run(unit, hardware, "-t", "M") == (rc, "FAILED\n" if rc else "PASSED\n", "")
    assert hardware.received == [(devices.PS2_MOUSE_DEVICE, "PS2D_DELAY_CMD", 52),
                                 (devices.PS2_MOUSE_HOST, "PS2D_GET_STATUS", None)]


@pytest.mark.parametrize("missing, fail, report", [
    (devices.PS2_MOUSE_DEVICE, None, "open dev ms: No such file or directory"),
    (devices.PS2_MOUSE_HOST, None, "open host ms: No such file or directory"),
    (None, "PS2D_DELAY_CMD", "ioctl PS2D_DELAY_CMD: Input/output error"),
    (None, "PS2D_GET_STATUS", "PS2D_GET_STATUS: Input/output error"),
])
def test_mouse_fatal_reports(unit, missing, fail, report):
    with without(missing) as hw:
        if fail:
            hw.fail(fail)
        assert run(unit, hw, "-t", "mouse") == (1, "", "testM: %s\n" % report)
