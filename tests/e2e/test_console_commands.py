"""The console's commands and editors, with their effect on the saved
configuration read back after a commit."""

import pytest

from console_dialogue import CONFIRM, PAUSE, addr, console_on

NETWORK = dict(ip=addr("10.1.2.3"), netmask=addr("255.255.0.0"),
               gateway1=addr("10.1.0.1"), bcast=addr("10.1.255.255"),
               ip2=addr("172.16.5.9"), netmask2=addr("255.255.255.0"),
               gateway2=addr("172.16.5.1"), bcast2=addr("172.16.5.255"),
               gateway=addr("10.1.0.254"), dhcpEnable="0", bridgeEnable="0")
GW = "Default gateway (or 0.0.0.0 for none)"
WAN_IP, WAN_GW = "Secondary (WAN) IP Address", "Secondary (WAN) Gateway (or 0.0.0.0)"


@pytest.fixture
def console(unit):
    return console_on(unit, NETWORK)


def test_wan_selector_lasts_until_the_next_redraw(console, unit):
    # (line, label, current value, answer, redraw first)
    for line, label, current, answer, redraw in [
            ("i2", WAN_IP, "172.16.5.9", "172.16.5.10", False),
            ("i", WAN_IP, "172.16.5.10", "", False),
            ("gw", GW, "10.1.0.254", "", False),  # GW before the selector
            ("g", WAN_GW, "172.16.5.1", "", False),
            ("N", "Secondary (WAN) Netmask", "255.255.255.0", "", False),
            ("b", "Secondary (WAN) Broadcast", "172.16.5.255", "", False),
            ("IX", "IP Address", "10.1.2.3", "", True),
            ("I2", WAN_IP, "172.16.5.10", "", True),
            ("i2x", WAN_IP, "172.16.5.10", "", True),
            ("g", "Network gateway (or 0.0.0.0 for none)", "10.1.0.1", "", True),
            ("gW", GW, "10.1.0.254", "", True), ("GW", GW, "10.1.0.254", "", True),
            ("g2", WAN_GW, "172.16.5.1", "", True),
            ("n", "Netmask", "255.255.0.0", "", True),
            ("B2", "Secondary (WAN) Broadcast", "172.16.5.255", "", True)]:
        if redraw:
            console.command("")
        console.edit(line, label, current, answer)
    assert "Network Setup" in console.command(" i")  # a blank is no command
    console.commit()
    assert (unit.config()["ip2"], unit.config()["ip"]) == (
        addr("172.16.5.10"), addr("10.1.2.3"))


def test_address_editor(console, unit):
    console.ask("i", "IP Address", "10.1.2.3")
    # Which entries are refused is the parser's unit test; here each message and the retry.
    for bad, message in [("/33", "mask-style. Try again with /24."),
                         ("10.1.2.256", "IP address. Try again.")]:
        console.type(bad)
        console.expect("\nBad %s\n\nIP Address [10.1.2.3]: " % message)
    console.command("/24x")  # mask style at any address prompt
    assert "  IP Address: 255.255.255.0\r\n" in console.command("")
    console.type("r")
    console.expect("\nAll changes have been undone." + PAUSE)
    console.command("")
    console.edit("n", "Netmask", "255.255.0.0", "/8")
    console.edit("g", "Network gateway (or 0.0.0.0 for none)", "10.1.0.1", "0")
    console.commit()
    saved = unit.config()
    assert (saved["netmask"], saved["bcast"], saved["gateway1"]) == (
        addr("255.0.0.0"), addr("10.255.255.255"), "0")


def test_empty_entries_keep_values_but_netmask_recomputes_broadcast(unit):
    console = console_on(unit, dict(NETWORK, bcast=addr("10.1.2.255")))
    for line in ("i", "n", "gw", "m"):
        console.type(line)
        console.command("")
    screen = console.command("")
    assert "   Broadcast: 10.1.255.255\r\n" in screen
    assert "    W - Commit" in screen and "pending" not in screen


def test_machine_name(console, unit):
    console.ask("m", "Machine name", "unit")
    console.type("my unit#1")
    console.expect("\nSorry, ' ' is not allowed in this string.\n\nMachine name [unit]: ")
    console.type("unit#1")
    console.expect("\nSorry, '#' is not allowed in this string.\n")
    console.command("unit-7.lab_A")
    console.edit("M", "Machine name", "unit-7.lab_A", "")
    console.commit()
    assert unit.config()["hostname"] == "unit-7.lab_A"
    console.edit("m", "Machine name", "unit-7.lab_A", "n" * 40)
    console.commit()
    assert unit.config()["hostname"] == "n" * 31  # what the field holds


def test_resets_need_yes(unit):
    console = console_on(unit, dict(**NETWORK, sshdPort="2222", hostname="keep-me"))
    for answer in ("yes", "Yes", "YES please"):
        console.type("h")
        console.expect(CONFIRM % "erase firewall, network ports, RADIUS config")
        console.type(answer)
        console.expect("\nAborted." + PAUSE)
        assert ">>>" not in console.command("")
    console.type("H")
    assert ">>> W" in console.command("YES")
    console.commit()
    assert unit.config()["sshdPort"] == "22"

    console.type("f")
    console.expect(CONFIRM % "erase all settings, user accounts, everything")
    console.type("no")
    console.expect("\nAborted." + PAUSE)
    console.command("")
    console.type("F")
    console.type("YES")
    console.expect("\nRestored all settings to factory defaults (but you\n"
                   "can still restore old settings, until committed)." + PAUSE)
    screen = console.command("")
    assert ">>> W" in screen and "keep-me" not in screen
    console.type("r")
    console.expect("\nAll changes have been undone." + PAUSE)
    screen = console.command("")
    assert ">>>" not in screen and "Machine name: keep-me" in screen


def test_switches(console, unit):
    unit.set_lease(ip="10.1.9.9", netmask="255.255.0.0")
    for state in ("enabled", "disabled"):
        console.type("d")
        console.expect("\nDHCP has been %s.%s" % (state, PAUSE))
        console.command("")
    assert ">>> W" in console.command("e")
    console.commit()
    saved = unit.config()
    # Switching DHCP off keeps the lease's address as the fixed one.
    assert (saved["dhcpEnable"], saved["bridgeEnable"], saved["ip"]) == (
        "0", "1", addr("10.1.9.9"))


def test_password_change(console, unit):
    def change(first, second=None):
        console.type("s")
        console.expect("\nNew master password: ")
        console.send(first)
        if second is not None:
            console.expect("  Again, to confirm: ")
            console.send(second)

    change("secret-1", "secret-2")
    assert "secret" not in console.expect("\nTwo passwords didn't match; Nothing changed." + PAUSE)
    assert ">>>" not in console.command("")
    change("p" * 32)
    console.expect("\nPassword too long (at most 31 characters); Nothing changed." + PAUSE)
    console.command("")
    change("", "")
    console.expect(CONFIRM % "use an EMPTY password?!")
    console.type("no")
    console.expect("\nAborted." + PAUSE)
    assert ">>>" not in console.command("")
    change("p" * 31, "p" * 31)
    assert "ppp" not in console.expect("\nMaster password changed." + PAUSE)
    console.command("")
    console.commit()
    assert unit.config()["passwd"] == "p" * 31
    change("", "")
    console.type("YES")
    console.expect("\nMaster password changed." + PAUSE)
    console.command("")
    console.commit()
    assert unit.config()["passwd"] == ""


def test_ping_remembers_its_target(console, unit):
    label = "Ping which IP address (10 packets)"
    console.ask("p", label, "10.1.0.254")  # the default gateway at first
    console.type("/99")
    console.expect("\nBad mask-style. Try again with /24.\n\n%s [10.1.0.254]: " % label)
    for answer, current, pinged in [("10.1.1.1", "10.1.1.1", "10.1.1.1"),
                                    ("", "10.1.1.1", "10.1.1.1"),
                                    ("0", "10.1.0.254", "0.0.0.0"),
                                    ("", None, "10.1.0.254")]:
        console.type(answer)
        console.expect("\n\n\nDone." + PAUSE)
        console.command("")
        assert unit.calls("ping")[-1]["argv"][1:] == ["-c", "10", pinged]
        if current:
            console.ask("p", label, current)
    assert len(unit.calls("ping")) == 4


def test_shell_and_configuration_file(console):
    console.edit("m", "Machine name", "unit", "written-out")
    console.type(">")
    console.expect("\nDone." + PAUSE)
    console.command("")
    console.type("!")
    console.send("grep hostname= /var/run/config.txt; echo shell-$((6*7))")
    console.expect("hostname=written-out")  # the working copy, unsaved
    console.expect("shell-42")
    console.send("exit")
    assert "Network Setup" in console.read_to_prompt()


def test_unknown_command_and_health_report(console):
    for line in ("x", "\t"):  # only a blank, CR or LF is no command
        console.type(line)
        console.expect("\nUnknown command. Try again" + PAUSE)
        console.command("")
    console.type("Z")
    for n in ("0001", "0002", "0003"):
        console.expect("\nSystem is working fine: %s\n" % n)


@pytest.mark.parametrize("line,shown", [(None, None), ("i", "10.1.2.3]: "),
                                        ("h", "abort): "), ("s", "password: "),
                                        ("x", "continue...")])
def test_end_of_input_ends_the_console(console, unit, line, shown):
    console.edit("m", "Machine name", "unit", "pending-edit")
    if line:
        console.type(line)
        console.expect(shown)
    if line == "s":
        # Each password prompt takes the end as an empty entry; the empty
        # password's confirmation then meets the end of input.
        for shown in ("confirm: ", "abort): "):
            console.p.sendeof()
            console.expect(shown)
    console.p.sendeof()
    assert console.wait_exit() == 0
    assert unit.config()["hostname"] == "unit"
