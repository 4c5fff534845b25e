"""What a port is for: reserved ports configured and held silent, the modem
line's set-up, and IPMI taking its port at start-up."""
import os
import re
import signal
import termios as T

import pexpect
import pytest

from serial_line import (EXPECTING, ERROR, NOTICE, PROMPT, getty, handed_over, kill,
                         quiet, settings, wait_log)


def opposite(iflag=0, cflag=0):
    """Starts the line with these flags set, CLOCAL and CRTSCTS clear."""
    def change(attrs):
        attrs[0] |= iflag
        attrs[2] = (attrs[2] & ~(T.CLOCAL | T.CRTSCTS)) | cflag
    return change


@pytest.mark.parametrize("port, config, speed, cflags, bad", [
    (1, "9600 7E2", T.B1200, ["CS8"], None),  # serial1 is not consulted
    (0, "38400 7o2", T.B38400, ["CS7", "CSTOPB", "PARENB", "PARODD"], None),
    (3, "2400 5N1", T.B9600, ["CS5"], 2400),
])
def test_reserved_port_is_configured_and_held_silent(unit, tmp_path, port, config, speed,
                                                     cflags, bad):
    # pppEnable set: a reserved port is still no modem port.
    unit.set_config(pppEnable=1, **{"serial%d" % port: config})
    # Stop bits set where the string asks for one; the hardware flow control
    # set, which a reserved port leaves as found.
    line = getty(unit, port, strace="%s:ioctl" % (tmp_path / "trace"),
                 line=opposite(T.IXOFF, T.CSTOPB | T.CRTSCTS))
    said = "Serial port %d (/dev/ttyS%d) setup for %s." % (
        port, port, "1200 8N1" if port == 1 else config)
    wait_log(unit, said)
    s = settings(line)
    assert (s["speed"], s["ispeed"]) == (speed, speed)
    want = T.CLOCAL | T.CRTSCTS | sum(getattr(T, f) for f in ("PARODD", "CSTOPB") if f in cflags)
    assert s["cflag"] & (T.PARODD | T.CSTOPB | T.CLOCAL | T.CRTSCTS) == want
    assert s["iflag"] & (T.IXON | T.IXOFF) == T.IXOFF  # raw mode clears IXON only
    assert quiet(line, 0.3)
    assert kill(line, signal.SIGALRM) == 0 and quiet(line, 0)  # not even "Timeout"
    assert unit.log() == ([(ERROR, "Bad baud rate: %d, using 9600 instead." % bad)]
                          if bad else []) + [
        (NOTICE, said), (NOTICE, "Timeout during login process. Give up")]
    # What a pty does not keep: character size and parity, as applied.
    trace = (tmp_path / "trace").read_text()
    applied = re.findall(r"TCSETS, \{.*c_cflag=([\w|]+)", trace)[-1].split("|")
    assert [f for f in applied if f in ("CS5", "CS7", "CS8", "PARENB", "PARODD", "CSTOPB")
            ] == cflags and "TIOCM" not in trace


@pytest.mark.parametrize("baud, speed", [(57600, T.B57600), (12345, T.B115200)])
def test_modem_line_is_reset_and_paced_by_hardware(unit, tmp_path, baud, speed):
    unit.set_config(pppEnable=1, pppBaud=baud)
    # Software flow control on, modem lines heeded and no hardware flow
    # control: the set-up must turn each of them round.
    line = getty(unit, 0, strace="%s:execve,ioctl,rt_sigaction,clock_nanosleep" %
                 (tmp_path / "trace"), line=opposite(T.IXON | T.IXOFF))
    line.expect_exact(EXPECTING)
    s = settings(line)
    assert s["speed"] == speed and s["cflag"] & T.CRTSCTS and s["cflag"] & T.CLOCAL
    assert not s["iflag"] & (T.IXON | T.IXOFF)
    line.close()
    lines = (tmp_path / "trace").read_text().splitlines()
    start = next(i for i, l in enumerate(lines) if 'execve("/bin/setup"' in l)
    pid = lines[start].split()[0]
    hup, get, low, sleep1, high, sleep2, handler = [
        l for l in lines[start:] if l.split()[0] == pid and
        re.search(r"rt_sigaction\(SIGHUP, \{|TIOCM|nanosleep", l)][:7]
    assert "SIG_IGN" in hup and "TIOCMGET" in get and "tv_sec=1," in sleep1 + sleep2
    assert "TIOCM_DTR" not in low and "TIOCM_DTR" in high and "SIG_IGN" not in handler


def test_only_port_0_is_a_modem_on_restricted_units(unit):
    unit.set_identity(qerl_plek=1)
    unit.set_config(pppEnable=1)
    getty(unit, 2).expect_exact(PROMPT)
    getty(unit, 0).expect_exact(EXPECTING)
    assert len(unit.calls("chat")) == 1


@pytest.mark.parametrize("ipmi_port", [3, 2])
def test_ipmi_takes_its_port_at_start_up(unit, tmp_path, ipmi_port):
    unit.set_config(ipmiEnable=1, ipmisPort=ipmi_port)
    run = tmp_path / "run"
    run.mkdir()
    line = getty(unit, 3, binds=[(run, "/var/run")])
    if ipmi_port == 3:
        line.expect(pexpect.EOF)
        # Before the pid file and the prompt; main's line settings still rule.
        assert line.before == b"\r\nNow starting IPMI on this serial port.\r\n\r\n"
        assert handed_over(unit, "ipmi", 3) == ["-S"] and os.listdir(run) == []
        assert unit.log() == [(NOTICE, "Starting IPMI (serial) on port 3 (/dev/ttyS3)")]
    else:
        line.expect_exact(PROMPT)
        assert re.fullmatch(r"\d+\n", (run / "setup3.pid").read_text())
        assert unit.log() == [] and unit.config()["ipmisPort"] == "2"
        assert not unit.calls("ipmi")
