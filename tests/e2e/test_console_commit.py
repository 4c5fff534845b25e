"""Committing, refusing, failing to save, quitting, and what the console
takes in from other programs that save the configuration."""

import re

from console_dialogue import PAUSE, Console, addr

NETWORK = dict(ip=addr("10.1.2.3"), netmask=addr("255.255.0.0"),
               gateway1="0", bcast=addr("10.1.255.255"), ip2="0",
               gateway="0", dhcpEnable="0", bridgeEnable="0", hostname="before")
EEPROM = "var/lib/unit/eeprom.img"


def rename(console, name):
    console.type("m")
    console.expect("]: ")
    console.type(name)
    console.read_to_prompt()


def test_nothing_to_commit_saves_nothing(unit):
    unit.set_config(**NETWORK)
    image = (unit.dir / EEPROM).read_bytes()
    console = Console(unit)
    try:
        console.start()
        console.type("w")
        console.expect("\nNothing to commit yet. Doing nothing." + PAUSE)
        console.enter()
        assert (unit.dir / EEPROM).read_bytes() == image
    finally:
        console.close()


def test_refused_configuration_stays_pending(unit):
    unit.set_config(**NETWORK)
    console = Console(unit)
    try:
        console.start()
        rename(console, "after")
        console.type("i")
        console.type("10.1.255.255")  # the subnet's broadcast address
        console.read_to_prompt()
        console.type("w")
        console.expect_regex(r"\r\n([^\r\n]+)\r\nPlease correct\.\.\.\r\n\r\n"
                             r"Press Enter to continue\.\.\.")
        assert len(console.p.match.group(1)) <= 141
        screen = console.enter()
        assert ">>> W" in screen and "Machine name: after" in screen
        assert unit.config()["hostname"] == "before"
        # Once corrected, the same edits are saved.
        console.type("i")
        console.type("10.1.2.4")
        console.read_to_prompt()
        console.commit()
        assert (unit.config()["hostname"], unit.config()["ip"]) == (
            "after", addr("10.1.2.4"))
    finally:
        console.close()


def test_failed_save_keeps_the_edits(unit):
    unit.set_config(**NETWORK)
    image = unit.dir / EEPROM
    console = Console(unit, ro_binds=[(str(image), "/" + EEPROM)])
    try:
        console.start()
        rename(console, "after")
        console.type("W")
        console.expect("Writing... Failed!\n\nUnchanged!" + PAUSE)
        screen = console.enter()
        assert ">>> W" in screen and "Machine name: after" in screen
        assert unit.config()["hostname"] == "before"
    finally:
        console.close()


def test_quit_drops_pending_edits(unit):
    unit.set_config(**NETWORK)
    for quit in ("q", "Q"):
        console = Console(unit)
        console.start()
        rename(console, "after")
        console.type(quit)
        assert console.wait_exit() == 0
        assert unit.config()["hostname"] == "before"


def test_changes_saved_elsewhere_show_only_while_nothing_is_pending(unit):
    unit.set_config(**NETWORK)
    console = Console(unit)
    try:
        console.start()
        unit.run_cmd(["/bin/unitcfg", "set", "hostname=elsewhere"])
        assert "   Machine name: elsewhere\r\n" in console.redraw()
        assert ">>> W" in console.command("e")  # pending from here on
        unit.run_cmd(["/bin/unitcfg", "set", "hostname=ignored"])
        screen = console.redraw()
        assert re.search(r"Machine name: elsewhere\r\n", screen)
        console.commit()
        # The commit saves the whole working copy.
        assert (unit.config()["hostname"], unit.config()["bridgeEnable"]) == (
            "elsewhere", "1")
    finally:
        console.close()
