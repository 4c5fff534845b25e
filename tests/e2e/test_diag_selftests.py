"""setup -t: the dispatcher's name rules and the ATX, USB and mouse tests
against the stand-in drivers, with their failure codes and fatal reports."""

import pytest

from diag_support import devices, hardware, run  # noqa: F401

USB_NOTE = "\n*** NOTE: Looks like USB chip not installed.\n.. but USB option is installed. Bad.\n\n"


@pytest.mark.parametrize("name", ["usb", "U", "ultra", "x", ""])
def test_first_letter_in_either_case_picks_the_test(unit, hardware, name):
    if name[:1].lower() == "u":
        assert run(unit, hardware, "-t", name)[:2] == (0, "PASSED\n")
        assert hardware.requests() == ["USBD_CONNECT", "USBD_GET_STATUS"]
    else:  # an unknown name runs nothing
        assert run(unit, hardware, "-t", name) == (4, "Unknown test: %s\nFAILED\n" % name, "")
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


def test_usb_without_node_prints_note_and_sends_nothing(unit, hardware):
    hardware.remove(devices.USBD)
    assert run(unit, hardware, "-t", "usb") == (1, USB_NOTE + "FAILED\n", "")
    assert hardware.received == []


@pytest.mark.parametrize("result, rc", [(0, 0), (1, 3), (-1, 3)])
def test_atx_result(unit, hardware, result, rc):
    hardware.atx_result = result
    assert run(unit, hardware, "-t", "A") == (rc, "FAILED\n" if rc else "PASSED\n", "")
    assert hardware.requests() == ["QERL_ATX_TEST"]


@pytest.mark.parametrize("status, rc", [(b"\xc0\0\0", 0), (b"\xff\xff\xff", 0),
                                        (b"\x80\xff\xff", 1), (b"\x40\0\0", 1)])
def test_mouse_needs_both_top_status_bits(unit, hardware, status, rc):
    hardware.mouse_status = status
    assert run(unit, hardware, "-t", "M") == (rc, "FAILED\n" if rc else "PASSED\n", "")
    assert hardware.received == [(devices.PS2_MOUSE_DEVICE, "PS2D_DELAY_CMD", 52),
                                 (devices.PS2_MOUSE_HOST, "PS2D_GET_STATUS", None)]


NO_NODE = "No such file or directory"


# A failing system call ends the test with its report, without a verdict.
@pytest.mark.parametrize("name, fault, report", [
    ("u", lambda hw: hw.deny(devices.USBD), "testUSB: open dev: Permission denied"),
    ("u", lambda hw: hw.fail("USBD_CONNECT"), "testUSB: USBD_CONNECT: Input/output error"),
    ("u", lambda hw: hw.fail("USBD_GET_STATUS"), "testUSB: USBD_GET_STATUS: Input/output error"),
    ("a", lambda hw: hw.remove(devices.QERL), "testATX: open qerl/0: " + NO_NODE),
    ("m", lambda hw: hw.remove(devices.PS2_MOUSE_DEVICE), "testM: open dev ms: " + NO_NODE),
    ("m", lambda hw: hw.remove(devices.PS2_MOUSE_HOST), "testM: open host ms: " + NO_NODE),
    ("m", lambda hw: hw.fail("PS2D_DELAY_CMD"), "testM: ioctl PS2D_DELAY_CMD: Input/output error"),
    ("m", lambda hw: hw.fail("PS2D_GET_STATUS"), "testM: PS2D_GET_STATUS: Input/output error"),
])
def test_fatal_reports(unit, hardware, name, fault, report):
    fault(hardware)
    assert run(unit, hardware, "-t", name) == (1, "", report + "\n")
