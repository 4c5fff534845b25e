"""The unit's device services as the program sees them on the simulated
unit: DHCP lease at its fixed place."""


def test_without_a_usable_lease_nothing_changes(unit):
    unit.set_config(dhcpEnable=1)
    unit.set_lease(ip="10.9.8.300")
    before = unit.config()
    assert unit.run("-D").returncode == 0
    unit.path("/var/lib/unit/dhcp.lease").unlink()
    assert unit.run("-D").returncode == 0
    assert unit.config() == before

