"""Getty mode on a modem port, the test playing the modem: the real chat
initialises it, then what arrives is sorted line by line."""
import pexpect
import pytest

from serial_line import (CLEAR, EXPECTING, answer_ok, handed_over, init_string,
                         messages, modem, wait_log)

WELCOME = b"\r\nWelcome. PPP starts now. Use PAP to authentica \bte.\r\n\n"


def test_lines_from_the_modem_are_logged_by_kind(unit):
    # With an empty password nothing admits: empty lines never get compared.
    line = modem(unit, config={"passwd": ""})
    line.send(b"\r\nRING\r\n\r\nRINGING\r\nOK\rok\r12345\rab\tc\xe9\r\r\x15\r")
    line.send(b"\x00\bx\x7fABC\bD" + b"Z" * 76 + b"Z\r")  # 79 characters cut off
    log = wait_log(unit, "Noise from modem: Z")
    assert log[log.index("Modem init okay."):] == [
        "Modem init okay.", "Phone line rings!", "Noise from modem: RINGING",
        "Noise from modem: OK", "Noise on serial port: ok", "Noise on serial port: 12345",
        "Noise on serial port: ab.c.", "Noise from modem: ABD" + "Z" * 76,
        "Noise from modem: Z"]


def test_failed_init_still_waits_for_the_modem(unit):
    line = modem(unit, ok=False)
    line.send(b"\r\nERROR\r\n")
    line.expect_exact(EXPECTING)
    line.send(b"OK\r")
    assert wait_log(unit, "Noise from modem: OK")[-2] == "Modem init chat script failed."


def test_init_string_reaches_chat_whole_as_one_argument(unit):
    # The unit's stand-in chat records the words it is given.  Split at its
    # blanks, the second string would give chat a report file.
    fits, too_long = "A" * 987, "A" * 988
    for init in ("", "AT&F S0=2 -r /var/report", fits, too_long):
        unit.set_config(pppEnable=1, modemInit=init)
        line = unit.spawn("-I", tty="/dev/ttyS3")
        line.expect_exact(EXPECTING)
        line.close()
    assert [c["argv"][1:] for c in unit.calls("chat")] == [
        ["-t", "20", "-f", "/etc/ppp/init.chat", "-T", init]
        for init in ("ATE0S0=1&K3", "AT&F S0=2 -r /var/report", fits)]
    assert messages(unit)[-2:] == ["Modem init string too long, not sent.",
                                   "Modem init chat script failed."]


def test_init_string_with_options_in_it_goes_to_the_modem(unit):
    # The real chat sends the string (modem() waits for all of it) and
    # opens no report file.
    modem(unit, config={"modemInit": "ATZ -r /var/report -v"})
    assert wait_log(unit, "Modem init okay.")
    assert not unit.path("/var/report").exists()


def test_no_carrier_reinitialises_without_a_new_dtr_pulse(unit, tmp_path):
    line = modem(unit, strace="%s:ioctl" % (tmp_path / "trace"))
    line.send(b"\r\nNO CARRIER\r\n")
    line.expect_exact(init_string(unit) + b"\r")
    answer_ok(line)
    line.close()
    assert (tmp_path / "trace").read_text().count("TIOCMSET") == 2


def test_connect_hands_the_line_to_pppd_after_the_welcome(unit):
    line = modem(unit, port=2)
    line.send(b"ATD\r\nxxCONNECT 115200/V42\r\n")
    line.expect_exact(WELCOME)
    line.expect(pexpect.EOF)
    assert line.before == b"" and line.wait() == 0 and handed_over(unit, "pppd", 2) == []
    assert messages(unit)[-3:] == [
        "Noise from modem: ATD", "Modem answers: CONNECT 115200/V42",
        "Starting PPP (for auth) on port 2 (/dev/ttyS2)"]


@pytest.mark.parametrize("frame", [b"\x7e\xff\x03\xc0\x21", b"\x7e\xff\x7d\x23\xc0\x21"])
def test_ppp_client_frame_hands_the_line_to_pppd(unit, frame):
    line = modem(unit)
    line.send(b"\x7e\xff\x03\xc0\x22\r" + frame)  # a near miss first
    line.expect(pexpect.EOF)
    assert messages(unit)[-3:] == ['Noise on serial port: ~..."', "Saw PPP startup from client.",
                                   "Starting PPP (for auth) on port 0 (/dev/ttyS0)"]
    assert handed_over(unit, "pppd", 0) == []


def test_admin_password_admits_after_editing(unit):
    line = modem(unit, config={"passwd": "Se cret"})
    line.send(b"se cret\r\bwrong\x15Se cre\x18Se crex\x7ft\r")
    line.expect_exact(CLEAR)
    line.expect("Choice: ")
    assert wait_log(unit, "Got admin password on modem port.")[-2:] == [
        "Noise on serial port: se cret", "Got admin password on modem port."]


def test_ipmi_bytes_start_ipmi_and_make_the_port_the_ipmi_port(unit):
    line = modem(unit, port=2, config={"ipmiEnable": 1, "ipmisPort": 0})
    line.send(b"OK\xa0\r")
    line.expect_exact(b"\nNow starting IPMI on this serial port.\n\n")
    line.expect(pexpect.EOF)
    assert handed_over(unit, "ipmi", 2) == ["-S"] and unit.config()["ipmisPort"] == "2"
    assert messages(unit)[-1] == "Starting IPMI (serial) on port 2 (/dev/ttyS2)"


def test_ipmi_bytes_are_dropped_while_ipmi_is_disabled(unit):
    line = modem(unit, config={"ipmiEnable": 0, "ipmisPort": 3})
    line.send(b"O\xa5\xa6K\xaa\r")
    assert wait_log(unit, "Noise from modem: OK")[-4:] == [
        "IPMI is disabled, not starting it."] * 3 + ["Noise from modem: OK"]
    assert unit.config()["ipmisPort"] == "3" and not unit.calls("ipmi")
