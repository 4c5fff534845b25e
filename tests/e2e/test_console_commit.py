"""Commit, refusal, failed save, quitting, and changes saved elsewhere."""

import pytest

from console_dialogue import PAUSE, addr, console_on

NETWORK = dict(ip=addr("10.1.2.3"), netmask=addr("255.255.0.0"),
               gateway1="0", bcast=addr("10.1.255.255"), ip2="0",
               gateway="0", dhcpEnable="0", bridgeEnable="0", hostname="before")


@pytest.fixture
def console(unit):
    return console_on(unit, NETWORK)


def test_nothing_to_commit_saves_nothing(console, unit):
    image = unit.eeprom.read_bytes()
    console.type("w")
    console.expect("\nNothing to commit yet. Doing nothing." + PAUSE)
    console.command("")
    assert unit.eeprom.read_bytes() == image


def test_refused_configuration_stays_pending(console, unit):
    console.edit("m", "Machine name", "before", "after")
    console.edit("i", "IP Address", "10.1.2.3", "10.1.255.255")  # broadcast
    console.type("w")
    console.p.expect(rb"\r\n([^\r\n]+)\r\nPlease correct\.\.\.\r\n\r\n"
                     rb"Press Enter to continue\.\.\.")
    assert len(console.p.match.group(1)) <= 141
    screen = console.command("")
    assert ">>> W" in screen and "Machine name: after" in screen
    assert unit.config()["hostname"] == "before"
    console.edit("i", "IP Address", "10.1.255.255", "10.1.2.4")
    console.commit()
    assert (unit.config()["hostname"], unit.config()["ip"]) == ("after", addr("10.1.2.4"))


def test_failed_save_keeps_the_edits(unit):
    console = console_on(unit, NETWORK, ro_binds=[(unit.eeprom, "/var/lib/unit/eeprom.img")])
    console.edit("m", "Machine name", "before", "after")
    console.type("W")
    console.expect("Writing... Failed!\n\nUnchanged!" + PAUSE)
    screen = console.command("")
    assert ">>> W" in screen and "Machine name: after" in screen
    assert unit.config()["hostname"] == "before"


@pytest.mark.parametrize("quit", ["q", "Q"])
def test_quit_drops_pending_edits(console, unit, quit):
    console.edit("m", "Machine name", "before", "after")
    console.type(quit)
    assert console.wait_exit() == 0
    assert unit.config()["hostname"] == "before"


def test_changes_saved_elsewhere_show_only_while_nothing_is_pending(console, unit):
    unit.set_config(hostname="elsewhere")
    assert "Machine name: elsewhere\r\n" in console.command("")
    assert ">>> W" in console.command("e")
    unit.set_config(hostname="ignored")
    assert "Machine name: elsewhere\r\n" in console.command("")
    console.commit()  # saves the console's own edit, nothing else
    assert (unit.config()["hostname"], unit.config()["bridgeEnable"]) == ("ignored", "1")
    assert "Machine name: ignored\r\n" in console.command("")
