"""A simulated unit for end-to-end tests: a directory made by tools/unit and
the ways to run the real `setup` inside its sandbox and look at what it did.

    u = Unit(path)                      # creates factory state when missing
    r = u.run("-x")                     # CompletedProcess, bytes
    r = u.run("-x", strace="clock_settime")   # r.trace: the trace's lines
    child = u.spawn()                   # pexpect on a pty (console)
    child = u.spawn("-I", tty="/dev/ttyS12")  # a pty bound at /dev/ttyS12
    u.log(), u.config(), u.set_config(k=v), u.calls("pppd")
"""

import json
import os
import pty
import re
import select
import signal
import struct
import subprocess
import tempfile
import termios
import tty as ttymod
from pathlib import Path

import pexpect
import pexpect.fdpexpect
from pexpect.spawnbase import SpawnBase

ROOT = Path(__file__).resolve().parents[2]
TOOL = ROOT / "tools" / "unit"
PY = "/usr/bin/python3"

_SYSLOG = re.compile(
    r"<(\d+)>(?:[A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d )?(?:[^\s:\[]+(?:\[\d+\])?: )?(.*)")


def open_pty(raw=False):
    """A pseudo-terminal pair: (master fd, slave fd, slave's host path).
    The slave can be bound into a unit at a path like /dev/ttyS12."""
    master, slave = pty.openpty()
    if raw:
        ttymod.setraw(slave)
    return master, slave, os.ttyname(slave)


class TtyChild(pexpect.fdpexpect.fdspawn):
    """pexpect on the master side of a pty whose slave the unit opens by a
    path of its own.  End of output is the end of the sandbox (the test keeps
    the slave open, so the pty itself never reports it)."""

    def __init__(self, master, slave, proc, timeout):
        super().__init__(master, timeout=timeout)
        self.proc = proc
        self.slave = slave
        self.pidfd = os.pidfd_open(proc.pid)
        self.exitstatus = None

    def isalive(self):
        return self.proc.poll() is None

    def read_nonblocking(self, size=1, timeout=-1):
        if timeout == -1:
            timeout = self.timeout
        r, _, _ = select.select([self.child_fd, self.pidfd], [], [], timeout)
        if self.child_fd not in r and self.pidfd in r:
            # Exited: whatever it wrote is already queued in the pty.
            r, _, _ = select.select([self.child_fd], [], [], 0)
            if not r:
                self.wait()
                self.flag_eof = True
                raise pexpect.EOF("the unit has ended")
        if self.child_fd in r:
            return SpawnBase.read_nonblocking(self, size)
        raise pexpect.TIMEOUT("timeout reading the unit's terminal")

    def wait(self, timeout=None):
        self.exitstatus = self.proc.wait(timeout)
        return self.exitstatus

    def close(self, force=True):
        self.exitstatus = _end(self.proc)
        for fd in (self.child_fd, self.slave, self.pidfd):
            if fd >= 0:
                try:
                    os.close(fd)
                except OSError:
                    pass
        self.child_fd = self.slave = self.pidfd = -1
        self.closed = True


class Unit:
    def __init__(self, path):
        self.dir = Path(path)
        self._children = []
        if not (self.dir / "etc/unit/identity").exists():
            subprocess.run([PY, str(TOOL), "-d", str(self.dir), "init"], check=True)

    # ---- files of the unit ------------------------------------------------

    @property
    def eeprom(self):
        # Changed only through unitcfg, which writes it in place: processes
        # in the unit keep it open and would not see a file put in its stead.
        return self.dir / "var/lib/unit/eeprom.img"

    def path(self, inside):
        """The host path of a file of the unit given by its path inside."""
        return self.dir / inside.lstrip("/")

    def set_identity(self, **values):
        """Changes identity lines (tf_brand= sets tf.brand; None removes)."""
        kv = _read_kv(self.dir / "etc/unit/identity")
        for k, v in values.items():
            k = k.replace("tf_", "tf.", 1) if k.startswith("tf_") else k
            if v is None:
                kv.pop(k, None)
            else:
                kv[k] = str(v)
        _write_kv(self.dir / "etc/unit/identity", kv)

    def set_lease(self, **values):
        """Replaces the unit's DHCP lease."""
        _write_kv(self.dir / "var/lib/unit/dhcp.lease", values)

    def set_rtc(self, seconds, valid=True):
        (self.dir / "var/lib/unit/rtc").write_text("%d %d\n" % (seconds, 1 if valid else 0))

    def set_screen(self, status=0, refresh=60, width=1024, height=768, state=0, size=248):
        rec = bytearray(max(size, 248))
        struct.pack_into(">i", rec, 20, status)  # big-endian, as the appliance writes it
        struct.pack_into(">3i", rec, 40, refresh, width, height)
        rec[207] = state
        (self.dir / "var/screen.bin").write_bytes(bytes(rec[:size]))

    def set_stub(self, name, stdout):
        """What the stand-in for /bin/<name> (or rc.network) writes when run."""
        (self.dir / "var/lib/unit/stubs" / (name + ".json")).write_text(
            json.dumps({"stdout": stdout}))

    # ---- running ------------------------------------------------------------

    def tool_args(self, command, binds=(), ro_binds=(), env=None, caps=(), argv0=None,
                  stdio=None, strace=None):
        a = [PY, str(TOOL), "-d", str(self.dir), "run"]
        for flag, pairs in (("--bind", binds), ("--ro-bind", ro_binds)):
            for src, dst in pairs:
                a += [flag, str(src), dst]
        a += [w for k, v in (env or {}).items() for w in ("--env", "%s=%s" % (k, v))]
        a += [w for c in caps for w in ("--cap", c)]
        for flag, value in (("--argv0", argv0), ("--stdio", stdio), ("--strace", strace)):
            if value is not None:
                a += [flag, value]
        return a + ["--"] + [str(c) for c in command]

    def run(self, *setup_args, **kw):
        return self.run_cmd(["/bin/setup", *setup_args], **kw)

    def run_cmd(self, command, input=None, timeout=30, strace=None, **kw):
        """Runs a command in the unit and waits.  strace=SYSCALLS ("" for all)
        traces it inside; the result then has .trace, the trace's lines."""
        trace_file = None
        if strace is not None:
            fd, trace_file = tempfile.mkstemp(prefix="unit-trace-")
            os.close(fd)
            kw["strace"] = trace_file + (":" + strace if strace else "")
        proc = subprocess.Popen(self.tool_args(command, **kw), stdin=subprocess.PIPE
                                if input is not None else subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            out, err = proc.communicate(input, timeout=timeout)
        except subprocess.TimeoutExpired:
            proc.terminate()
            proc.communicate()
            raise
        res = subprocess.CompletedProcess(command, proc.returncode, out, err)
        if trace_file:
            res.trace = Path(trace_file).read_text().splitlines()
            os.unlink(trace_file)
        return res

    def popen(self, command, **kw):
        """Starts a command in the unit without waiting (a subprocess.Popen
        of the tool; popen_args go to Popen).  Ended at teardown."""
        popen_args = kw.pop("popen_args", {})
        popen_args.setdefault("stdin", subprocess.DEVNULL)
        proc = subprocess.Popen(self.tool_args(command, **kw), **popen_args)
        self._children.append(proc)
        return proc

    def spawn(self, *setup_args, **kw):
        return self.spawn_cmd(["/bin/setup", *setup_args], **kw)

    def spawn_cmd(self, command, tty=None, timeout=10, line=None, **kw):
        """The command on a terminal, under pexpect: pexpect's own (no name),
        or with tty="/dev/ttyS12" a fresh pty (default line settings, like a
        serial port just opened) bound there as its standard streams, so that
        it has that name and can become a new session's controlling terminal.
        line(attrs) may change the pty's settings (termios.tcgetattr's list)
        before the command starts, so that what the program must set starts
        the other way."""
        if tty is None:
            a = self.tool_args(command, **kw)
            child = pexpect.spawn(a[0], a[1:], timeout=timeout)
            self._children.append(child)
            return child
        master, slave, slave_path = open_pty()
        if line is not None:
            attrs = termios.tcgetattr(slave)
            line(attrs)
            termios.tcsetattr(slave, termios.TCSANOW, attrs)
        kw["binds"] = list(kw.get("binds", ())) + [(slave_path, tty)]
        err = open(self.dir / "spawn.err", "ab")
        proc = subprocess.Popen(self.tool_args(command, stdio=tty, **kw),
                                stdin=subprocess.DEVNULL, stdout=err, stderr=err,
                                start_new_session=True)
        err.close()
        child = TtyChild(master, slave, proc, timeout)
        self._children.append(child)
        return child

    def close(self):
        """Ends whatever is still running in the unit."""
        for c in self._children:
            if isinstance(c, subprocess.Popen):
                _end(c)
            else:
                c.close(force=True)
        self._children = []

    # ---- what happened --------------------------------------------------------

    def log(self):
        """The system log lines the unit wrote: [(priority, message)]."""
        p = self.dir / "syslog"
        lines = p.read_text(errors="replace").splitlines() if p.exists() else []
        return [(int(m.group(1)), m.group(2)) for m in map(_SYSLOG.match, lines) if m]

    def calls(self, stub):
        """Each call of a stub program: dicts with argv, fds, tty, targets."""
        p = self.dir / "var/log/stubs" / stub
        return [json.loads(line) for line in p.read_text().splitlines() if line] \
            if p.exists() else []

    def unitcfg(self, *args):
        r = self.run_cmd(["/bin/unitcfg", *args])
        if r.returncode != 0:
            raise RuntimeError("unitcfg %s: %d %r" % (" ".join(args), r.returncode, r.stderr))
        return r

    def config(self):
        """The saved configuration, as `unitcfg dump` reads it back."""
        return dict(line.split("=", 1) for line in
                    self.unitcfg("dump").stdout.decode().splitlines() if "=" in line)

    def get(self, key):
        return self.unitcfg("get", key).stdout.decode().rstrip("\n")

    def set_config(self, **values):
        self.unitcfg("set", *("%s=%s" % (k, v) for k, v in values.items()))


def program_pid(outer, name):
    """The process running the program name (the last word of its path)
    below the process outer, such as the setup in a sandbox of the tool;
    None when there is none (yet, or any more)."""
    todo = [outer]
    while todo:
        pid = todo.pop()
        try:
            if os.readlink("/proc/%d/exe" % pid).endswith("/" + name):
                return pid
            with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
                todo += [int(c) for c in f.read().split()]
        except OSError:
            pass
    return None


def _end(proc):
    """Terminates a process still running (killing it if it lingers)."""
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
    return proc.wait()


def _read_kv(path):
    kv = {}
    for line in Path(path).read_text().splitlines():
        if line.strip() and not line.lstrip().startswith("#") and "=" in line:
            k, v = line.split("=", 1)
            kv[k.strip()] = v
    return kv


def _write_kv(path, kv):
    Path(path).write_text("".join("%s=%s\n" % kv_ for kv_ in kv.items()))

