"""The gettys of examples/inittab on the board's real UARTs: BusyBox init
starts them, the 8250 driver and the kernel's tty layer carry their line
settings and modem lines, and init starts them again when they end."""

import re

from guest import COMMAND_TIMEOUT

PROMPT = rb"Please press Enter to activate this console\.\.\. "
GREETING = rb"Expecting a modem, if human, type admin password! \(Or start PPP\)\r\n\n"
MENU = rb"\nChoice: "
MCR = 4  # the 16550's modem control register; bit 0 is DTR


def stty(unit, dev):
    return unit.sh("stty -F %s -a" % dev)


def pid_of_port(unit, port):
    return int(unit.read("/var/run/setup%d.pid" % port).strip())


def dtr_edges(unit, since):
    """(time, DTR level) of each write to a modem control register after
    since (seconds, QEMU's clock), from QEMU's record of register writes."""
    edges = []
    text = (unit.dir / "qemu.log").read_text(errors="replace")
    for m in re.finditer(r"@(\d+\.\d+):serial_write write addr 0x(\w+) val 0x(\w+)", text):
        t, addr, val = float(m.group(1)), int(m.group(2), 16), int(m.group(3), 16)
        if addr == MCR and t >= since:
            edges.append((t, val & 1))
    return edges


def qemu_clock(unit):
    """The time stamp of QEMU's latest log line (its clock, not the guest's)."""
    stamps = re.findall(r"@(\d+\.\d+):", (unit.dir / "qemu.log").read_text(errors="replace"))
    return float(stamps[-1]) if stamps else 0.0


def test_port2_getty_prompts_on_the_second_uart_and_holds_a_raw_115200_line(unit):
    unit.uart1.expect(PROMPT)
    settings = stty(unit, "/dev/ttyS2")
    assert "speed 115200 baud" in settings
    # Raw: no line editing, no echo, no output processing; modem lines
    # ignored, so that a terminal without them can talk.
    for flag in ("-icanon", "-echo", "-opost", "clocal", "cs8"):
        assert re.search(r"(^|\s)%s(\s|$)" % re.escape(flag), settings), (flag, settings)
    # The port's process has the name the inittab gave the line.
    assert unit.sh("readlink /proc/%d/fd/0" % pid_of_port(unit, 2)).strip() == "/dev/ttyS2"


def test_enter_admits_to_the_menu_in_canonical_mode(unit):
    unit.uart1.send(b"x")  # any text before Enter is ignored
    unit.uart1.send(b"\r")
    unit.uart1.expect(MENU)
    settings = stty(unit, "/dev/ttyS2")
    assert re.search(r"(^|\s)icanon(\s|$)", settings), settings
    assert "speed 115200 baud" in settings


def test_q_ends_the_process_and_init_starts_a_new_getty(unit):
    before = pid_of_port(unit, 2)
    unit.uart1.send(b"q\r")
    # The new process writes its pid file before it prompts.
    unit.uart1.expect(PROMPT)
    after = pid_of_port(unit, 2)
    assert after != before
    assert unit.sh("tr '\\0' ' ' </proc/%d/cmdline" % after).strip() == "/usr/sbin/setup -I"


def test_port0_console_answers_on_the_first_uart(unit):
    unit.uart0.expect(PROMPT)
    unit.uart0.send(b"\r")
    unit.uart0.expect(MENU)
    unit.uart0.send(b"q\r")
    unit.uart0.expect(PROMPT)


def test_modem_port_pulses_dtr_greets_and_admits_the_password(unit):
    unit.set_config(pppEnable=1)
    start = qemu_clock(unit)
    # Hang up the port: its getty ends, and init starts one that finds the
    # modem setting.
    unit.sh("kill -HUP %d" % pid_of_port(unit, 2))
    unit.uart1.expect(GREETING)
    # DTR dropped for the one-second reset and raised again, on the real
    # UART's modem control register.  Opening and setting up a line writes
    # the register too (a low there lasts microseconds): the reset is the
    # longest low.
    edges = dtr_edges(unit, start)
    lows, fell = [], None
    for t, level in edges:
        if level == 0 and fell is None:
            fell = t
        elif level == 1 and fell is not None:
            lows.append(t - fell)
            fell = None
    assert lows and 0.95 <= max(lows) <= 3.0, edges
    # chat was run on the port before the greeting.
    calls = unit.read("/var/log/stubs/calls")
    assert re.search(r"^chat -t 20 -f /etc/ppp/init.chat -T \S+ tty=/dev/ttyS2$", calls, re.M), calls
    unit.wait_log(r"setup\[[0-9]+\]: Modem init okay\.$")

    # A wrong password is noise, logged as such; the right one admits.
    unit.uart1.send(b"letmein\r")
    unit.wait_log(r"Noise on serial port: letmein$")
    unit.uart1.send(b"admin\r")
    unit.uart1.expect(MENU)
    unit.wait_log(r"Got admin password on modem port\.$")
    unit.uart1.send(b"q\r")
    unit.uart1.expect(GREETING)
    unit.set_config(pppEnable=0)
    unit.sh("kill -HUP %d" % pid_of_port(unit, 2))
    unit.uart1.expect(PROMPT)


def test_idle_gettys_and_init_sleep(unit):
    # Every port's process and init wait in the kernel, none spins: over two
    # seconds of the guest's time they use next to no processor time.
    pids = "1 $(cat /var/run/setup0.pid /var/run/setup2.pid /var/run/setup3.pid)"
    show = "for p in %s; do cut -d' ' -f14,15 /proc/$p/stat; done" % pids
    out = unit.sh(show + "; sleep 2; " + show)
    ticks = [sum(int(n) for n in line.split()) for line in out.splitlines() if line]
    half = len(ticks) // 2
    assert half == 4, out
    for before, after in zip(ticks[:half], ticks[half:]):
        assert after - before <= 5, out
