"""Getty mode on a modem port, the test playing the modem: the real chat
initialises it, then lines from the modem (or a human) are sorted."""
import signal

import pexpect
import pytest

from serial_line import (CLEAR, EXPECTING, ERROR, NOTICE, answer_ok, init_string,
                         kill, messages, modem, setup_pid, wait_log)

WELCOME = b"\r\nWelcome. PPP starts now. Use PAP to authentica \bte.\r\n\n"


def test_lines_from_the_modem_are_logged_by_kind(unit):
    line = modem(unit)
    answer_ok(line)
    wait_log(unit, (NOTICE, "Modem init okay."))
    line.send(b"\r\nRING\r\n\r\nRINGING\r\nOK\rok\r12345\rab\tc\xe9\r")
    line.send(b"\x00\bx\x7fABC\bD" + b"Z" * 76)  # 79 characters, no line end
    wait_log(unit, "Noise from modem: ABD" + "Z" * 76)
    log = [m for p, m in unit.log() if p == NOTICE]
    assert log[log.index("Modem init okay."):][1:] == [
        "Phone line rings!", "Noise from modem: RINGING", "Noise from modem: OK",
        "Noise on serial port: ok", "Noise on serial port: 12345",
        "Noise on serial port: ab.c.", "Noise from modem: ABD" + "Z" * 76]
    # The cut line was handled whole: the next byte starts a new one.
    line.send(b"Z\r")
    wait_log(unit, "Noise from modem: Z")


def test_failed_init_still_waits_for_the_modem(unit):
    line = modem(unit)
    line.send(b"\r\nERROR\r\n")
    line.expect_exact(EXPECTING)
    wait_log(unit, (NOTICE, "Modem init chat script failed."))
    line.send(b"OK\r")
    wait_log(unit, "Noise from modem: OK")


def test_init_string_reaches_chat_whole(unit):
    # The unit's stand-in chat records what the real one would be given.
    unit.set_config(pppEnable=1, modemInit="")
    line = unit.spawn("-I", tty="/dev/ttyS3")
    line.expect_exact(EXPECTING)
    unit.set_config(modemInit="AT&F S0=2 &K3")
    assert [c["argv"][1:] for c in unit.calls("chat")] == [
        ["-t", "20", "-f", "/etc/ppp/init.chat", "-T", "ATE0S0=1&K3"]]
    line.close()
    line = unit.spawn("-I", tty="/dev/ttyS3")
    line.expect_exact(EXPECTING)
    assert unit.calls("chat")[1]["argv"][6:] == ["AT&F", "S0=2", "&K3"]
    assert unit.calls("chat")[1]["fds"][:2] == [0, 1]


def test_no_carrier_reinitialises_without_a_new_dtr_pulse(unit, tmp_path):
    trace = tmp_path / "trace"
    line = modem(unit, strace="%s:ioctl" % trace)
    answer_ok(line)
    line.send(b"\r\nNO CARRIER\r\n")
    line.expect_exact(init_string(unit) + b"\r")
    answer_ok(line)
    line.close()
    assert sum("TIOCMSET" in l for l in trace.read_text().splitlines()) == 2


def test_connect_hands_the_line_to_pppd(unit):
    line = modem(unit, port=2)
    answer_ok(line)
    line.send(b"ATD\r\nxxCONNECT 115200/V42\r\n")
    line.expect_exact(WELCOME)
    line.expect(pexpect.EOF)
    assert line.before == b"" and line.wait() == 0
    [call] = unit.calls("pppd")
    assert (call["argv"][1:], call["fds"], call["tty"]) == ([], [0, 1], "/dev/ttyS2")
    assert messages(unit)[-3:] == [
        "Noise from modem: ATD", "Modem answers: CONNECT 115200/V42",
        "Starting PPP (for auth) on port 2 (/dev/ttyS2)"]


@pytest.mark.parametrize("frame", [b"\x7e\xff\x03\xc0\x21", b"~\xff\x7d\x23\xc0\x21"])
def test_ppp_client_frame_hands_the_line_to_pppd(unit, frame):
    line = modem(unit)
    answer_ok(line)
    line.send(b"\x7e\xff\x03\xc0\x22\r" + frame)
    line.expect(pexpect.EOF)
    assert messages(unit)[-3:] == ['Noise on serial port: ~..."',
                                   "Saw PPP startup from client.",
                                   "Starting PPP (for auth) on port 0 (/dev/ttyS0)"]
    assert len(unit.calls("pppd")) == 1


def test_admin_password_admits_after_editing(unit):
    line = modem(unit, config={"passwd": "Se cret"})
    answer_ok(line)
    line.send(b"se cret\r" + b"\bwrong\x15Se cre\x18Se crex\x7ft\r")
    line.expect_exact(CLEAR)
    line.expect("Choice: ")
    wait_log(unit, "Got admin password on modem port.")
    assert messages(unit)[-2:] == ["Noise on serial port: se cret",
                                   "Got admin password on modem port."]


def test_empty_password_never_admits(unit):
    line = modem(unit, config={"passwd": ""})
    answer_ok(line)
    line.send(b"\r\n\r\r\n\x15\rOK\r")
    wait_log(unit, "Noise from modem: OK")
    assert "Got admin password on modem port." not in messages(unit)
    assert CLEAR not in line.buffer


def test_ipmi_bytes_start_ipmi_and_make_the_port_the_ipmi_port(unit):
    line = modem(unit, port=2, config={"ipmiEnable": 1, "ipmisPort": 0})
    answer_ok(line)
    line.send(b"OK\xa0\r")
    line.expect_exact(b"\nNow starting IPMI on this serial port.\n\n")
    line.expect(pexpect.EOF)
    [call] = unit.calls("ipmi")
    assert (call["argv"][1:], call["fds"], call["tty"]) == (["-S"], [0, 1], "/dev/ttyS2")
    assert unit.config()["ipmisPort"] == "2"
    assert messages(unit)[-1] == "Starting IPMI (serial) on port 2 (/dev/ttyS2)"


def test_ipmi_bytes_are_dropped_while_ipmi_is_disabled(unit):
    line = modem(unit, config={"ipmiEnable": 0, "ipmisPort": 3})
    answer_ok(line)
    line.send(b"O\xa5\xa6K\xaa\r")
    wait_log(unit, "Noise from modem: OK")
    assert messages(unit)[-4:] == ["IPMI is disabled, not starting it."] * 3 + [
        "Noise from modem: OK"]
    assert unit.config()["ipmisPort"] == "3" and not unit.calls("ipmi")


@pytest.mark.parametrize("sig, message", [(signal.SIGALRM, "Timeout during login process. Give up"),
                                          (signal.SIGHUP, "Modem hang up. Reseting")])
def test_signals_end_the_modem_wait(unit, sig, message):
    line = modem(unit)
    answer_ok(line)
    assert kill(line, sig) == 0
    line.expect(pexpect.EOF)
    assert line.before == (b"\r\n\nTimeout - Bye.\r\n" if sig == signal.SIGALRM else b"")
    assert unit.log()[-1] == (NOTICE, message)
