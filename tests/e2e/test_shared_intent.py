"""What each program meant, it keeps, with other programs saving between any
two of its steps: unsaved edits survive a refresh, a commit saves only what
passed the checks, values only shown are never saved, a change is stored
whole or refused, and the files the unit follows are rendered whole from the
stored settings by one renderer at a time."""
import os
import re
import stat
import subprocess

from console_dialogue import PAUSE, addr, console_on
from serial_line import modem, wait_log
from snmp_agent import P, Agent, answer
from unit import program_pid
from test_shared_store import fill

IMAGE = "/var/lib/unit/eeprom.img"
LAN = dict(ip=addr("192.168.1.10"), netmask=addr("255.255.255.0"),
           bcast=addr("192.168.1.255"), netaddr=addr("192.168.1.0"),
           gateway1="0", gateway="0", dhcpEnable="0", ip2="0", hostname="before")
MOVED = dict(ip=addr("10.0.0.5"), netmask=addr("255.0.0.0"),
             bcast=addr("10.255.255.255"), netaddr=addr("10.0.0.0"))
RENDERED = ("/etc/hostname", "/etc/network.conf", "/etc/unit/services.conf",
            "/etc/unit/accounts")


def rendered(unit):
    return {f: unit.path(f).read_bytes() if unit.path(f).exists() else None
            for f in RENDERED}


class Unreadable:
    """The image made unreadable for a while: a directory in its place opens
    and locks, but every read of it fails."""

    def __init__(self, unit):
        self.image = unit.eeprom
        self.aside = self.image.with_name("eeprom.aside")

    def __enter__(self):
        self.image.rename(self.aside)
        self.image.mkdir()

    def __exit__(self, *exc):
        self.image.rmdir()
        self.aside.rename(self.image)


def test_an_agents_unsaved_class_survives_others_saves(unit):
    agent = Agent(unit)
    assert agent.set(".3.1.1.3.2", "string alice") == "success\n"
    # The class is not saved on its own; another program saves meanwhile.
    assert agent.set(".3.1.1.6.2", "integer 3") == "success\n"
    unit.set_config(hostname="x")
    assert agent.get(".3.1.1.6.2") == answer(".3.1.1.6.2", "integer", "3")
    # The next saving change stores it, beside the other program's save.
    assert agent.set(".3.1.1.4.2", "string pw") == "success\n"
    saved = unit.config()
    assert (saved["user_0_class"], saved["hostname"]) == ("2", "x")
    assert b"alice:2:" in unit.path("/etc/unit/accounts").read_bytes()


def test_a_commit_saves_only_a_merge_that_passes_the_checks(unit):
    console = console_on(unit, LAN)
    console.edit("gw", "Default gateway (or 0.0.0.0 for none)", "0.0.0.0", "192.168.1.1")
    files = rendered(unit)
    unit.set_config(**MOVED)
    image = unit.eeprom.read_bytes()
    console.type("w")
    console.expect("Writing... Failed!\n\nDefault gateway 192.168.1.1 is not a host of")
    console.expect("\nPlease correct..." + PAUSE)
    # Nothing saved or applied; the edit is still pending.
    assert ">>> W" in console.command("")
    assert unit.eeprom.read_bytes() == image and rendered(unit) == files
    # Undone, the move is taken in; a gateway that fits it is committed.
    console.type("r")
    console.expect("\nAll changes have been undone." + PAUSE)
    console.command("")
    console.edit("gw", "Default gateway (or 0.0.0.0 for none)", "0.0.0.0", "10.0.0.1")
    console.commit()
    saved = unit.config()
    assert (saved["gateway"], saved["ip"]) == (addr("10.0.0.1"), MOVED["ip"])
    conf = unit.path("/etc/network.conf").read_text()
    assert "LAN_IP=10.0.0.5\n" in conf and "DEFAULT_GATEWAY=10.0.0.1\n" in conf


def test_the_lease_shown_on_the_screen_is_not_saved(unit):
    unit.set_lease(ip="192.168.7.23", netmask="255.255.255.0", gateway="192.168.7.1",
                   default_gateway="192.168.7.1")
    console = console_on(unit, dict(LAN, dhcpEnable="1"))
    console.edit("m", "Machine name", "before", "after")
    # Another program switches DHCP off with a static address of its own.
    static = dict(dhcpEnable="0", ip=addr("10.9.8.7"), netmask=addr("255.255.0.0"),
                  bcast=addr("10.9.255.255"), netaddr=addr("10.9.0.0"))
    unit.set_config(**static)
    console.commit()
    saved = unit.config()
    assert {k: saved[k] for k in static} == static
    assert (saved["hostname"], saved["gateway1"]) == ("after", "0")


def test_a_netmask_that_does_not_fit_with_its_broadcast_is_not_stored(unit):
    # A short broadcast text: the mask fits, its recomputed broadcast not.
    fill(unit, **dict(LAN, bcast="1"))
    console = console_on(unit)
    console.ask("n", "Netmask", "255.255.255.0")
    console.type("/16")
    console.expect("\nThe configuration is full; nothing was stored.\n")
    console.read_to_prompt()
    screen = console.command("")
    assert "Netmask: 255.255.255.0\r\n" in screen


def test_an_snmp_set_that_cannot_be_saved_is_refused_and_undone(unit):
    unit.set_config(location="old", sshdPort="22", user_0_name="u", numusers="1")
    sets = ((".1.1.1.3.33", "string new"), (".2.1.1.6.1", "integer 2222"),
            (".3.1.1.3.2", "string v"))
    # An image that can be read but not written.
    agent = Agent(unit, ro_binds=[(unit.eeprom, IMAGE)])
    for oid, value in sets:
        before = agent.get(oid)
        assert agent.set(oid, value) == "not-writable\n", oid
        assert agent.get(oid) == before
    agent.close()
    # One that cannot be read: the factory settings the agent falls back to
    # are not to be saved over it.
    with Unreadable(unit):
        agent = Agent(unit)
        for oid, value in sets:
            assert agent.set(oid, value) == "not-writable\n", oid
        agent.close()
    saved = unit.config()
    assert (saved["location"], saved["sshdPort"], saved["user_0_name"]) == ("old", "22", "u")


def test_a_set_value_with_a_nul_is_refused(unit):
    unit.set_config(location="old")
    agent = Agent(unit)
    agent.proc.stdin.write(b"set\n" + (P + ".1.1.1.3.33").encode() + b"\nstring ab\0cd\n")
    agent.proc.stdin.flush()
    assert agent.line() == "not-writable\n"
    assert agent.get(".1.1.1.3.33") == answer(".1.1.1.3.33", "string", "old")
    agent.close()
    assert "SNMP: Request line holds a NUL, refused" in [m for _, m in unit.log()]


def test_renderers_at_once_write_whole_files_from_the_newest_settings(unit):
    # A directory where a shared temporary name would be: only a renderer
    # with a temporary of its own can write the file.
    unit.path("/etc/network.conf.new").mkdir()
    # What a renderer killed while writing left behind.
    unit.path("/etc/unit/accounts.Ab3xY9").write_text("half")
    for round in range(8):
        unit.set_config(hostname="h%d" % round)
        runs = [subprocess.Popen(unit.tool_args(["/bin/setup", "-x"]),
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
                for _ in range(3)]
        unit.set_config(hostname="last%d" % round, ip=addr("10.0.%d.1" % round))
        assert [p.wait(30) for p in runs] == [0, 0, 0]
        assert unit.run("-x").returncode == 0
        conf = unit.path("/etc/network.conf").read_text()
        assert "HOSTNAME='last%d'\n" % round in conf
        assert "LAN_IP=10.0.%d.1\n" % round in conf and conf.endswith("\n")
    assert not [m for _, m in unit.log() if "cannot write" in m]
    # No temporary is left behind, not even a dead renderer's.
    left = [n for d in ("/etc", "/etc/unit") for n in os.listdir(unit.path(d))
            if re.fullmatch(r"(hostname|(network|resolv|services)\.conf|accounts)\.\w{6}", n)]
    assert left == []


def test_planted_links_are_replaced_not_followed(unit, tmp_path):
    victim = tmp_path / "victim"
    victim.write_text("keep me\n")
    victim.chmod(0o644)
    run = tmp_path / "run"   # the unit's /var/run
    run.mkdir()
    for name in ("/etc/hostname", "/etc/network.conf", "/etc/unit/accounts"):
        unit.path(name + ".new").symlink_to(victim)
    (run / "config.txt.new").symlink_to(victim)
    os.link(victim, unit.path("/etc/unit/services.conf.new"))
    assert unit.run("-x").returncode == 0
    console = console_on(unit, binds=[(run, "/var/run")])
    console.type(">")
    console.expect("\nDone." + PAUSE)
    console.p.close()
    assert (victim.read_text(), stat.S_IMODE(victim.stat().st_mode)) == ("keep me\n", 0o644)
    assert stat.S_IMODE(unit.path("/etc/unit/accounts").stat().st_mode) == 0o600
    dump = run / "config.txt"
    assert not dump.is_symlink() and stat.S_IMODE(dump.stat().st_mode) == 0o600


def test_an_unreadable_store_leaves_the_rendered_files_alone(unit):
    unit.run("-x")
    files = rendered(unit)
    with Unreadable(unit):
        assert unit.run("-x").returncode == 1
    assert rendered(unit) == files
    assert ("Configuration: the stored settings could not be read; the unit's files "
            "are left as they are.") in [m for _, m in unit.log()]


def test_a_new_image_is_readable_by_its_owner_only(unit):
    unit.eeprom.unlink()
    assert unit.run("-W").returncode == 0
    assert stat.S_IMODE(unit.eeprom.stat().st_mode) == 0o600


def open_files(outer, name):
    """Descriptor number -> what it names, of the program name below the
    process outer (the unit's sandbox)."""
    fds = "/proc/%d/fd" % program_pid(outer, name)
    return {int(n): os.readlink(os.path.join(fds, n)) for n in os.listdir(fds)}


def test_after_a_failed_hand_over_the_store_keeps_off_the_standard_streams(unit):
    unit.path("/bin/ipmi").unlink()   # the hand-over at start-up fails
    line = modem(unit, port=2, config={"ipmiEnable": 1, "ipmisPort": 2, "passwd": "old"})
    wait_log(unit, "IPMI failed to start.")
    # The store looks at the image again, the log client writes again.
    unit.set_config(passwd="new")
    line.send(b"new\r")
    line.expect_exact(b"\x1b[H\x1b[J\r")
    line.expect("Choice: ")
    fds = open_files(line.proc.pid, "setup")
    # Descriptors 2 to 39 were closed for the hand-over: none of them may
    # now be the store's image, least of all standard error.
    assert 2 not in fds, fds
    assert not [n for n, what in fds.items() if n < 40 and what.endswith("eeprom.img")], fds
