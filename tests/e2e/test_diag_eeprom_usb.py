"""The EEPROM self-test against the unit's EEPROM, and the disk type that
setup -x pushes to the USB driver."""

import pytest

from diag_support import devices, run


def test_eeprom_test_leaves_the_content_as_it_was(unit):
    unit.set_config(hostname="lab-7", diskType=2)
    before = unit.config()
    image = unit.eeprom.read_bytes()
    assert run(unit, None, "-t", "E") == (0, "PASSED\n", "")
    assert unit.config() == before
    assert unit.eeprom.read_bytes() != image  # it did write


@pytest.mark.parametrize("mode, err", [(0, "eepromRead failed\n"),
                                       (0o444, "eepromWrite failed\n")])
def test_eeprom_failure_keeps_the_content(unit, mode, err):
    before = unit.config()
    unit.eeprom.chmod(mode)
    assert run(unit, None, "-t", "eeprom") == (1, "FAILED\n", err)
    unit.eeprom.chmod(0o644)
    assert unit.config() == before


def test_eeprom_test_restores_the_content_after_a_bad_read_back(unit):
    # The test pattern is written whole, but the second read of the process
    # (the read-back) does not match it.
    unit.set_config(hostname="lab-7", diskType=2)
    before = unit.config()
    image = unit.eeprom.read_bytes()
    unit.path("/var/lib/unit/eeprom.fault").write_text("2\n")
    assert run(unit, None, "-t", "e") == (1, "FAILED\n", "compare failed.\n")
    assert unit.eeprom.read_bytes() != image   # the pattern went in
    assert unit.config() == before


@pytest.mark.parametrize("nodes, received", [
    (devices.NODES, [(devices.USBD, "USBD_SET_DISK_TYPE", 3)]),
    ([devices.QERL], []),
])
def test_x_pushes_the_stored_disk_type_when_the_node_exists(unit, nodes, received):
    unit.set_config(diskType=3)
    with devices.Devices(nodes=nodes) as hw:
        assert run(unit, hw, "-x")[0] == 0
        assert hw.received == received
