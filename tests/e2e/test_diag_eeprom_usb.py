"""The EEPROM self-test against the unit's EEPROM, and the disk type that
setup -x pushes to the USB driver."""

from diag_support import devices, hardware, run, without  # noqa: F401


def test_eeprom_test_leaves_the_content_as_it_was(unit):
    unit.set_config(hostname="lab-7", diskType=2)
    before = unit.config()
    image = unit.eeprom.read_bytes()
    assert run(unit, None, "-t", "E") == (0, "PASSED\n", "")
    assert unit.config() == before
    # It did write: the image is not the one from before the test.
    assert unit.eeprom.read_bytes() != image


def test_eeprom_that_cannot_be_read_is_left_alone(unit):
    before = unit.config()
    image = unit.eeprom.read_bytes()
    unit.eeprom.chmod(0)
    assert run(unit, None, "-t", "e") == (1, "FAILED\n", "eepromRead failed\n")
    unit.eeprom.chmod(0o644)
    assert unit.eeprom.read_bytes() == image
    assert unit.config() == before


def test_eeprom_that_cannot_be_written_keeps_its_content(unit):
    before = unit.config()
    unit.eeprom.chmod(0o444)
    assert run(unit, None, "-t", "eeprom") == (1, "FAILED\n", "eepromWrite failed\n")
    unit.eeprom.chmod(0o644)
    assert unit.config() == before


def test_x_pushes_the_stored_disk_type(unit, hardware):
    unit.set_config(diskType=3)
    assert run(unit, hardware, "-x")[0] == 0
    assert hardware.received == [(devices.USBD, "USBD_SET_DISK_TYPE", 3)]


def test_x_without_usb_node_pushes_nothing(unit):
    unit.set_config(diskType=3)
    with without(devices.USBD) as hw:
        assert run(unit, hw, "-x")[0] == 0
        assert hw.received == []
