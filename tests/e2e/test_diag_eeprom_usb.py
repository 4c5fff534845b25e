"""The EEPROM self-test against the unit's EEPROM, and the disk type that
setup -x pushes to the USB driver."""

import os

import pytest

from diag_support import devices, run
from unit import ROOT


# With a fault the pattern is written whole, but the second read of the
# process (the read-back) does not match it.
@pytest.mark.parametrize("fault, result", [(None, (0, "PASSED\n", "")),
                                           ("2\n", (1, "FAILED\n", "compare failed.\n"))])
def test_eeprom_test_writes_and_restores_the_content(unit, fault, result):
    unit.set_config(hostname="lab-7", diskType=2)
    before = unit.config()
    image = unit.eeprom.read_bytes()
    if fault:
        # Only builds with the unit tests plant faults (make run's does not).
        setup = ROOT / (os.environ.get("UNIT_BUILD") or "build/host") / "setup"
        if b"/var/lib/unit/eeprom.fault" not in setup.read_bytes():
            pytest.fail("%s has no test hooks: `make build` builds them in" % setup)
        unit.path("/var/lib/unit/eeprom.fault").write_text(fault)
    assert run(unit, None, "-t", "E" if fault else "e") == result
    assert unit.eeprom.read_bytes() != image  # the pattern went in
    assert unit.config() == before


@pytest.mark.parametrize("mode, err", [(0, "eepromRead failed\n"),
                                       (0o444, "eepromWrite failed\n")])
def test_eeprom_failure_keeps_the_content(unit, mode, err):
    before = unit.config()
    unit.eeprom.chmod(mode)
    assert run(unit, None, "-t", "eeprom") == (1, "FAILED\n", err)
    unit.eeprom.chmod(0o644)
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
