"""Getty mode on a terminal port: the prompt, admission, and what ends it."""
import os
import select
import signal

import pexpect
import pytest

from serial_line import CLEAR, NOTICE, ERROR, PROMPT, getty, kill, wait_log


def quiet(line, seconds):
    """True when the line says nothing for this long."""
    return not select.select([line.child_fd], [], [], seconds)[0]


@pytest.mark.parametrize("keys", [b"\r", b"\n", b"anything\xa5\r"])
def test_enter_admits_to_the_console_menu(unit, keys):
    line = getty(unit, 2)
    line.expect_exact(PROMPT)
    line.send(keys)
    # The menu follows the screen clear that main writes on admission.
    line.expect_exact(CLEAR)
    line.expect("Choice: ")
    assert not unit.calls("ipmi")


def test_prompt_repeats_only_in_answer_to_bytes_and_once_a_second(unit):
    line = getty(unit, 2)
    line.expect_exact(PROMPT)
    # A burst is answered with at most one prompt per clock second.
    line.send(b"x" * 40)
    out = b""
    while not quiet(line, 0.5):
        out += os.read(line.child_fd, 4096)
    assert out.replace(PROMPT, b"") == b"" and out.count(PROMPT) <= 2, out
    # Time alone brings no prompt; a byte in a later second brings one.
    assert quiet(line, 1.2)
    line.send(b"z")
    line.expect_exact(PROMPT)
    assert quiet(line, 0.5)


def test_ppp_client_is_handed_to_pppd_even_with_ppp_disabled(unit):
    unit.set_config(pppEnable=0)
    line = getty(unit, 2)
    line.expect_exact(PROMPT)
    line.send(b"\x7e\xff\x7d\x23\xc0\x21")
    line.expect(pexpect.EOF)
    assert line.wait() == 0
    [call] = unit.calls("pppd")
    assert (call["argv"][1:], call["fds"], call["tty"]) == ([], [0, 1], "/dev/ttyS2")
    assert [m for p, m in unit.log() if p == NOTICE][-2:] == [
        "Saw PPP startup from client.", "Starting PPP (for auth) on port 2 (/dev/ttyS2)"]


def test_failed_pppd_leaves_the_dialogue_going(unit, tmp_path):
    unit.path("/bin/pppd").unlink()
    trace = tmp_path / "trace"
    line = getty(unit, 2, strace="%s:alarm,execve" % trace)
    line.expect_exact(PROMPT)
    line.send(b"\x7e\xff\x03\xc0\x21")
    wait_log(unit, (ERROR, "PPPd failed to start."))
    line.send(b"\r")
    line.expect_exact(CLEAR)
    line.close()
    calls = trace.read_text()
    assert "alarm(0)" in calls and 'execve("/bin/pppd", ["pppd"]' in calls


@pytest.mark.parametrize("sig, text, message", [
    (signal.SIGALRM, b"\r\n\nTimeout - Bye.\r\n", "Timeout during login process. Give up"),
    (signal.SIGHUP, b"", "Modem hang up. Reseting"),
])
def test_signals_end_the_wait(unit, sig, text, message):
    line = getty(unit, 2)
    line.expect_exact(PROMPT)
    assert kill(line, sig) == 0
    line.expect(pexpect.EOF)
    assert line.before == text
    assert unit.log()[-1] == (NOTICE, message)


def test_signals_stay_routed_in_the_console_menu(unit):
    line = getty(unit, 2)
    line.expect_exact(PROMPT)
    line.send(b"\r")
    line.expect("Choice: ")
    assert kill(line, signal.SIGALRM) == 0
    # The console's line settings are back: line feeds go out as CR LF.
    line.expect_exact(b"\r\r\n\r\nTimeout - Bye.\r\r\n")


def test_end_of_input_ends_the_process(unit):
    unit.set_config(pppEnable=0)
    r = unit.run("-I", input=b"", timeout=10)
    assert (r.returncode, r.stdout) == (0, PROMPT)
    assert unit.log()[-1] == (NOTICE, "Serial port 0 (unknown) closed.")
