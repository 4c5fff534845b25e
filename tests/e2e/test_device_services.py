"""The unit's device services as the program sees them on the simulated
unit: identity file, DHCP lease and system log at their fixed places."""


def addr(text):
    return int(text, 0)


def test_dhcp_lease_is_copied_into_the_saved_configuration(unit):
    unit.set_config(dhcpEnable=1, gateway="0x0a000001")
    unit.set_lease(ip="10.9.8.7", netmask="255.255.0.0", gateway="10.9.0.1",
                   bcast="10.9.255.255", default_gateway="10.9.0.254")
    assert unit.run("-D").returncode == 0
    cfg = unit.config()
    assert [addr(cfg[k]) for k in ("ip", "netmask", "gateway1", "bcast")] == [
        0x0a090807, 0xffff0000, 0x0a090001, 0x0a09ffff]
    assert addr(cfg["gateway"]) == 0x0a000001


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


def test_log_lines_carry_the_priority_as_given(unit):
    unit.run("-S", input=b"bogus\n")
    assert (0x85, "SNMP: Bad cmd line: bogus") in unit.log()
