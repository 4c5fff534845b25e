"""Talking to `setup -S` in a simulated unit: over pipes as the SNMP daemon
does (Agent), or through a real Net-SNMP snmpd (Snmpd)."""
import os
import select
import socket
import subprocess

from unit import PY, TOOL

P = ".1.3.6.1.4.1.53177.2"  # the agent's OID prefix without an OEM entry


class Agent:
    """The agent's pipes.  Answers are read as they arrive, request by
    request, without closing its input: an unflushed answer shows as a
    time-out, as it would hang the daemon."""

    def __init__(self, unit, **kw):
        self.proc = unit.popen(["/bin/setup", "-S"], popen_args=dict(
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE), **kw)
        self.pending = b""

    def send(self, *lines):
        self.proc.stdin.write("".join(line + "\n" for line in lines).encode())
        self.proc.stdin.flush()

    def line(self, timeout=10):
        while b"\n" not in self.pending:
            ready, _, _ = select.select([self.proc.stdout], [], [], timeout)
            assert ready, "no answer from the agent"
            chunk = os.read(self.proc.stdout.fileno(), 4096)
            assert chunk, "the agent ended"
            self.pending += chunk
        line, _, self.pending = self.pending.partition(b"\n")
        return line.decode() + "\n"

    def ask(self, *lines):
        """One request; its whole answer as text."""
        self.send(*lines)
        first = self.line()
        if lines[0] == "set" or first in ("NONE\n", "PONG\n"):
            return first
        return first + self.line() + self.line()

    def get(self, oid):
        return self.ask("get", P + oid)

    def next(self, oid):
        return self.ask("getnext", P + oid)

    def set(self, oid, type_value):
        return self.ask("set", P + oid, type_value)

    def unanswered(self, *lines):
        """Sends lines that must get no answer: the next thing the agent
        says is the answer to a keep-alive sent after them."""
        self.send(*lines)
        return self.ask("PING") == "PONG\n"

    def close(self):
        """Ends the input; the agent's exit status and standard error.  The
        unit's log is complete only after this."""
        if not self.proc.stdin.closed:
            self.proc.stdin.close()
            self.ended = self.proc.wait(10), self.proc.stderr.read()
        return self.ended


def answer(oid, type_word, value):
    return "%s%s\n%s\n%s\n" % (P, oid, type_word, value)


class Snmpd:
    """Debian's snmpd in the foreground on 127.0.0.1 and a free port, with
    the agent of `unit` as its pass_persist extension for the prefix."""

    def __init__(self, unit, workdir):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        conf = workdir / "snmpd.conf"
        conf.write_text(
            "agentaddress udp:127.0.0.1:%d\n"
            "rocommunity public 127.0.0.1\n"
            "rwcommunity private 127.0.0.1\n"
            "dontLogTCPWrappersConnects yes\n"
            "pass_persist %s %s %s -d %s run -S\n" % (self.port, P, PY, TOOL, unit.dir))
        env = dict(os.environ, SNMP_PERSISTENT_DIR=str(workdir / "persist"))
        self.proc = subprocess.Popen(
            ["/usr/sbin/snmpd", "-f", "-Lo", "-C", "-c", str(conf), "-m", "",
             "-I", "pass_persist,vacm_conf"],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env, text=True)
        # It says its version once it listens.
        for line in self.proc.stdout:
            if line.startswith("NET-SNMP version"):
                break
        else:
            raise AssertionError("snmpd did not start")

    def client(self, tool, *args, community="public"):
        r = subprocess.run([tool, "-v2c", "-c", community, "-On", "-t", "5", "-r", "0",
                            "127.0.0.1:%d" % self.port, *args],
                           capture_output=True, text=True, timeout=120)
        return r.stdout + r.stderr

    def walk(self, oid):
        """[(oid, value text)] of a walk; the walk itself fails on an OID
        that does not increase."""
        out = self.client("snmpwalk", oid)
        assert "not increasing" not in out, out
        return [tuple(line.split(" = ", 1)) for line in out.splitlines()
                if "past the end of the MIB" not in line]

    def set(self, oid, type_letter, value):
        return self.client("snmpset", oid, type_letter, value, community="private")

    def close(self):
        self.proc.terminate()
        self.proc.wait(10)
