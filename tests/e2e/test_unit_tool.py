"""The simulated unit itself: what every other end-to-end test relies on."""
import os
import shutil
import subprocess

from unit import PY, ROOT, TOOL


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
    # An option value may start with '-': a login shell's name.
    assert tool("--argv0", "-setup", "/bin/sh", "-c", 'echo "$0"').stdout == b"-setup\n"


def test_without_a_build_the_tools_say_what_is_missing(tmp_path):
    # A fresh checkout: the tools with no build/ beside them.
    (tmp_path / "tools").mkdir()
    for name in ("unit", "serial-port"):
        shutil.copy(ROOT / "tools" / name, tmp_path / "tools")

    env = {k: v for k, v in os.environ.items() if k != "UNIT_BUILD"}

    def tool(*args):
        return subprocess.run([PY, str(tmp_path / "tools" / args[0]), *args[1:]],
                              cwd=tmp_path, capture_output=True, text=True,
                              stdin=subprocess.DEVNULL, env=env)
    for args, missing in [(("unit", "run", "-V"), "setup"), (("unit", "run", "-t", "usb"), "setup"),
                          (("unit", "run", "/bin/unitcfg", "dump"), "unitcfg"),
                          (("serial-port", "2"), "setup")]:
        r = tool(*args)
        assert (r.returncode, r.stdout) == (2, ""), args
        assert "build/host/%s is missing: run `make build` first" % missing in r.stderr, args
    r = tool("unit", "init")
    assert r.returncode == 1 and "no EEPROM image yet" in r.stderr
    assert sorted(os.listdir(tmp_path / ".unit/bin")) == ["chat", "ipmi", "ping", "pppd", "sh"]


def test_run_gives_an_older_unit_what_it_never_had(tmp_path):
    # A unit made before the build has no EEPROM image: the first run with
    # the build makes it.  A file taken away later stays away until init.
    (tmp_path / "tools").mkdir()
    shutil.copy(TOOL, tmp_path / "tools")
    d = tmp_path / "unit"
    subprocess.run([PY, str(tmp_path / "tools/unit"), "-d", str(d), "init"], capture_output=True)
    assert not (d / "var/lib/unit/eeprom.img").exists()

    def run(*args):
        return subprocess.run([PY, str(TOOL), "-d", str(d), *args], capture_output=True,
                              text=True, stdin=subprocess.DEVNULL)
    r = run("run", "/bin/unitcfg", "get", "passwd")
    assert (r.returncode, r.stdout) == (0, "admin\n"), r.stderr
    lease = d / "var/lib/unit/dhcp.lease"
    lease.unlink()
    run("run", "/bin/sh", "-c", "true")
    assert not lease.exists()
    run("init")
    assert lease.exists()


def test_unitcfg_verify_checks_each_configuration_given(unit):
    saved = unit.config()
    text = "".join("%s=%s\n" % kv for kv in saved.items())
    moved = text.replace("gateway=0\n", "gateway=%d\n" % (172 << 24 | 16 << 16 | 1))
    r = unit.run_cmd(["/bin/unitcfg", "verify"], input=(text + "\n" + moved).encode())
    assert (r.returncode, r.stdout.decode()) == (1, "ok\nDefault gateway 172.16.0.1 "
                                                 "is not a host of the LAN subnet.\n")
    r = unit.run_cmd(["/bin/unitcfg", "verify"], input=text.encode())
    assert (r.returncode, r.stdout) == (0, b"ok\n")
