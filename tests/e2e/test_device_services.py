"""The unit's device services as the program sees them on the simulated
unit: identity file and DHCP lease at their fixed places."""


def test_without_a_usable_lease_nothing_changes(unit):
    unit.set_config(dhcpEnable=1)
    unit.set_lease(ip="10.9.8.300")
    before = unit.config()
    assert unit.run("-D").returncode == 0
    unit.path("/var/lib/unit/dhcp.lease").unlink()
    assert unit.run("-D").returncode == 0
    assert unit.config() == before


def test_identity_keys_missing_from_the_file_take_their_defaults(unit):
    unit.set_identity(product_code=None, tf_brand="Lab Brand")
    out = unit.run("-V").stdout.decode()
    assert "product=S\n" in out
    assert out.endswith("oem_brand=Lab Brand\n")
