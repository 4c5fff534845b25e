"""The simulated unit itself: what every other end-to-end test relies on."""
import os
import signal



def test_sandbox_keeps_the_host_untouched(unit):
    # Writes land in the unit's own /etc and /var; the host's stay as they are.
    r = unit.run_cmd(["/bin/sh", "-c",
                      "echo x >/etc/probe && echo y >/var/probe && "
                      "echo z >/var/run/probe && ! touch /usr/probe 2>/dev/null && "
                      "! date -s @0 2>/dev/null && grep -c . /proc/self/status >/dev/null"])
    assert r.returncode == 0, r.stderr
    assert (unit.dir / "etc/probe").read_text() == "x\n"
    assert (unit.dir / "var/probe").read_text() == "y\n"
    assert not (unit.dir / "var/run/probe").exists()  # /var/run is private
    assert not os.path.exists("/etc/probe") and not os.path.exists("/usr/probe")


def test_exit_status_and_streams_pass_through(unit):
    r = unit.run_cmd(["/bin/sh", "-c", "cat; echo err >&2; exit 7"], input=b"in\n")
    assert (r.returncode, r.stdout, r.stderr) == (7, b"in\n", b"err\n")
    r = unit.run_cmd(["/bin/sh", "-c", "kill -TERM $$"])
    assert r.returncode == 128 + signal.SIGTERM


def test_reboot_ends_the_unit_only_with_the_capability(unit):
    reboot = ["/usr/bin/python3", "-c",
              "import ctypes,sys; ctypes.CDLL(None).reboot(0x01234567); sys.exit(3)"]
    assert unit.run_cmd(reboot).returncode == 3  # refused without CAP_SYS_BOOT
    assert unit.run_cmd(reboot, caps=["CAP_SYS_BOOT"]).returncode == 128 + signal.SIGHUP


def test_syslog_lines_are_captured_with_priority(unit):
    r = unit.run_cmd(["/bin/sh", "-c",
                      "logger -p local0.notice 'first line' && logger -p local0.err second"])
    assert r.returncode == 0, r.stderr
    assert unit.log()[-2:] == [(0x85, "first line"), (0x83, "second")]


def test_stubs_record_their_calls(unit):
    unit.set_stub("ping", exit=2, stdout="pong\n")
    r = unit.run_cmd(["/bin/sh", "-c", "exec 5</etc/version; ping -c 1 10.0.0.1"])
    assert (r.returncode, r.stdout) == (2, b"pong\n")
    r = unit.run_cmd(["/etc/rc.network", "start"])
    assert r.returncode == 0
    [call] = unit.calls("ping")
    assert call["argv"] == ["/bin/ping", "-c", "1", "10.0.0.1"]
    assert call["fds"] == [0, 1, 2, 5] and call["tty"] is None
    assert unit.calls("rc.network")[0]["argv"][1:] == ["start"]


def test_command_line_of_the_tool(unit):
    import subprocess
    from unit import PY, TOOL

    def tool(*args):
        return subprocess.run([PY, str(TOOL), "-d", str(unit.dir), "run", *args],
                              capture_output=True, stdin=subprocess.DEVNULL,
                              env=dict(os.environ, LEAK="from-host"))

    # Without a command, or with words starting with '-', it runs setup.
    r = tool("--env", "X=1", "-h")
    assert r.returncode == 1 and r.stderr.startswith(b"Use: setup \t\t")
    assert tool("--", "-h").stderr == r.stderr
    # Only the given environment gets in.
    r = tool("--env", "X=a=b", "/bin/sh", "-c", "echo $X $PATH $HOME $LEAK")
    assert r.stdout == b"a=b /bin:/usr/bin:/sbin:/usr/sbin /\n"
