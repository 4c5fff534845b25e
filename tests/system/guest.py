"""A whole 32-bit big-endian PowerPC unit under qemu-system-ppc.

The kernel and BusyBox come from tools/system-image (built once, cached);
the initramfs is packed here for every boot from the appliance build's
`setup` and `unitcfg`, the cross C library, the shipped examples/inittab and
the harness's files in tests/system/rootfs.  The unit's state that outlives a
reboot (EEPROM image, clock, lease) is on a small ext2 disk.

Channels, each a Unix socket that QEMU connects to at start:
    uart0   the board's first UART, port 0 (ttyS0)
    uart1   the board's second UART: port 2 (ttyS2), or port 1 with uart1="ttyS1"
    shell   a virtual console (hvc1) with a BusyBox shell for the harness
The kernel's console is a third virtual console (hvc0), written to
console.log; QEMU's record of the UARTs' register writes goes to qemu.log.
"""

import calendar
import fcntl
import importlib.util
import os
import re
import shutil
import socket
import stat
import subprocess
import tempfile
import threading
import time
from importlib.machinery import SourceFileLoader
from pathlib import Path

import pexpect
import pexpect.fdpexpect

ROOT = Path(__file__).resolve().parents[2]
# The appliance build under test: build/ppc, or the folder SYSTEM_BUILD
# names (relative to the source tree).
PPC_BUILD = ROOT / (os.environ.get("SYSTEM_BUILD") or "build/ppc")
SYSROOT = Path("/usr/powerpc-linux-gnu")
HERE = Path(__file__).resolve().parent

# Bounded waits, in seconds.  TCG emulation on a busy 2-core machine is slow,
# so the limits are generous; nothing waits longer than it has to.
BOOT_TIMEOUT = 120
COMMAND_TIMEOUT = 60

# What a clean kernel log never holds.
KERNEL_TROUBLE = (r"Oops|BUG:|WARNING:|Kernel panic|Unable to handle|segfault"
                  r"|nobody cared|hung_task|soft lockup")

F_SETPIPE_SZ = 1031  # fcntl: a pipe's capacity


def _load_unit_tool():
    """tools/unit, for its factory files (identity, lease, boot ROM...)."""
    loader = SourceFileLoader("unit_tool", str(ROOT / "tools" / "unit"))
    spec = importlib.util.spec_from_loader("unit_tool", loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module


_unit_tool = _load_unit_tool()


def system_image():
    """The cached kernel and BusyBox: {"kernel": path, "busybox": path}."""
    out = subprocess.run([str(ROOT / "tools" / "system-image")], check=True,
                         stdout=subprocess.PIPE, text=True).stdout
    return dict(line.split(" ", 1) for line in out.splitlines())


class Cpio:
    """An initramfs in the kernel's "newc" cpio format, written without
    needing root for device nodes."""

    def __init__(self):
        self.entries = []
        self.ino = 1

    def _add(self, name, mode, data=b"", rdev=(0, 0)):
        self.entries.append((name.lstrip("/"), mode, data, rdev, self.ino))
        self.ino += 1

    def dir(self, name):
        self._add(name, stat.S_IFDIR | 0o755)

    def file(self, name, data, mode=0o644):
        self._add(name, stat.S_IFREG | mode, data)

    def symlink(self, name, target):
        self._add(name, stat.S_IFLNK | 0o777, target.encode())

    def chardev(self, name, major, minor):
        self._add(name, stat.S_IFCHR | 0o600, rdev=(major, minor))

    def tree(self, src, dest=""):
        """Copies a folder of the source tree, modes and all."""
        for dirpath, dirnames, filenames in os.walk(src):
            rel = os.path.relpath(dirpath, src)
            base = dest if rel == "." else os.path.join(dest, rel)
            if base:
                self.dir(base)
            dirnames.sort()
            for f in sorted(filenames):
                p = os.path.join(dirpath, f)
                self.file(os.path.join(base, f), Path(p).read_bytes(),
                          os.stat(p).st_mode & 0o777)

    def pack(self):
        out = bytearray()

        def entry(name, mode, data, rdev, ino):
            nm = name.encode() + b"\0"
            hdr = "070701" + "".join("%08X" % v for v in (
                ino, mode, 0, 0, 1, 0, len(data), 0, 0, rdev[0], rdev[1],
                len(nm), 0))
            out.extend(hdr.encode() + nm)
            out.extend(b"\0" * (-len(out) % 4))
            out.extend(data)
            out.extend(b"\0" * (-len(out) % 4))

        for e in self.entries:
            entry(*e)
        entry("TRAILER!!!", 0, b"", (0, 0), 0)
        return bytes(out)


# What the harness adds to the shipped inittab: its start-up script and its
# shell on a virtual console.
INITTAB_HARNESS = """
# Added by the test harness: its start-up script and its shell.
::sysinit:/etc/rcS
hvc1::respawn:/bin/sh
"""


def build_initramfs(busybox):
    """The initramfs, as bytes."""
    c = Cpio()
    for d in ("bin", "sbin", "usr", "usr/bin", "usr/sbin", "lib", "dev", "proc",
              "sys", "tmp", "var", "var/log", "var/run", "var/lib", "var/lib/unit",
              "etc", "etc/unit", "etc/ppp"):
        c.dir(d)
    c.chardev("dev/console", 5, 1)
    c.file("bin/busybox", Path(busybox).read_bytes(), 0o755)
    c.symlink("init", "/bin/busybox")
    applets = subprocess.run(
        ["qemu-ppc", busybox, "--list-full"], check=True, stdout=subprocess.PIPE,
        text=True).stdout.split()
    harness_bins = set(os.listdir(HERE / "rootfs" / "bin"))
    for a in applets:
        if os.path.basename(a) in harness_bins or a == "bin/busybox":
            continue
        c.symlink(a, "/bin/busybox")
    for prog in ("setup", "unitcfg"):
        c.file("usr/sbin/" + prog, (PPC_BUILD / prog).read_bytes(), 0o755)
    # The C library the binaries are linked against, as the unit has it.
    for lib in ("ld.so.1", "libc.so.6"):
        c.file("lib/" + lib, (SYSROOT / "lib" / lib).resolve().read_bytes(), 0o755)
    c.file("etc/inittab", (ROOT / "examples" / "inittab").read_bytes()
           + INITTAB_HARNESS.encode())
    c.file("etc/unit/identity", _unit_tool.IDENTITY.encode())
    c.file("etc/ppp/init.chat", _unit_tool.INIT_CHAT.encode())
    c.file("etc/version", b"3.4.1 build 2042 (test system)\n")
    c.file("etc/hostname", b"unit\n")
    c.file("etc/passwd", b"root:x:0:0:root:/root:/bin/sh\n")
    c.file("etc/group", b"root:x:0:\n")
    c.file("var/screen.bin", _unit_tool.screen_record())
    c.tree(HERE / "rootfs")
    return c.pack()


def make_disk(path, rtc="1700000000 1\n"):
    """The unit's persistent state: an ext2 file system holding the clock
    record, the DHCP lease and the boot ROM; the EEPROM image is made on the
    unit at its first boot."""
    with tempfile.TemporaryDirectory() as d:
        Path(d, "rtc").write_text(rtc)
        Path(d, "dhcp.lease").write_text(_unit_tool.DHCP_LEASE)
        Path(d, "bootrom.img").write_bytes(_unit_tool.boot_rom())
        subprocess.run(["mke2fs", "-q", "-F", "-t", "ext2", "-d", d, str(path), "2M"],
                       check=True, stdout=subprocess.DEVNULL)


class Channel(pexpect.fdpexpect.fdspawn):
    """One of the unit's lines as seen from the far end.

    A thread drains the socket into a large pipe that pexpect reads: QEMU's
    UART hands the socket one byte per write, so an unread socket fills after
    a few hundred bytes and would stall the guest's output (and with it a
    kernel printing to that UART)."""

    PIPE_SIZE = 1 << 20

    def __init__(self, sock, logfile):
        self.sock = sock
        rfd, self._wfd = os.pipe()
        fcntl.fcntl(rfd, F_SETPIPE_SZ, self.PIPE_SIZE)
        self._drain = threading.Thread(target=self._copy, daemon=True)
        self._drain.start()
        super().__init__(rfd, timeout=COMMAND_TIMEOUT, encoding=None, logfile=logfile)

    def _copy(self):
        try:
            while True:
                data = self.sock.recv(65536)
                if not data:
                    break
                os.write(self._wfd, data)
        except OSError:
            pass
        finally:
            os.close(self._wfd)

    def send(self, data):
        if self.logfile is not None:
            self.logfile.write(data)
            self.logfile.flush()
        self.sock.sendall(data)
        return len(data)

    def silent_for(self, seconds):
        """True when nothing arrives for that long (a check for silence, so
        the wait is the point)."""
        try:
            self.read_nonblocking(1, timeout=seconds)
        except pexpect.TIMEOUT:
            return True
        return False

    def close_channel(self):
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()
        self._drain.join(5)
        self.close()


class ShellError(AssertionError):
    pass


class System:
    """One boot of the unit.  Tests talk to it through uart0, uart1 and
    sh()."""

    def __init__(self, workdir, kernel, initramfs, disk, uart1="ttyS2"):
        self.dir = Path(workdir)
        self.kernel = kernel
        self.initramfs = initramfs
        self.disk = disk
        self.uart1_role = uart1
        self.proc = None
        self.marker = 0
        self.boot_started = None

    # -- life --------------------------------------------------------------
    def start(self):
        self.dir.mkdir(parents=True, exist_ok=True)
        # Short socket paths: a Unix socket's name is limited to 107 bytes.
        self.sockdir = Path(tempfile.mkdtemp(prefix="ppc-"))
        listeners = {}
        for name in ("uart0", "uart1", "shell"):
            s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            s.bind(str(self.sockdir / name))
            s.listen(1)
            listeners[name] = s
        cmdline = "console=hvc0 panic=-1 unit.uart1=%s" % self.uart1_role
        args = [
            "qemu-system-ppc", "-M", "ppce500", "-cpu", "e500mc", "-m", "256",
            "-nodefaults", "-no-reboot", "-display", "none", "-monitor", "none",
            "-kernel", self.kernel, "-initrd", str(self.initramfs),
            "-append", cmdline,
            "-chardev", "socket,id=uart0,path=%s" % (self.sockdir / "uart0"),
            "-chardev", "socket,id=uart1,path=%s" % (self.sockdir / "uart1"),
            "-serial", "chardev:uart0", "-serial", "chardev:uart1",
            "-device", "virtio-serial-pci,id=vs",
            "-chardev", "file,id=klog,path=%s" % (self.dir / "console.log"),
            "-device", "virtconsole,chardev=klog,bus=vs.0",
            "-chardev", "socket,id=shell,path=%s" % (self.sockdir / "shell"),
            "-device", "virtconsole,chardev=shell,bus=vs.0",
            "-chardev", "null,id=spare2", "-device", "virtconsole,chardev=spare2,bus=vs.0",
            "-chardev", "null,id=spare3", "-device", "virtconsole,chardev=spare3,bus=vs.0",
            "-drive", "file=%s,format=raw,if=none,id=disk" % self.disk,
            "-device", "virtio-blk-pci,drive=disk",
            "-msg", "timestamp=on", "-D", str(self.dir / "qemu.log"),
            "-trace", "serial_write",
        ]
        self.qemu_out = open(self.dir / "qemu.out", "ab")
        self.boot_started = time.monotonic()
        self.proc = subprocess.Popen(args, stdin=subprocess.DEVNULL,
                                     stdout=self.qemu_out, stderr=subprocess.STDOUT)
        conns = {}
        for name, s in listeners.items():
            s.settimeout(BOOT_TIMEOUT)
            conn, _ = s.accept()
            s.close()
            conns[name] = conn
        self.uart0 = Channel(conns["uart0"], open(self.dir / "uart0.log", "ab"))
        self.uart1 = Channel(conns["uart1"], open(self.dir / "uart1.log", "ab"))
        self.shell = Channel(conns["shell"], open(self.dir / "shell.log", "ab"))
        self._shell_ready()
        return self

    def _shell_ready(self):
        # The shell respawns on hvc1 once init runs; quiet its echo and
        # prompts so that a command's output is all that comes back.
        deadline = time.monotonic() + BOOT_TIMEOUT
        while True:
            self.shell.send(b"\n")
            try:
                self.shell.expect(rb"# ", timeout=5)
                break
            except pexpect.TIMEOUT:
                if time.monotonic() > deadline or self.proc.poll() is not None:
                    raise AssertionError("no shell on hvc1: see %s" % self.dir)
        self.shell.send(b"stty -echo; set +m; PS1=''; PS2=''; export PS1 PS2\n")
        self.sh("true")
        self.boot_seconds = time.monotonic() - self.boot_started

    def wait_exit(self, timeout):
        """QEMU's exit status once the guest has stopped (with -no-reboot a
        reboot stops it)."""
        try:
            return self.proc.wait(timeout)
        finally:
            if self.proc.poll() is not None:
                self.close()

    def close(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        for ch in ("uart0", "uart1", "shell"):
            c = getattr(self, ch, None)
            if c is not None:
                c.close_channel()
        if getattr(self, "sockdir", None):
            shutil.rmtree(self.sockdir, ignore_errors=True)
        if getattr(self, "qemu_out", None):
            self.qemu_out.close()

    # -- the harness's shell -------------------------------------------------
    def sh_rc(self, command, timeout=COMMAND_TIMEOUT):
        """Runs a command line in the guest; (exit status, output)."""
        self.marker += 1
        end = b"@@%d@@" % self.marker
        self.shell.send(b"{ " + command.encode() + b"\n} </dev/null 2>&1; echo \"@@$?" + end
                        + b"\"\n")
        self.shell.expect(rb"@@(\d+)" + re.escape(end), timeout=timeout)
        out = self.shell.before.decode(errors="replace").replace("\r\n", "\n")
        return int(self.shell.match.group(1)), out.lstrip("\n")

    def sh(self, command, timeout=COMMAND_TIMEOUT):
        """Runs a command line that must succeed; its output."""
        rc, out = self.sh_rc(command, timeout)
        if rc != 0:
            raise ShellError("%r exited %d:\n%s" % (command, rc, out))
        return out

    def read(self, path):
        return self.sh("cat " + path)

    def set_config(self, **values):
        self.sh("/usr/sbin/unitcfg set " + " ".join(
            "%s='%s'" % (k, v) for k, v in values.items()))

    def config(self, key):
        return self.sh("/usr/sbin/unitcfg get %s" % key).strip()

    def clock(self):
        """The guest kernel's clock, in seconds since the epoch.  Read as a
        date: the C library's strftime gives -1 for %s past 2038 on this
        32-bit target, whatever the width of time_t."""
        text = self.sh("date -u '+%Y %m %d %H %M %S'").split()
        return calendar.timegm(tuple(int(n) for n in text) + (0, 0, 0))

    def syslog(self):
        return self.sh("cat /var/log/messages")

    def wait_log(self, pattern, timeout=COMMAND_TIMEOUT):
        """The first line of the system log matching pattern (an extended
        regular expression), as soon as there is one."""
        return self.sh("waitfor %d /var/log/messages '%s'" % (timeout, pattern),
                       timeout=timeout + 10).strip()

    def kernel_log(self):
        return (self.dir / "console.log").read_text(errors="replace")

    def kernel_troubles(self):
        """The lines of the kernel's log that tell of an oops, a warning, a
        panic or a stuck interrupt."""
        return [line for line in self.kernel_log().splitlines()
                if re.search(KERNEL_TROUBLE, line)]
