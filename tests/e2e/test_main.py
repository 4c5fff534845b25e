"""The command line and start-up of setup, run on a simulated unit."""
import os
import re
import select
import stat
import subprocess
import time

import pytest


USAGE = (b"Use: setup \t\t(it's an interactive program)\n"
         b"\t-x\tSetup config values into place and apply them.\n"
         b"\t-W\tWrite EEPROM and setup config values.\n"
         b"\t-Z\tZap contents of EEPROM (no new defaults).\n"
         b"\t-D\tCopy DHCP lease into into static config.\n"
         b"\t-V\tPrint some version info.\n"
         b"\t-t test\tRun system 'test'.\n"
         b"\t-I\tRun in special getty mode (for IPMI, PPP).\n"
         b"\t-S\tStart SNMP processing.\n\n")

CLOCK_CALLS = "clock_settime,settimeofday"
IMAGE = "/var/lib/unit/eeprom.img"


def clock_sets(trace):
    return [l for l in trace if re.search(r"\b(clock_settime|settimeofday)\(", l)]


class PidFile:
    """The unit's /var/run, bound from a directory of the test's, and the
    pid file that setup puts there (by renaming it into place: it appears
    whole or not at all)."""

    def __init__(self, tmp_path, port):
        run = tmp_path / "run"
        run.mkdir(exist_ok=True)
        self.bind = (run, "/var/run")
        self.path = run / ("setup%d.pid" % port)

    def read(self, timeout=15):
        end = time.monotonic() + timeout
        while True:
            data = b"" if self.path.is_symlink() or not self.path.is_file() \
                else self.path.read_bytes()
            if re.fullmatch(rb"\d+\n", data):
                return data
            assert time.monotonic() < end, "no pid file %s written" % self.path.name
            time.sleep(0.05)


@pytest.fixture
def pid_file(tmp_path):
    return lambda port: PidFile(tmp_path, port)


# ---- usage -------------------------------------------------------------------

@pytest.mark.parametrize("argv0,args,diagnostic", [
    (None, ["-h"], b""),
    (None, ["-?"], b""),
    (None, ["-q"], b"/bin/setup: invalid option -- 'q'\n"),
    (None, ["-t"], b"/bin/setup: option requires an argument -- 't'\n"),
    # The first bad option decides, before any batch option after it runs.
    (None, ["-h", "-Z"], b""),
    # The usage text names the program without its directory; errors as called.
    ("/usr/sbin/setup", ["-h"], b""),
    ("/usr/sbin/setup", ["-k"], b"/usr/sbin/setup: invalid option -- 'k'\n"),
    ("setup", ["-k"], b"setup: invalid option -- 'k'\n"),
    ("./setup", ["-k"], b"./setup: invalid option -- 'k'\n"),
])
def test_usage_errors(unit, argv0, args, diagnostic):
    image = unit.eeprom.read_bytes() if unit.eeprom.exists() else None
    r = unit.run(*args, argv0=argv0)
    assert (r.returncode, r.stdout, r.stderr) == (1, b"", diagnostic + USAGE)
    assert (unit.eeprom.read_bytes() if unit.eeprom.exists() else None) == image


# ---- option order ------------------------------------------------------------

def test_first_batch_option_decides(unit):
    unit.set_config(hostname="from-store")
    image = unit.eeprom.read_bytes()
    r = unit.run("-x", "-W", strace=CLOCK_CALLS)
    assert r.returncode == 0
    assert clock_sets(r.trace), "-x did not run"
    assert unit.path("/etc/hostname").read_text() == "from-store\n"
    assert unit.eeprom.read_bytes() == image, "-W ran after -x"
    # The other way round the save happens, puts the stored configuration
    # into place for the unit's other programs, and the clock is left alone.
    before = unit.config()
    unit.path("/etc/hostname").unlink()
    r = unit.run("-W", "-x", strace=CLOCK_CALLS)
    assert (r.returncode, r.stdout) == (0, b"")
    assert not clock_sets(r.trace)
    assert unit.eeprom.read_bytes() != image
    assert unit.config() == before
    assert unit.path("/etc/hostname").read_text() == "from-store\n"


def test_getty_flag_does_not_outlast_a_batch_option(unit, tmp_path):
    run_dir = tmp_path / "run"
    run_dir.mkdir()
    r = unit.run("-I", "-x", binds=[(run_dir, "/var/run")], timeout=20,
                 strace=CLOCK_CALLS + ",setsid")
    assert r.returncode == 0
    assert clock_sets(r.trace)
    assert not [l for l in r.trace if "setsid(" in l]
    assert list(run_dir.iterdir()) == []


# ---- -Z -------------------------------------------------------------------------

def test_wipe_leaves_an_empty_eeprom_that_reads_as_defaults(unit):
    factory = unit.config()
    unit.set_config(hostname="changed-before-wipe")
    assert unit.config() != factory
    r = unit.run("-Z")
    assert (r.returncode, r.stdout, r.stderr) == (0, b"EEPROM wiped.\n", b"")
    assert unit.config() == {}  # no defaults written
    # The next start loads the factory defaults in their place; saving them
    # shows what it loaded.
    assert unit.run("-W").returncode == 0
    assert unit.config() == factory


# ---- -W -------------------------------------------------------------------------

def etc_snapshot(unit):
    return {p: p.read_bytes() for p in (unit.dir / "etc").rglob("*")
            if p.is_file() and not p.is_symlink()}


@pytest.mark.parametrize("option,status,said", [("-W", 99, b""),
                                                ("-Z", 1, b"EEPROM wipe failed.\n")])
def test_failed_save_keeps_what_was_saved_and_puts_nothing_into_place(unit, option, status,
                                                                       said):
    unit.set_config(hostname="kept")
    etc = etc_snapshot(unit)
    image = unit.eeprom.read_bytes()
    r = unit.run(option, ro_binds=[(unit.eeprom, IMAGE)])  # every write fails
    assert (r.returncode, r.stdout) == (status, said)
    assert unit.eeprom.read_bytes() == image
    assert etc_snapshot(unit) == etc


# ---- -D -------------------------------------------------------------------------

LEASE = dict(ip="10.20.30.40", netmask="255.255.0.0", gateway="10.20.0.1",
             bcast="10.20.255.255", default_gateway="10.20.0.254")


def address(dotted):
    return int.from_bytes(bytes(int(o) for o in dotted.split(".")), "big")


@pytest.mark.parametrize("dhcp,lease", [(1, LEASE), (0, LEASE),
                                        (1, dict(ip="10.9.8.300")), (1, None)])
def test_dhcp_lease_copied_into_static_settings_only_with_dhcp_on_and_a_usable_lease(
        unit, dhcp, lease):
    unit.set_config(dhcpEnable=dhcp, gateway=address("10.0.0.1"))
    if lease:
        unit.set_lease(**lease)
    else:
        unit.path("/var/lib/unit/dhcp.lease").unlink(missing_ok=True)
    before, image, etc = unit.config(), unit.eeprom.read_bytes(), etc_snapshot(unit)
    r = unit.run("-D")
    assert (r.returncode, r.stdout) == (0, b"")
    if not dhcp:
        assert (unit.eeprom.read_bytes(), etc_snapshot(unit)) == (image, etc)
        return
    if lease is not LEASE:
        assert unit.config() == before
        return
    cfg = unit.config()
    got = {k: int(v) & 0xFFFFFFFF for k, v in cfg.items()
           if k in ("ip", "netmask", "gateway1", "bcast", "gateway")}
    assert got == dict(ip=address(LEASE["ip"]), netmask=address(LEASE["netmask"]),
                       gateway1=address(LEASE["gateway"]), bcast=address(LEASE["bcast"]),
                       gateway=address("10.0.0.1"))  # the static default gateway stays
    assert cfg == dict(before, **{k: cfg[k] for k in got})  # nothing else changed


# ---- -x -------------------------------------------------------------------------

@pytest.mark.parametrize("rtc,valid,sets", [
    (1700000000, True, True),
    (-1, True, False),          # unreadable clock, even when reported valid
    (1700000000, False, False),  # a clock that lost its time
])
def test_clock_set_from_rtc_only_when_readable_and_valid(unit, rtc, valid, sets):
    unit.set_rtc(rtc, valid)
    r = unit.run("-x", strace=CLOCK_CALLS)
    # Inside its own user namespace the unit may not set the clock; the
    # attempt is what counts, and a refused attempt is no failure.
    assert r.returncode == 0
    calls = clock_sets(r.trace)
    if sets:
        assert len(calls) == 1 and "tv_sec=1700000000" in calls[0], calls
    else:
        assert calls == []


# ---- getty mode start-up ----------------------------------------------------------

@pytest.mark.parametrize("planted", [None, "symlink", "hard link"])
def test_pid_file_names_the_serial_port(unit, pid_file, tmp_path, planted):
    pf = pid_file(12)
    # A link planted at the pid file's name is replaced, not written through.
    victim = pf.path.parent / "victim"
    victim.write_text("keep me\n")
    victim.chmod(0o600)
    if planted == "symlink":
        pf.path.symlink_to(victim)
    elif planted == "hard link":
        os.link(victim, pf.path)
    child = unit.spawn_cmd(["/bin/sh", "-c", "umask 077; echo pid=$$; exec /bin/setup -I"],
                           tty="/dev/ttyS12", binds=[pf.bind])
    child.expect(rb"pid=(\d+)\r\n")
    assert pf.read() == child.match.group(1) + b"\n"
    # Readable by all whatever the umask; the victim untouched.
    assert stat.S_IMODE(pf.path.stat().st_mode) == 0o644
    assert (victim.read_text(), stat.S_IMODE(victim.stat().st_mode)) == ("keep me\n", 0o600)


@pytest.mark.parametrize("how", ["option", "login name"])
def test_getty_mode_without_terminal_uses_port_0(unit, pid_file, how):
    pf = pid_file(0)
    start = ("exec /bin/setup -I" if how == "option"
             else "exec -a -setup /bin/setup")
    proc = unit.popen(["/usr/bin/bash", "-c", "echo $$; " + start], binds=[pf.bind],
                      popen_args=dict(stdin=subprocess.DEVNULL, stdout=subprocess.PIPE))
    pid = proc.stdout.readline()
    assert pid.strip().isdigit()
    assert pf.read() == pid
