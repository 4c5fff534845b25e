"""Getty mode on a terminal port: the prompt, admission, and what ends it."""
import fcntl
import os
import re
import signal
import struct
import termios
import time

import pexpect
import pytest

from serial_line import (BYE, CLEAR, ERROR, NOTICE, PROMPT, getty, handed_over, kill,
                         modem, quiet, wait_log)


def unread(line):
    """Bytes sent to the port that setup has not read yet."""
    return struct.unpack("i", fcntl.ioctl(line.slave, termios.FIONREAD, b"\0" * 4))[0]


@pytest.mark.parametrize("keys", [b"\r", b"\n", b"anything\xa5\r"])
def test_enter_admits_to_the_console_menu(unit, keys):
    line = getty(unit, 2)
    line.expect_exact(PROMPT)
    line.send(keys)
    line.expect_exact(CLEAR)  # written by main on admission, before the menu
    line.expect("Choice: ")
    assert not unit.calls("ipmi")


def test_prompt_repeats_only_in_answer_to_bytes_and_once_a_second(unit):
    line = getty(unit, 2)
    line.expect_exact(PROMPT)
    line.send(b"x" * 40)
    while unread(line):  # until setup has taken in the whole burst
        time.sleep(0.02)
    out = b""
    while not quiet(line, 0.5):
        out += os.read(line.child_fd, 4096)
    # The burst spans at most two clock seconds: at most one prompt each.
    assert out.replace(PROMPT, b"") == b"" and out.count(PROMPT) <= 2, out
    assert quiet(line, 1.2)  # time alone brings no prompt
    line.send(b"z")
    line.expect_exact(PROMPT)
    assert quiet(line, 0.5)


def test_ppp_client_is_handed_to_pppd_even_with_ppp_disabled(unit):
    unit.set_config(pppEnable=0)
    line = getty(unit, 2)
    line.expect_exact(PROMPT)
    line.send(b"\x7e\xff\x7d\x23\xc0\x21")
    line.expect(pexpect.EOF)
    assert line.wait() == 0 and handed_over(unit, "pppd", 2) == []
    assert unit.log()[-2:] == [(NOTICE, "Saw PPP startup from client."),
                               (NOTICE, "Starting PPP (for auth) on port 2 (/dev/ttyS2)")]


def test_failed_pppd_leaves_the_dialogue_going(unit, tmp_path):
    unit.path("/bin/pppd").unlink()
    line = getty(unit, 2, strace="%s:alarm,execve,connect" % (tmp_path / "trace"))
    line.expect_exact(PROMPT)
    line.send(b"\x7e\xff\x03\xc0\x21")
    wait_log(unit, "PPPd failed to start.")
    line.send(b"\r")
    line.expect_exact(CLEAR)
    line.close()
    assert unit.log()[-1] == (ERROR, "PPPd failed to start.")
    calls = (tmp_path / "trace").read_text()
    assert "alarm(0)" in calls and 'execve("/bin/pppd", ["pppd"]' in calls
    # The log reconnects after the closed descriptors, never on standard error.
    log_fds = re.findall(r'connect\((\d+), \{sa_family=AF_UNIX, sun_path="/dev/log"', calls)
    assert len(log_fds) >= 2 and min(map(int, log_fds)) >= 3, calls


@pytest.mark.parametrize("where", ["prompt", "menu", "modem"])
@pytest.mark.parametrize("sig, text, message", [
    (signal.SIGALRM, BYE, "Timeout during login process. Give up"),
    (signal.SIGHUP, b"", "Modem hang up. Reseting"),
])
def test_signals_end_the_process(unit, where, sig, text, message):
    line = modem(unit) if where == "modem" else getty(unit, 2)
    if where == "menu":
        line.expect_exact(PROMPT)
        line.send(b"\r")
        line.expect("Choice: ")
        # The console's line settings are back: line feeds go out as CR LF.
        text = text.replace(b"\n", b"\r\n")
    elif where == "prompt":
        line.expect_exact(PROMPT)
    assert kill(line, sig) == 0
    line.expect(pexpect.EOF)
    assert line.before == text and unit.log()[-1] == (NOTICE, message)


def test_end_of_input_ends_the_process(unit):
    r = unit.run("-I", input=b"", timeout=10)
    assert (r.returncode, r.stdout) == (0, PROMPT)
    assert unit.log()[-1] == (NOTICE, "Serial port 0 (unknown) closed.")
