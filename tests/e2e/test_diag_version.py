"""setup -V: the identity lines, with and without the board and USB nodes,
and the boot ROM version taken from the boot ROM partition."""

import pytest

from diag_support import devices, hardware, run  # noqa: F401

ITEMS = ["fpga", "pci_dev", "cpld", "serial", "uid_l24", "uid_h24", "num_adcs", "num_inputs"]


def set_bootrom(unit, text, skip=b"\x27\x05\x19\x56"):
    unit.path("/var/lib/unit/bootrom.img").write_bytes(skip + text)


def bootrom_lines(out):
    return [line for line in out.splitlines() if line.startswith("bootrom=")]


def test_report_lists_every_item_in_order(unit, hardware):
    hardware.board_info = [0x23, -1, 0, 2**31 - 1, 0xFFFFFF, 1, 16, 2]
    unit.set_identity(product_code="P", board_code="q", oem_version=-7, tf_brand="Acme Remote")
    set_bootrom(unit, b"PPCBoot 1.1.6 (Jan 12 2006 - 14:02:11)\0garbage")
    rc, out, err = run(unit, hardware, "-V")
    assert (rc, err) == (0, "")
    assert out == (
        "product=P\nboard=q\n"
        "fpga=35\npci_dev=-1\ncpld=0\nserial=2147483647\nuid_l24=16777215\n"
        "uid_h24=1\nnum_adcs=16\nnum_inputs=2\n"
        "usb_chip=1\n"
        'bootrom="(Jan 12 2006 - 14:02:11)"\n'
        "oem_version=-7\noem_brand=Acme Remote\n")
    # One request per item, asking for it by index.
    assert hardware.requests() == ["QERL_GET_BOARD_INFO"] * 8
    assert hardware.arguments("QERL_GET_BOARD_INFO") == list(range(8))


def test_without_board_and_usb_nodes_items_are_zero(unit):
    rc, out, _ = run(unit, None, "-V")
    lines = out.splitlines()
    assert rc == 0
    assert lines[2:11] == ["%s=0" % name for name in ITEMS] + ["usb_chip=0"]


def test_item_whose_request_fails_prints_zero(unit, hardware):
    hardware.board_info = [10, 11, 12, 13, 14, 15, 16, 17]
    hardware.fail("QERL_GET_BOARD_INFO", call=3)
    rc, out, _ = run(unit, hardware, "-V")
    assert rc == 0
    assert out.splitlines()[2:10] == ["fpga=10", "pci_dev=11", "cpld=0", "serial=13",
                                      "uid_l24=14", "uid_h24=15", "num_adcs=16", "num_inputs=17"]


def test_usb_chip_follows_the_usb_node_alone(unit):
    with devices.Devices(nodes=[devices.QERL]) as hw:
        rc, out, _ = run(unit, hw, "-V")
    assert rc == 0 and "usb_chip=0" in out.splitlines()
    with devices.Devices(nodes=[devices.USBD]) as hw:
        rc, out, _ = run(unit, hw, "-V")
    assert rc == 0 and "usb_chip=1" in out.splitlines()
    assert "fpga=0" in out.splitlines()



@pytest.mark.parametrize("text, line", [
    (b"U-Boot 2.4.1 (build 117) (debug) 2019", 'bootrom="(build 117)"'),
    # The first "(" of the text counts, even one before "Boot".
    (b"rev (A7) of Boot 2.0 (build 5)", 'bootrom="(A7)"'),
    (b"Boot (v1.0", 'bootrom="(v1.0"'),
    (b"Boot 2.0 without version", None),
    (b"Loader 2.0 (build 5)", None),
    (b"(v1)\0 Boot", None),
    # The text is bytes 4 to 82 of the partition: "Boot" ending on the last
    # of them is seen, one byte further in it is not.
    (b"(v1)" + b"." * 71 + b"Boot", 'bootrom="(v1)"'),
    (b"(v1)" + b"." * 72 + b"Boot", None),
    (b"", None),
])
def test_bootrom_line(unit, text, line):
    set_bootrom(unit, text)
    rc, out, _ = run(unit, None, "-V")
    assert rc == 0
    assert bootrom_lines(out) == ([line] if line else [])
    # It sits between usb_chip and oem_version.
    if line:
        lines = out.splitlines()
        assert lines[lines.index(line) - 1].startswith("usb_chip=")


def test_bootrom_partition_too_short_or_unreadable(unit):
    set_bootrom(unit, b"", skip=b"Bo")
    assert bootrom_lines(run(unit, None, "-V")[1]) == []
    set_bootrom(unit, b"Boot (1.0)")
    unit.path("/var/lib/unit/bootrom.img").chmod(0)
    rc, out, _ = run(unit, None, "-V")
    assert rc == 0 and bootrom_lines(out) == []
    assert out.endswith("oem_brand=Simulated\n")
