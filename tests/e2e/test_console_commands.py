"""The console's commands and editors, driven on a pseudo-terminal, with
their effect on the saved configuration read back after a commit."""

import pytest

from console_dialogue import PAUSE, Console, addr, set_lease

NETWORK = dict(ip=addr("10.1.2.3"), netmask=addr("255.255.0.0"),
               gateway1=addr("10.1.0.1"), bcast=addr("10.1.255.255"),
               ip2=addr("172.16.5.9"), netmask2=addr("255.255.255.0"),
               gateway2=addr("172.16.5.1"), bcast2=addr("172.16.5.255"),
               gateway=addr("10.1.0.254"), dhcpEnable="0", bridgeEnable="0")


@pytest.fixture
def console(unit):
    unit.set_config(**NETWORK)
    c = Console(unit)
    c.start()
    yield c
    c.close()


def ask(console, line, label, current):
    console.type(line)
    console.expect("\n%s [%s]: " % (label, current))


def test_wan_selector_lasts_until_the_next_redraw(console, unit):
    wan_ip = "Secondary (WAN) IP Address"
    for line, label, current, answer in [
            ("i2", wan_ip, "172.16.5.9", "172.16.5.10"),
            ("i", wan_ip, "172.16.5.10", ""),  # no redraw since i2
            ("I2", wan_ip, "172.16.5.10", ""), ("i2x", wan_ip, "172.16.5.10", ""),
            ("gw", "Default gateway (or 0.0.0.0 for none)", "10.1.0.254", ""),
            ("g", "Secondary (WAN) Gateway (or 0.0.0.0)", "172.16.5.1", ""),
            ("n", "Secondary (WAN) Netmask", "255.255.255.0", ""),
            ("B", "Secondary (WAN) Broadcast", "172.16.5.255", "")]:
        ask(console, line, label, current)
        console.type(answer)
        console.read_to_prompt()
    for line, label, current in [
            ("IX", "IP Address", "10.1.2.3"), ("g", "Network gateway (or 0.0.0.0 for none)", "10.1.0.1"),
            ("gW", "Default gateway (or 0.0.0.0 for none)", "10.1.0.254"),
            ("GW", "Default gateway (or 0.0.0.0 for none)", "10.1.0.254"),
            ("g2", "Secondary (WAN) Gateway (or 0.0.0.0)", "172.16.5.1"),
            ("N2", "Secondary (WAN) Netmask", "255.255.255.0"),
            ("b2", "Secondary (WAN) Broadcast", "172.16.5.255")]:
        console.redraw()
        ask(console, line, label, current)
        console.type("")
        console.read_to_prompt()
    # A line starting with a blank is no command.
    assert "Network Setup" in console.command(" i")
    console.commit()
    assert unit.config()["ip2"] == addr("172.16.5.10")
    assert unit.config()["ip"] == addr("10.1.2.3")


def test_address_editor_refuses_and_asks_again(console, unit):
    ask(console, "i", "IP Address", "10.1.2.3")
    for bad, message in [("/0", "mask-style. Try again with /24."),
                         ("/33", "mask-style. Try again with /24."),
                         ("/", "mask-style. Try again with /24."),
                         ("/abc", "mask-style. Try again with /24."),
                         ("10.1.2", "IP address. Try again."),
                         ("10.1.2.256", "IP address. Try again.")]:
        console.type(bad)
        console.expect("\nBad %s\n\nIP Address [10.1.2.3]: " % message)
    console.type("/24x")  # mask style is taken at any address prompt
    console.read_to_prompt()
    assert "  IP Address: 255.255.255.0\n".replace("\n", "\r\n") in console.redraw()
    console.type("r")
    console.expect("\nAll changes have been undone." + PAUSE)
    console.enter()
    ask(console, "n", "Netmask", "255.255.0.0")
    console.type("/8")
    console.read_to_prompt()
    ask(console, "g", "Network gateway (or 0.0.0.0 for none)", "10.1.0.1")
    console.type("0")
    console.read_to_prompt()
    console.commit()
    saved = unit.config()
    assert (saved["netmask"], saved["bcast"], saved["gateway1"]) == (
        addr("255.0.0.0"), addr("10.255.255.255"), "0")


def test_empty_entries_change_nothing_but_netmask_recomputes_broadcast(unit):
    unit.set_config(**dict(NETWORK, bcast=addr("10.1.2.255")))
    console = Console(unit)
    try:
        console.start()
        for line in ("i", "n", "gw", "m"):
            console.type(line)
            console.type("")
            console.read_to_prompt()
        screen = console.redraw()
        assert "   Broadcast: 10.1.255.255\r\n" in screen
        assert "    W - Commit" in screen and "pending" not in screen
    finally:
        console.close()


def test_machine_name_characters(console, unit):
    ask(console, "m", "Machine name", "unit")
    console.type("my unit#1")
    console.expect("\nSorry, ' ' is not allowed in this string.\n\nMachine name [unit]: ")
    console.type("unit#1")
    console.expect("\nSorry, '#' is not allowed in this string.\n")
    console.type("unit-7.lab_A")
    console.read_to_prompt()
    ask(console, "M", "Machine name", "unit-7.lab_A")
    console.type("")
    console.read_to_prompt()
    console.commit()
    assert unit.config()["hostname"] == "unit-7.lab_A"
    ask(console, "m", "Machine name", "unit-7.lab_A")
    console.type("n" * 40)  # only 31 characters fit
    console.read_to_prompt()
    console.commit()
    assert unit.config()["hostname"] == "n" * 31


CONFIRM = "\nAre you sure you want to %s?\nType YES if you want to do this (anything else to abort): "


def test_resets_need_yes(unit):
    unit.set_config(**NETWORK, sshdPort="2222", hostname="keep-me")
    console = Console(unit)
    try:
        console.start()
        for answer in ("yes", "Yes", "YES please"):
            console.type("h")
            console.expect(CONFIRM % "erase firewall, network ports, RADIUS config")
            console.type(answer)
            console.expect("\nAborted." + PAUSE)
            assert ">>>" not in console.enter()
        console.type("h")
        console.type("YES")
        assert ">>> W" in console.read_to_prompt()
        console.commit()
        assert unit.config()["sshdPort"] == "22"

        console.type("f")
        console.expect(CONFIRM % "erase all settings, user accounts, everything")
        console.type("no")
        console.expect("\nAborted." + PAUSE)
        console.enter()
        console.type("F")
        console.type("YES")
        console.expect("\nRestored all settings to factory defaults (but you\n"
                       "can still restore old settings, until committed)." + PAUSE)
        screen = console.enter()
        assert ">>> W" in screen and "Machine name: keep-me" not in screen
        console.type("r")
        console.expect("\nAll changes have been undone." + PAUSE)
        screen = console.enter()
        assert ">>>" not in screen and "Machine name: keep-me" in screen
    finally:
        console.close()


def test_switches(console, unit):
    set_lease(unit, ip="10.1.9.9", netmask="255.255.0.0")
    for expected in ("enabled", "disabled"):
        console.type("d")
        console.expect("\nDHCP has been %s.%s" % (expected, PAUSE))
        console.enter()
    assert ">>> W" in console.command("e")
    console.commit()
    saved = unit.config()
    # Switching DHCP off keeps the lease's address as the fixed one.
    assert (saved["dhcpEnable"], saved["bridgeEnable"], saved["ip"]) == (
        "0", "1", addr("10.1.9.9"))


def test_password_change(console, unit):
    def change(first, second):
        console.type("s")
        console.expect("\nNew master password: ")
        console.send(first)
        if second is not None:
            console.expect("  Again, to confirm: ")
            console.send(second)

    change("secret-1", "secret-2")
    assert "secret" not in console.expect("\nTwo passwords didn't match; Nothing changed." + PAUSE)
    assert ">>>" not in console.enter()
    change("p" * 32, None)
    console.expect("\nPassword too long (at most 31 characters); Nothing changed." + PAUSE)
    console.enter()
    change("", "")
    console.expect(CONFIRM % "use an EMPTY password?!")
    console.type("no")
    console.expect("\nAborted." + PAUSE)
    assert ">>>" not in console.enter()
    change("p" * 31, "p" * 31)
    assert "ppp" not in console.expect("\nMaster password changed." + PAUSE)
    console.enter()
    console.commit()
    assert unit.config()["passwd"] == "p" * 31
    change("", "")
    console.type("YES")
    console.expect("\nMaster password changed." + PAUSE)
    console.enter()
    console.commit()
    assert unit.config()["passwd"] == ""


def test_ping_remembers_its_target(console, unit):
    targets = []
    for current, answer, pinged in [("10.1.0.254", "/99", None),  # retried below
                                    (None, "10.1.1.1", "10.1.1.1"),
                                    ("10.1.1.1", "", "10.1.1.1"),
                                    ("10.1.1.1", "0", "0.0.0.0"),
                                    ("10.1.0.254", "", "10.1.0.254")]:
        if current:
            ask(console, "p", "Ping which IP address (10 packets)", current)
        console.type(answer)
        if pinged is None:
            console.expect("\nBad mask-style. Try again with /24.\n")
            continue
        console.expect("\n\n\nDone." + PAUSE)
        console.enter()
        targets.append(pinged)
    calls = unit.calls("ping")
    assert [c["argv"][1:] for c in calls] == [["-c", "10", t] for t in targets]


def test_shell_and_configuration_file(console):
    ask(console, "m", "Machine name", "unit")
    console.type("written-out")
    console.read_to_prompt()
    console.type(">")
    console.expect("\nDone." + PAUSE)
    console.enter()
    console.type("!")
    console.send("grep hostname= /var/run/config.txt; echo shell-$((6*7))")
    console.expect("hostname=written-out")
    console.expect("shell-42")
    console.send("exit")
    assert "Network Setup" in console.read_to_prompt()


def test_unknown_command(console):
    console.type("x")
    console.expect("\nUnknown command. Try again" + PAUSE)
    console.enter()


def test_health_report_counts_once_a_second(console):
    console.type("Z")
    for n in ("0001", "0002", "0003"):
        console.expect("\nSystem is working fine: %s\n" % n)
    assert console.p.isalive()


@pytest.mark.parametrize("where", ["prompt", "address", "confirmation",
                                   "password", "pause"])
def test_end_of_input_ends_the_console(console, unit, where):
    ask(console, "m", "Machine name", "unit")
    console.type("pending-edit")
    console.read_to_prompt()
    line, shown = {"prompt": (None, None), "address": ("i", "10.1.2.3]: "),
                   "confirmation": ("h", "abort): "),
                   "password": ("s", "password: "),
                   "pause": ("x", "continue...")}[where]
    if line:
        console.type(line)
        console.expect(shown)
    if where == "password":
        # Each password prompt takes the end as an empty entry; the empty
        # password's confirmation then meets the end of input.
        console.end_of_input()
        console.expect("confirm: ")
        console.end_of_input()
        console.expect("abort): ")
    console.end_of_input()
    assert console.wait_exit() == 0
    assert unit.config()["hostname"] == "unit"
