"""The far end of a serial port served by `setup -I` in the simulated unit:
the test holds the master side of the pty that the unit sees as /dev/ttyS<N>."""
import os
import select
import termios
import time

NOTICE, ERROR = 0x85, 0x83
PROMPT = b"\r\nPlease press Enter to activate this console... "
EXPECTING = b"\r\nExpecting a modem, if human, type admin password! (Or start PPP)\r\n\n"
BYE = b"\r\n\nTimeout - Bye.\r\n"
CLEAR = b"\x1b[H\x1b[J\r"
# A chat script that sends the init string it is given, as a modem's own
# configuration would.
INIT_CHAT = "ABORT ERROR\nABORT BUSY\n'' \\T\nOK ''\n"


def init_string(unit):
    return (unit.get("modemInit") or "ATE0S0=1&K3").encode()


def getty(unit, port, **kw):
    return unit.spawn("-I", tty="/dev/ttyS%d" % port, **kw)


def modem(unit, port=0, config=None, ok=True, **kw):
    """A getty in modem mode talking to the real chat, the test playing the
    modem; with ok, the init is answered and the service is waiting."""
    unit.path("/etc/ppp/init.chat").write_text(INIT_CHAT)
    unit.set_config(pppEnable=1, **(config or {}))
    kw["binds"] = list(kw.get("binds", ())) + [("/usr/sbin/chat", "/bin/chat")]
    line = getty(unit, port, **kw)
    line.expect_exact(init_string(unit) + b"\r", timeout=15)
    if ok:
        answer_ok(line)
    return line


def answer_ok(line):
    line.send(b"\r\nOK\r\n")
    line.expect_exact(EXPECTING)


def wait_log(unit, message, timeout=10):
    """Waits until the captured log holds the message; returns the messages."""
    end = time.monotonic() + timeout
    while message not in messages(unit):
        assert time.monotonic() < end, "no %r in %r" % (message, messages(unit))
        time.sleep(0.05)
    return messages(unit)


def messages(unit):
    return [msg for _, msg in unit.log()]


def quiet(line, seconds):
    """True when the line says nothing for this long."""
    return not select.select([line.child_fd], [], [], seconds)[0]


def kill(line, sig):
    """Sends a signal to setup itself inside the sandbox; its exit status."""
    todo = [line.proc.pid]
    while todo:
        pid = todo.pop()
        try:
            with open("/proc/%d/comm" % pid) as f:
                if f.read().strip() == "setup":
                    os.kill(pid, sig)
                    return line.wait(10)
            with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
                todo += [int(p) for p in f.read().split()]
        except OSError:
            pass
    raise AssertionError("setup is not running")


def settings(line):
    """The pty's line settings as the far end reads them."""
    iflag, _, cflag, _, ispeed, ospeed, _ = termios.tcgetattr(line.slave)
    return {"speed": ospeed, "ispeed": ispeed, "cflag": cflag, "iflag": iflag}


def handed_over(unit, program, port):
    """The one call of a hand-over stub: its arguments after the name, and
    that it got the port as 0 and 1 with every other descriptor closed."""
    [call] = unit.calls(program)
    assert (call["fds"], call["tty"]) == ([0, 1], "/dev/ttyS%d" % port)
    return call["argv"][1:]
