"""setup -V: the identity lines, with and without the board and USB nodes,
and the boot ROM version as far as the partition's layout decides it."""

import pytest

from diag_support import devices, hardware, run  # noqa: F401

ITEMS = ["fpga", "pci_dev", "cpld", "serial", "uid_l24", "uid_h24", "num_adcs", "num_inputs"]


def set_bootrom(unit, text, skip=b"\x27\x05\x19\x56"):
    unit.path("/var/lib/unit/bootrom.img").write_bytes(skip + text)


def test_report_lists_every_item_in_order(unit, hardware):
    hardware.board_info = [0x23, -1, 0, 2**31 - 1, 0xFFFFFF, 1, 16, 2]
    hardware.fail("QERL_GET_BOARD_INFO", call=3)  # an item the driver cannot give
    unit.set_identity(product_code="P", board_code="q", oem_version=-7, tf_brand="Acme Remote")
    set_bootrom(unit, b"PPCBoot 1.1.6 (Jan 12 2006) (debug)\0(x)")
    assert run(unit, hardware, "-V") == (0, (
        "product=P\nboard=q\n"
        "fpga=35\npci_dev=-1\ncpld=0\nserial=2147483647\nuid_l24=16777215\n"
        "uid_h24=1\nnum_adcs=16\nnum_inputs=2\n"
        "usb_chip=1\n"
        'bootrom="(Jan 12 2006)"\n'
        "oem_version=-7\noem_brand=Acme Remote\n"), "")
    assert hardware.arguments("QERL_GET_BOARD_INFO") == list(range(8))


@pytest.mark.parametrize("nodes, usb_chip", [((), 0), ((devices.USBD,), 1)])
def test_without_board_node_items_are_zero(unit, nodes, usb_chip):
    with devices.Devices(nodes=nodes) as hw:
        rc, out, _ = run(unit, hw, "-V")
    assert rc == 0
    assert out.splitlines()[2:11] == ["%s=0" % n for n in ITEMS] + ["usb_chip=%d" % usb_chip]


@pytest.mark.parametrize("text, line", [
    # The text is bytes 4 to 82 of the partition: "Boot" ending on the last
    # of them is seen, one byte further in it is not.
    (b"(v1)" + b"." * 71 + b"Boot", 'bootrom="(v1)"'),
    (b"(v1)" + b"." * 72 + b"Boot", None),
    (b"", None),
])
def test_bootrom_text_lies_after_the_first_four_bytes(unit, text, line):
    set_bootrom(unit, text)
    rc, out, _ = run(unit, None, "-V")
    assert rc == 0
    assert [s for s in out.splitlines() if s.startswith("bootrom=")] == ([line] if line else [])


def test_unreadable_bootrom_partition_leaves_the_line_out(unit):
    set_bootrom(unit, b"Boot (1.0)")
    unit.path("/var/lib/unit/bootrom.img").chmod(0)
    rc, out, _ = run(unit, None, "-V")
    assert rc == 0
    assert out.splitlines()[-3:] == ["usb_chip=0", "oem_version=3", "oem_brand=Simulated"]
