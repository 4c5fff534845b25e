"""The appliance's binary on the whole system: batch modes, the console on
the serial console, the SNMP agent and its actions, the self-tests, the
system log, and a kernel that stays clean through all of it."""

import re

from guest import INITTAB_HARNESS, KERNEL_TROUBLE, ROOT

PREFIX = ".1.3.6.1.4.1.53177.2"
MENU = rb"\nChoice: "
PROMPT = rb"Please press Enter to activate this console\.\.\. "
# The classic syslog line of BusyBox syslogd's file: the sender's time
# stamp, the host, facility.level, the tag with the pid, the message.
CLASSIC = r"^[A-Z][a-z]{2} [ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9] unit local0\.%s setup\[[0-9]+\]: %s$"

# The agent's walk, as the SNMP daemon does it, through a pair of pipes.
WALK = r"""
mkfifo /tmp/req /tmp/ans
/usr/sbin/setup -S </tmp/req >/tmp/ans &
exec 3>/tmp/req 4</tmp/ans
printf 'PING\n' >&3; read -r pong <&4; echo "$pong"
oid=%s
while :; do
  printf 'getnext\n%%s\n' "$oid" >&3
  read -r answer <&4
  [ "$answer" = NONE ] && break
  read -r type <&4; read -r value <&4
  echo "$answer|$type|$value"
  oid=$answer
done
exec 3>&- 4<&-
wait
rm /tmp/req /tmp/ans
""" % PREFIX


def agent(unit, requests):
    """The agent's answer to a fixed list of request lines."""
    text = "".join(line + "\\n" for line in requests)
    return unit.sh("printf '%s' | /usr/sbin/setup -S" % text)


def oid_key(oid):
    return [int(n) for n in oid.strip(".").split(".")]


def test_init_runs_the_shipped_inittab(unit):
    shipped = (ROOT / "examples" / "inittab").read_text()
    assert unit.read("/etc/inittab").replace("\r\n", "\n") == shipped + INITTAB_HARNESS
    log = unit.syslog()
    for tty in ("ttyS0", "ttyS2", "ttyS3"):
        assert "tty '/dev/%s': '/usr/sbin/setup -I'" % tty in log, log


def test_version_report(unit):
    out = unit.sh("/usr/sbin/setup -V")
    lines = out.splitlines()
    assert lines[:2] == ["product=K", "board=B"]
    # No board driver and no USB controller on this system: zeros.
    assert "fpga=0" in lines and "usb_chip=0" in lines
    assert 'bootrom="(build 117)"' in lines
    assert lines[-2:] == ["oem_version=3", "oem_brand=Simulated"]


def commit_machine_name(uart, name):
    """Enter at port 0's prompt, then M with name and W on the console."""
    uart.expect(PROMPT)
    uart.send(b"\r")
    uart.expect(MENU)
    uart.send(b"m\r")
    uart.expect(rb"Machine name \[[^\]]*\]: ")
    uart.send(name + b"\r")
    uart.expect(MENU)
    uart.send(b"w\r")
    uart.expect(rb"Changes commited\.")


def test_console_commit_then_x_puts_the_settings_in_place(unit):
    commit_machine_name(unit.uart0, b"ppcunit")
    unit.uart0.expect(rb"Press Enter to continue\.\.\.")
    unit.uart0.send(b"\r")
    unit.uart0.expect(rb"Machine name: ppcunit\r\n")
    unit.uart0.expect(MENU)
    assert unit.config("hostname") == "ppcunit"

    unit.sh("rm -f /etc/hostname /etc/network.conf")
    unit.sh("echo '1900000000 1' >/var/lib/unit/rtc")
    unit.sh("/usr/sbin/setup -x")
    # The kernel's clock now runs from the clock record...
    assert 1900000000 <= unit.clock() < 1900000000 + 60
    # ...and the files are written from the stored configuration.
    assert unit.read("/etc/hostname").strip() == "ppcunit"
    assert "HOSTNAME" in unit.read("/etc/network.conf")
    unit.uart0.send(b"q\r")
    unit.uart0.expect(PROMPT)


def test_x_leaves_the_clock_alone_when_the_record_is_not_valid(unit):
    unit.sh("date -s @1800000000 >/dev/null")
    unit.sh("echo '2000000000 0' >/var/lib/unit/rtc; /usr/sbin/setup -x")
    assert 1800000000 <= unit.clock() < 1800000000 + 60


def test_agent_walks_the_whole_subtree_over_a_pipe(unit):
    out = unit.sh(WALK)
    lines = out.splitlines()
    assert lines[0] == "PONG"
    rows = [line.split("|", 2) for line in lines[1:]]
    oids = [r[0] for r in rows]
    assert len(rows) > 50
    assert all(o.startswith(PREFIX + ".") for o in oids)
    # Each answer lies after the one before: the walk ends, and skips nothing
    # twice.
    keys = [oid_key(o) for o in oids]
    assert keys == sorted(keys) and len(set(map(tuple, keys))) == len(keys)
    values = {r[0]: (r[1], r[2]) for r in rows}
    assert values[PREFIX + ".2.1"] == ("integer", "0")
    assert values[PREFIX + ".2.5"] == ("string", "1024x768 @ 60Hz")
    assert values[PREFIX + ".4.2"] == ("string", "022136")
    assert values[PREFIX + ".4.3"] == ("octet", "02 00 5e 10 00 01.")
    assert values[PREFIX + ".4.8"][1].startswith("Linux version 6.1.")
    assert "ppcunit" in [v for _, v in values.values()]


def test_network_restart_runs_the_script_on_the_console_and_logs(unit):
    out = agent(unit, ["set", PREFIX + ".2.2", "integer 4321"])
    assert out.splitlines() == ["success"]
    line = unit.wait_log(r"Warm restart via SNMP request\.$")
    assert re.match(CLASSIC % ("notice", r"Warm restart via SNMP request\."), line), line
    record = unit.sh("waitfor 30 /var/log/stubs/rc.network 'fd 2 '; cat /var/log/stubs/rc.network")
    assert "fd 0 /dev/console" in record and "fd 1 /dev/console" in record


def test_refused_actions_are_not_logged(unit):
    out = agent(unit, ["set", PREFIX + ".2.1", "integer 4321",
                       "set", PREFIX + ".2.2", "integer 1234"])
    assert out.splitlines() == ["not-writable", "not-writable"]
    assert "reboot via SNMP" not in unit.syslog()


def test_self_tests_fail_cleanly_without_their_drivers(unit):
    # No unit drivers on this system: each device test stops with its
    # report and a failure status of its own, never a signal or a hang.
    last_lines = {
        "atx": "testATX: open qerl/0: No such file or directory",
        "keyboard": "testK: open dev kbd: No such file or directory",
        "mouse": "testM: open dev ms: No such file or directory",
        "rport": "FAILED",
        "usb": "FAILED",
    }
    for name, last in last_lines.items():
        rc, out = unit.sh_rc("timeout 60 /usr/sbin/setup -t %s" % name, timeout=90)
        assert 0 < rc < 124, (name, rc, out)
        assert out.rstrip().splitlines()[-1] == last, (name, out)
    # The EEPROM is the unit's own, on its disk: that test passes.
    rc, out = unit.sh_rc("/usr/sbin/setup -t eeprom")
    assert (rc, out.rstrip().splitlines()[-1]) == (0, "PASSED"), out


def test_syslog_holds_the_lines_in_the_classic_format(unit):
    log = unit.syslog()
    ours = [line for line in log.splitlines() if " setup[" in line]
    assert ours, log
    for line in ours:
        assert re.match(CLASSIC % (r"(notice|err)", ".+"), line), line


def test_kernel_log_is_clean(unit):
    # The kernel's own record (its console keeps only what was printed).
    dmesg = unit.sh("dmesg")
    assert not [line for line in dmesg.splitlines() if re.search(KERNEL_TROUBLE, line)]
    assert not unit.kernel_troubles()
    assert "ttyS0 at MMIO" in dmesg and "ttyS1 at MMIO" in dmesg
