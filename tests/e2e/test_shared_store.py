"""Programs of the unit saving side by side: no setting, once saved, is lost
to another program's save; decisions read what is saved now; a change of
several keys in a full store lands whole or not at all."""
import threading

import pexpect
import pytest

from console_dialogue import CONFIRM, PAUSE, addr, console_on
from serial_line import CLEAR, modem, wait_log
from snmp_agent import P, Agent, answer

NETWORK = dict(ip=addr("10.1.2.3"), netmask=addr("255.255.0.0"),
               gateway1="0", bcast=addr("10.1.255.255"), ip2="0",
               gateway="0", dhcpEnable="0", bridgeEnable="0", hostname="before")
FULL = "The configuration is full; Nothing changed."


def test_getty_saves_only_the_ipmi_port(unit):
    line = modem(unit, port=12, config={"ipmiEnable": 1, "ipmisPort": 0})
    unit.set_config(location="ChangedMeanwhile", sshdPort=2222)
    line.send(b"\xa0")
    line.expect_exact(b"\nNow starting IPMI on this serial port.\n\n")
    line.expect(pexpect.EOF)
    saved = unit.config()
    assert (saved["ipmisPort"], saved["location"], saved["sshdPort"]) == (
        "12", "ChangedMeanwhile", "2222")


def test_getty_takes_the_ipmi_switch_as_saved_now(unit):
    line = modem(unit, port=2, config={"ipmiEnable": 1, "ipmisPort": 0})
    unit.set_config(ipmiEnable=0)
    line.send(b"\xa0OK\r")
    assert wait_log(unit, "Noise from modem: OK")[-2:] == [
        "IPMI is disabled, not starting it.", "Noise from modem: OK"]
    assert unit.config()["ipmisPort"] == "0" and not unit.calls("ipmi")


def test_only_the_current_password_admits_on_a_modem_port(unit):
    line = modem(unit, config={"passwd": "admin"})
    unit.set_config(passwd="newpass")
    line.send(b"admin\r")
    wait_log(unit, "Noise on serial port: admin")
    unit.set_config(passwd="third")
    line.send(b"newpass\r")
    wait_log(unit, "Noise on serial port: newpass")
    line.send(b"third\r")
    line.expect_exact(CLEAR)
    line.expect("Choice: ")
    assert wait_log(unit, "Got admin password on modem port.")[-3:] == [
        "Noise on serial port: admin",
        "Noise on serial port: newpass", "Got admin password on modem port."]


def test_console_commit_keeps_an_snmp_set_made_while_pending(unit, snmpd):
    console = console_on(unit, NETWORK)
    console.edit("m", "Machine name", "before", "after")
    assert "STRING" in snmpd.set(P + ".1.1.1.3.33", "s", "set over snmp")
    console.commit()
    saved = unit.config()
    assert (saved["hostname"], saved["location"]) == ("after", "set over snmp")
    # Taken in at the redraw now that nothing is pending; R keeps it too.
    console.type("r")
    console.expect("\nAll changes have been undone." + PAUSE)
    console.command("")
    assert unit.config()["location"] == "set over snmp"


def test_agent_and_console_saving_at_once_lose_nothing(unit, snmpd):
    """The agent fills 100 user slots (a name and a password each: 200 keys)
    while the console commits a new machine name 50 times."""
    console = console_on(unit, NETWORK)
    answers = []

    def agent():
        # One slot per request: a new row must follow the last one in use.
        for slot in range(100):
            row = slot + 2
            answers.append(snmpd.client(
                "snmpset", P + ".3.1.1.3.%d" % row, "s", "u%d" % slot,
                P + ".3.1.1.4.%d" % row, "s", "p%d" % slot, community="private"))

    writer = threading.Thread(target=agent)
    writer.start()
    for i in range(50):
        # Each commit ends with a redraw, which takes in what the agent saved.
        console.edit("m", "Machine name", "host%d" % (i - 1) if i else "before", "host%d" % i)
        console.commit()
    writer.join(120)
    assert not writer.is_alive()
    assert all(a.count("STRING") == 2 for a in answers), answers
    saved = unit.config()
    assert saved["hostname"] == "host49" and saved["numusers"] == "100"
    assert [(saved["user_%d_name" % s], saved["user_%d_pass" % s]) for s in range(100)] == [
        ("u%d" % s, "p%d" % s) for s in range(100)]


# ---- a full store ------------------------------------------------------------

def fill(unit, **config):
    """Saves config and then a filler that makes the saved text exactly 8191
    characters, the most the EEPROM holds."""
    unit.set_config(**config)
    used = sum(len(k) + len(v.replace("\\", "\\\\").replace("\n", "\\n")) + 2
               for k, v in unit.config().items())
    unit.set_config(filler="f" * (8191 - used - len("filler") - 2))
    assert sum(len(k) + len(v) + 2 for k, v in unit.config().items()) == 8191


@pytest.mark.parametrize("command", ["d", "e", "h"])
def test_an_edit_that_does_not_fit_changes_nothing(unit, command):
    # Empty values read as 0: switching on, or a reset to the factory port
    # numbers, makes their text longer.
    fill(unit, **dict(NETWORK, dhcpEnable="", bridgeEnable="", sshdPort=""))
    image = unit.eeprom.read_bytes()
    console = console_on(unit)
    console.type(command)
    if command == "h":
        console.expect(CONFIRM % "erase firewall, network ports, RADIUS config")
        console.type("YES")
    console.expect("\n%s%s" % (FULL, PAUSE))
    screen = console.command("")
    assert ">>> W" not in screen and "pending" not in screen
    console.type("w")
    console.expect("\nNothing to commit yet. Doing nothing." + PAUSE)
    assert unit.eeprom.read_bytes() == image


def test_an_account_change_that_does_not_fit_is_not_made_at_all(unit):
    fill(unit, numusers="9", user_0_name="a", user_0_pass="p")
    filler = unit.config()["filler"]
    # Room for the new account's name, but not for numusers=10 as well.
    unit.set_config(filler=filler[:-len("user_9_name=NEW\n")])
    image = unit.eeprom.read_bytes()
    agent = Agent(unit)
    assert agent.set(".3.1.1.2.11", "integer 2") == "not-writable\n"   # create
    assert agent.get(".3.1.1.3.11") == answer(".3.1.1.3.11", "string", "")
    assert unit.eeprom.read_bytes() == image
    unit.set_config(filler=filler)   # full to the last character
    image = unit.eeprom.read_bytes()
    assert agent.set(".3.1.1.6.2", "integer 3") == "not-writable\n"   # a class
    assert agent.get(".3.1.1.6.2") == answer(".3.1.1.6.2", "integer", "1")
    assert agent.close() == (0, b"")
    assert unit.eeprom.read_bytes() == image


LEASE = dict(ip="192.168.100.200", netmask="255.255.255.0", gateway="192.168.100.1",
             bcast="192.168.100.255", default_gateway="192.168.100.1")


def test_a_lease_that_does_not_fit_is_not_copied_at_all(unit):
    fill(unit, **dict(NETWORK, dhcpEnable="1", gateway1=addr("10.1.0.1")))
    unit.set_lease(**LEASE)
    image = unit.eeprom.read_bytes()
    console = console_on(unit)
    screen = console.command("")
    assert "The configuration is full; nothing was stored." in screen
    # The stored addresses, none of the lease's mixed in.
    assert "IP Address: 10.1.2.3\r\n" in screen and "Gateway: 10.1.0.1\r\n" in screen
    assert "192.168.100." not in screen.split("Default Gateway")[0]
    # Nor the lease's default gateway beside the stored one.
    assert "(DHCP: 192.168.100.1)" not in screen
    # Switching DHCP off would take the lease over: refused whole.
    console.type("d")
    console.expect("\n%s%s" % (FULL, PAUSE))
    console.command("")
    console.p.close()
    r = unit.run("-D")
    assert (r.returncode, r.stdout) == (0, b"The configuration is full; nothing was stored.\n")
    assert unit.eeprom.read_bytes() == image
