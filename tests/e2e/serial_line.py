"""The far end of a serial port served by `setup -I` in the simulated unit:
the test holds the master side of the pty that the unit sees as /dev/ttyS<N>."""
import os
import re
import signal
import termios
import time

NOTICE, ERROR = 0x85, 0x83
PROMPT = b"\r\nPlease press Enter to activate this console... "
EXPECTING = b"\r\nExpecting a modem, if human, type admin password! (Or start PPP)\r\n\n"
CLEAR = b"\x1b[H\x1b[J\r"
# A chat script that sends the init string it is given, as a modem's own
# configuration would.
INIT_CHAT = "ABORT ERROR\nABORT BUSY\n'' \\T\nOK ''\n"
REAL_CHAT = [("/usr/sbin/chat", "/bin/chat")]


def init_string(unit):
    return (unit.get("modemInit") or "ATE0S0=1&K3").encode()


def getty(unit, port, **kw):
    return unit.spawn("-I", tty="/dev/ttyS%d" % port, **kw)


def modem(unit, port=0, config=None, **kw):
    """A getty in modem mode talking to the real chat; returns once the
    init string reached the modem (the test's side)."""
    unit.path("/etc/ppp/init.chat").write_text(INIT_CHAT)
    unit.set_config(pppEnable=1, **(config or {}))
    kw["binds"] = list(kw.get("binds", ())) + REAL_CHAT
    line = getty(unit, port, **kw)
    line.expect_exact(init_string(unit) + b"\r", timeout=15)
    return line


def answer_ok(line):
    line.send(b"\r\nOK\r\n")
    line.expect_exact(EXPECTING)


def wait_log(unit, wanted, timeout=10):
    """Waits for a log line (message text, or (priority, text)); returns the
    whole log."""
    end = time.monotonic() + timeout
    while True:
        log = unit.log()
        if any(wanted in (msg, (prio, msg)) for prio, msg in log):
            return log
        assert time.monotonic() < end, "no log line %r in %r" % (wanted, log)
        time.sleep(0.05)


def messages(unit):
    return [msg for _, msg in unit.log()]


def setup_pid(line):
    """The process id of setup itself inside the sandbox."""
    todo = [line.proc.pid]
    while todo:
        pid = todo.pop()
        try:
            with open("/proc/%d/comm" % pid) as f:
                if f.read().strip() == "setup":
                    return pid
            with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
                todo += [int(p) for p in f.read().split()]
        except OSError:
            pass
    raise AssertionError("setup is not running")


def kill(line, sig):
    os.kill(setup_pid(line), sig)
    return line.wait(10)


def settings(line):
    """The pty's line settings as the far end reads them."""
    iflag, _, cflag, _, ispeed, ospeed, _ = termios.tcgetattr(line.slave)
    return {"speed": ospeed, "ispeed": ispeed, "cflag": cflag, "iflag": iflag}


def traced(trace, call):
    """The lines of a strace log that show the given call."""
    return [l for l in trace if re.search(r"\b%s\(" % call, l)]


def strace_file(tmp_path, calls):
    path = tmp_path / "trace"
    return path, "%s:%s" % (path, calls)
