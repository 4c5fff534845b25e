"""The simulated unit itself: what every other end-to-end test relies on."""
import os


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


def test_reboot_is_refused_without_the_capability(unit):
    # With CAP_SYS_BOOT it ends the sandbox: the agent's restart action shows that.
    reboot = ["/usr/bin/python3", "-c",
              "import ctypes,sys; ctypes.CDLL(None).reboot(0x01234567); sys.exit(3)"]
    assert unit.run_cmd(reboot).returncode == 3


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
