"""What a port is for: reserved ports configured and held silent, the modem
line's set-up, and IPMI taking its port at start-up."""
import os
import re
import select
import signal
import termios

import pexpect
import pytest

from serial_line import (EXPECTING, ERROR, NOTICE, PROMPT, getty, kill, settings,
                         wait_log)

T = termios


def tcsets(trace):
    """c_cflag words of the line settings applied to the port, in order."""
    return [re.search(r"c_cflag=([\w|]+)", l).group(1).split("|")
            for l in trace if "TCSETS" in l]


@pytest.mark.parametrize("port, config, speed, size, parity, stop, bad", [
    (1, "9600 7E2", T.B1200, "CS8", None, False, None),  # serial1 is not consulted
    (0, "38400 8o2", T.B38400, "CS8", "odd", True, None),  # reserved beats modem
    (2, "9600 7E1", T.B9600, "CS7", "even", False, None),
    (2, "9600 8 N 2", T.B9600, "CS8", None, False, None),
    (3, "2400 5N1", T.B9600, "CS5", None, False, 2400),
    (2, "fast", T.B9600, "CS8", None, False, 0),
])
def test_reserved_port_is_configured_and_held_silent(unit, tmp_path, port, config, speed,
                                                     size, parity, stop, bad):
    unit.set_config(pppEnable=1, **{"serial%d" % port: config})
    trace = tmp_path / "trace"
    line = getty(unit, port, strace="%s:ioctl" % trace)
    shown = "1200 8N1" if port == 1 else config
    wait_log(unit, "Serial port %d (/dev/ttyS%d) setup for %s." % (port, port, shown))
    s = settings(line)
    assert (s["speed"], s["ispeed"]) == (speed, speed)
    assert (bool(s["cflag"] & T.PARODD), bool(s["cflag"] & T.CSTOPB)) == (parity == "odd", stop)
    assert s["cflag"] & T.CLOCAL and not s["cflag"] & T.CRTSCTS
    assert not select.select([line.child_fd], [], [], 0.3)[0]
    assert kill(line, signal.SIGALRM) == 0
    assert not select.select([line.child_fd], [], [], 0)[0]  # no "Timeout" text either
    expected = [(ERROR, "Bad baud rate: %d, using 9600 instead." % bad)] if bad is not None else []
    assert unit.log() == expected + [
        (NOTICE, "Serial port %d (/dev/ttyS%d) setup for %s." % (port, port, shown)),
        (NOTICE, "Timeout during login process. Give up")]
    lines = trace.read_text().splitlines()
    assert not [l for l in lines if "TIOCM" in l]  # no modem reset
    cflag = tcsets(lines)[-1]
    assert size in cflag and ("PARENB" in cflag) == (parity is not None)


@pytest.mark.parametrize("baud, speed", [(57600, T.B57600), (12345, T.B115200)])
def test_modem_line_is_reset_and_paced_by_hardware(unit, tmp_path, baud, speed):
    unit.set_config(pppEnable=1, pppBaud=baud)
    trace = tmp_path / "trace"
    line = getty(unit, 0, strace="%s:execve,ioctl,rt_sigaction,clock_nanosleep" % trace)
    line.expect_exact(EXPECTING)
    s = settings(line)
    assert s["speed"] == speed and s["cflag"] & T.CRTSCTS and s["cflag"] & T.CLOCAL
    assert not s["iflag"] & (T.IXON | T.IXOFF)
    line.close()
    lines = trace.read_text().splitlines()
    start = next(i for i, l in enumerate(lines) if 'execve("/bin/setup"' in l)
    pid = lines[start].split()[0]
    calls = [l for l in lines[start:] if l.split()[0] == pid and
             re.search(r"rt_sigaction\(SIGHUP, \{|TIOCM|nanosleep", l)]
    hup, get, low, sleep1, high, sleep2, handler = calls[:7]
    assert "SIG_IGN" in hup and "TIOCMGET" in get and "tv_sec=1," in sleep1 + sleep2
    assert "TIOCM_DTR" not in low and "TIOCM_DTR" in high
    assert "SIGHUP" in handler and "SIG_IGN" not in handler


def test_only_port_0_is_a_modem_on_restricted_units(unit):
    unit.set_identity(qerl_plek=1)
    unit.set_config(pppEnable=1)
    getty(unit, 2).expect_exact(PROMPT)
    getty(unit, 0).expect_exact(EXPECTING)
    assert len(unit.calls("chat")) == 1


@pytest.mark.parametrize("ipmi_port", [3, 2])
def test_ipmi_takes_its_port_at_start_up(unit, tmp_path, ipmi_port):
    run = tmp_path / "run"
    run.mkdir()
    unit.set_config(ipmiEnable=1, ipmisPort=ipmi_port)
    line = getty(unit, 3, binds=[(run, "/var/run")])
    if ipmi_port == 3:
        line.expect(pexpect.EOF)
        assert line.before == b"\r\nNow starting IPMI on this serial port.\r\n\r\n"
        [call] = unit.calls("ipmi")
        assert (call["argv"][1:], call["fds"], call["tty"]) == (["-S"], [0, 1], "/dev/ttyS3")
        assert unit.log() == [(NOTICE, "Starting IPMI (serial) on port 3 (/dev/ttyS3)")]
        assert os.listdir(run) == []
    else:
        line.expect_exact(PROMPT)
        assert re.fullmatch(r"\d+\n", (run / "setup3.pid").read_text())
        assert unit.log() == [] and unit.config()["ipmisPort"] == "2"
        assert not unit.calls("ipmi")
