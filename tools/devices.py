"""Stand-in drivers for the simulated unit's device nodes.

The program opens /dev/usbd, /dev/qerl/0, /dev/ps2/0 to /dev/ps2/3 and
/dev/rport and talks to them with plain open, ioctl, read and write.  Here
umockdev answers those calls: its preload library (LD_PRELOAD) sends every
call on a node of the testbed to a handler in this process over a socket in
the testbed directory (UMOCKDEV_DIR).  Run the program with `env()` in its
environment and the testbed directory bound at the same path.

Each stand-in answers the unit's requests in this machine's ioctl encoding
and refuses every other request with ENOTTY.  What the hardware does is set
on the Devices object before the program runs; what the program sent is read
back from it afterwards:

    with Devices() as dev:
        dev.usb_status = 0x90
        unit.run("-t", "usb", env=dev.env(), binds=dev.binds())
        assert dev.requests("/dev/usbd") == ["USBD_CONNECT", "USBD_GET_STATUS"]
"""

import errno
import os
import struct
import threading

import gi

gi.require_version("UMockdev", "1.0")
from gi.repository import GLib, UMockdev  # noqa: E402

PRELOAD = "libumockdev-preload.so.0"

USBD = "/dev/usbd"
QERL = "/dev/qerl/0"
PS2_KBD_DEVICE = "/dev/ps2/0"
PS2_MOUSE_DEVICE = "/dev/ps2/1"
PS2_KBD_HOST = "/dev/ps2/2"
PS2_MOUSE_HOST = "/dev/ps2/3"
RPORT = "/dev/rport"
NODES = (USBD, QERL, PS2_KBD_DEVICE, PS2_MOUSE_DEVICE, PS2_KBD_HOST, PS2_MOUSE_HOST, RPORT)


def _ioc(direction, kind, number, size):
    """A request value in this machine's encoding (the generic Linux one:
    number, type, 14 bits of size, 2 bits of direction)."""
    return (direction << 30) | (size << 16) | (ord(kind) << 8) | number


_NONE, _WRITE, _READ = 0, 1, 2

# The requests, by name, with the size of what the argument points to.
REQUESTS = {
    "USBD_CONNECT": _ioc(_NONE, "z", 5, 0),
    "USBD_SET_DISK_TYPE": _ioc(_WRITE, "z", 0x10, 4),
    "USBD_GET_STATUS": _ioc(_READ, "z", 21, 1),
    "QERL_ATX_TEST": _ioc(_NONE, "z", 12, 0),
    "QERL_GET_BOARD_INFO": _ioc(_READ | _WRITE, "z", 53, 4),
    "PS2D_DELAY_CMD": _ioc(_WRITE, "z", 0, 4),
    "PS2D_GET_STATUS": _ioc(_READ, "z", 13, 3),
    "PS2D_SET_FORWARDING": _ioc(_WRITE, "z", 14, 4),
    "RPORT_GET_STATUS": _ioc(_WRITE, "y", 2, 24),
    "RPORT_POWER_ON": _ioc(_NONE, "y", 4, 0),
    "RPORT_POWER_OFF": _ioc(_NONE, "y", 7, 0),
}
_NAMES = {value: name for name, value in REQUESTS.items()}

# Keyboard loop-back behaviours, one per pattern written to the host side
# while forwarding is off (see Devices.keyboard).
ECHO, GARBLE, NOISE, SHORT, STALL, READ_ERROR = (
    "echo", "garble", "noise", "short", "stall", "read-error")

# How long a read with nothing to answer waits before a signal is taken to
# have interrupted it; longer than any time-out the program arms before it.
STALL_INTERRUPT_SECONDS = 1.5



class Devices:
    """A umockdev testbed with a stand-in behind each of `nodes`.  Nodes left
    out do not exist for the program."""

    def __init__(self, nodes=NODES):
        # Hardware behaviour, set by the tests.
        self.usb_status = 0xF0               # keyboard, mouse, floppy, USB good
        # Board information items 0..7: fpga, pci_dev, cpld, serial, uid_l24,
        # uid_h24, num_adcs, num_inputs.
        self.board_info = [0x23, 0x1013, 5, 0x345678, 0xA1B2C3, 0x000102, 4, 1]
        self.atx_result = 0                  # what the ATX test request returns
        self.mouse_status = bytes([0xC0, 0, 0])
        self.keyboard = []                   # loop-back behaviour per cycle; then ECHO
        # R-port status reads, scripted: (power present, power disabled) for
        # the first reads in turn, any of the four pairs; after them (or
        # with none) the port follows the switch: power on, present and
        # not disabled; power off, disabled and absent.
        self.rport_status = []

        # What the program did, in order: (node, request name, int argument
        # or None); plus the bytes written to each node.
        self.received = []
        self.written = {}

        self._lock = threading.Lock()
        self._failures = {}                  # request name -> [(call or None, errno)]
        self._calls = {}                     # request name -> calls so far
        self._forwarding = 1
        self._echo = bytearray()
        self._read_error = False
        self._waiting_read = None
        self._rport_disabled = False
        self._rport_reads = 0

        self._testbed = UMockdev.Testbed.new()
        # The testbed puts UMOCKDEV_DIR into this process's environment; the
        # program gets it explicitly through env() instead.
        GLib.unsetenv("UMOCKDEV_DIR")
        self.root = self._testbed.get_root_dir()
        self._handlers = []
        for node in nodes:
            placeholder = self.root + node
            os.makedirs(os.path.dirname(placeholder), exist_ok=True)
            open(placeholder, "w").close()
            handler = _Node(self, node)
            self._testbed.attach_ioctl(node, handler)
            self._handlers.append((node, handler))

    def deny(self, node):
        """Make node exist but refuse to open (no permission)."""
        os.chmod(self.root + node, 0)

    def remove(self, node):
        """Take node away: opening it fails with ENOENT."""
        os.unlink(self.root + node)

    # --- for running the program -------------------------------------------

    def env(self):
        """Environment the program needs to reach the stand-ins."""
        return {"UMOCKDEV_DIR": self.root, "LD_PRELOAD": PRELOAD}

    def binds(self):
        """Binds a sandbox needs: the testbed directory at its own path."""
        return ((self.root, self.root),)

    def close(self):
        with self._lock:
            if self._waiting_read is not None:
                self._waiting_read.complete(-1, errno.EIO)
                self._waiting_read = None
        for node, _handler in self._handlers:
            self._testbed.detach_ioctl(node)
        self._handlers = []
        # The testbed removes its directory when it goes away (and aborts
        # the process if someone else removed it first).
        self._testbed = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # --- scripting and reading back ------------------------------------------

    def fail(self, request, err=errno.EIO, call=None):
        """Make `request` fail with `err`: its `call`-th call (1 for the
        first), or every call when call is None."""
        if request not in REQUESTS:
            raise KeyError(request)
        self._failures.setdefault(request, []).append((call, err))

    def requests(self, node=None):
        """Names of the requests received, in order; only node's if given."""
        return [name for n, name, _ in self.received if node is None or n == node]

    def arguments(self, request):
        """Int arguments the program passed with `request`, in order."""
        return [arg for _, name, arg in self.received if name == request]

    @property
    def forwarding(self):
        """Keyboard forwarding state the host-side port was left in."""
        return self._forwarding

    @property
    def rport_powered(self):
        """Whether the R-port was left with power."""
        return self._rport_present()

    # --- the stand-ins --------------------------------------------------------

    def _injected(self, name):
        calls = self._calls[name] = self._calls.get(name, 0) + 1
        for call, err in self._failures.get(name, ()):
            if call is None or call == calls:
                return err
        return 0

    def _rport_present(self):
        return not self._rport_disabled

    def _ioctl(self, node, name, arg):
        """Answers one request: (result, errno, bytes to copy back or None)."""
        if name == "USBD_CONNECT" and node == USBD:
            return 0, 0, None
        if name == "USBD_GET_STATUS" and node == USBD:
            return 0, 0, bytes([self.usb_status])
        if name == "USBD_SET_DISK_TYPE" and node == USBD:
            return 0, 0, None
        if name == "QERL_ATX_TEST" and node == QERL:
            return self.atx_result, 0, None
        if name == "QERL_GET_BOARD_INFO" and node == QERL:
            if not 0 <= arg < len(self.board_info):
                return -1, errno.EINVAL, None
            return 0, 0, struct.pack("i", self.board_info[arg])
        if name == "PS2D_DELAY_CMD" and node == PS2_MOUSE_DEVICE:
            return 0, 0, None
        if name == "PS2D_GET_STATUS" and node == PS2_MOUSE_HOST:
            return 0, 0, bytes(self.mouse_status)
        if name == "PS2D_SET_FORWARDING" and node == PS2_KBD_HOST:
            self._forwarding = arg
            return 0, 0, None
        if node == RPORT and name == "RPORT_POWER_ON":
            self._rport_disabled = False
            return 0, 0, None
        if node == RPORT and name == "RPORT_POWER_OFF":
            self._rport_disabled = True
            return 0, 0, None
        if node == RPORT and name == "RPORT_GET_STATUS":
            read, self._rport_reads = self._rport_reads, self._rport_reads + 1
            present, disabled = (self.rport_status[read] if read < len(self.rport_status)
                                 else (self._rport_present(), self._rport_disabled))
            record = bytes([int(present), int(disabled)])
            return 0, 0, record.ljust(24, b"\0")
        return -1, errno.ENOTTY, None

    def _write(self, node, data):
        """Bytes written to a node; the keyboard's host side loops them back
        to its device side while forwarding is off."""
        self.written.setdefault(node, bytearray()).extend(data)
        if node != PS2_KBD_HOST:
            return -1, errno.EINVAL
        if not self._forwarding:
            behaviour = self.keyboard.pop(0) if self.keyboard else ECHO
            echo = {
                ECHO: data,
                GARBLE: data[:-1] + bytes([data[-1] ^ 0x20]) if data else data,
                NOISE: b"\xfa\xaa" + data,
                SHORT: data[:3],
                STALL: b"",
                READ_ERROR: b"",
            }[behaviour]
            self._echo.extend(echo)
            self._read_error = behaviour == READ_ERROR
            self._answer_waiting_read()
        return len(data), 0

    def _read(self, node, client):
        """A read; the keyboard's device side waits for looped-back bytes."""
        if node != PS2_KBD_DEVICE:
            client.complete(-1, errno.EINVAL)
            return
        self._waiting_read = client
        self._answer_waiting_read()

    def _interrupt_read(self, client):
        with self._lock:
            if self._waiting_read is client:
                self._waiting_read = None
                client.complete(-1, errno.EINTR)

    def _answer_waiting_read(self):
        client = self._waiting_read
        if client is None:
            return
        if self._read_error:
            self._read_error = False
            self._waiting_read = None
            client.complete(-1, errno.EIO)
            return
        if not self._echo:
            # Nothing comes back: the read blocks until a signal ends it.  The
            # preload library keeps the program's signals blocked while a call
            # is out here, so the stand-in ends the read itself, the way the
            # kernel would: with EINTR once the program's one-second alarm,
            # armed before the read was sent, has certainly expired.  The
            # alarm's signal then reaches the program as the call returns.
            timer = threading.Timer(STALL_INTERRUPT_SECONDS, self._interrupt_read, (client,))
            timer.daemon = True
            timer.start()
            return
        arg = client.get_arg()
        n = min(len(self._echo), arg.data_length1)
        arg.update(0, bytes(self._echo[:n]))
        del self._echo[:n]
        self._waiting_read = None
        client.complete(n, 0)


class _Node(UMockdev.IoctlBase):
    """The umockdev side of one node: unpacks the call and hands it to the
    Devices object.  Runs on the testbed's worker thread."""

    def __init__(self, devices, node):
        super().__init__()
        self.devices = devices
        self.node = node

    def do_handle_ioctl(self, client):
        d = self.devices
        name = _NAMES.get(client.get_request())
        with d._lock:
            if name is None:
                client.complete(-1, errno.ENOTTY)
                return True
            size = (client.get_request() >> 16) & 0x3FFF
            try:
                data = client.get_arg().resolve(0, size) if size else None
            except GLib.Error:  # the argument does not point into the program
                client.complete(-1, errno.EFAULT)
                return True
            arg = None
            if size == 4:
                arg = struct.unpack("i", bytes(data.retrieve()))[0]
            d.received.append((self.node, name, arg))
            err = d._injected(name)
            if err:
                client.complete(-1, err)
                return True
            result, err, reply = d._ioctl(self.node, name, arg)
            if reply is not None:
                data.update(0, reply)
            client.complete(result, err)
        return True

    def do_handle_write(self, client):
        d = self.devices
        with d._lock:
            result, err = d._write(self.node, bytes(client.get_arg().retrieve()))
            client.complete(result, err)
        return True

    def do_handle_read(self, client):
        with self.devices._lock:
            self.devices._read(self.node, client)
        return True
