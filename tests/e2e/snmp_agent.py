"""`setup -S` in a simulated unit: over pipes as the SNMP daemon talks to it
(Agent), or behind a real Net-SNMP snmpd (Snmpd)."""
import os
import select
import socket
import subprocess

from unit import PY, ROOT, TOOL

P = ".1.3.6.1.4.1.53177.2"  # the OID prefix without an OEM entry
INSTALLED = "/usr/sbin/setup"


def answer(oid, type_word, value):
    return "%s%s\n%s\n%s\n" % (P, oid, type_word, value)


class Agent:
    """Answers are read request by request with the input left open, so an
    unflushed answer fails as a time-out (it would hang the daemon)."""

    def __init__(self, unit, **kw):
        pipes = dict(stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.proc = unit.popen(["/bin/setup", "-S"], popen_args=pipes, **kw)
        self.pending = b""

    def send(self, *lines):
        self.proc.stdin.write("".join(line + "\n" for line in lines).encode())
        self.proc.stdin.flush()

    def line(self):
        while b"\n" not in self.pending:
            assert select.select([self.proc.stdout], [], [], 10)[0], "no answer"
            chunk = os.read(self.proc.stdout.fileno(), 4096)
            assert chunk, "the agent ended"
            self.pending += chunk
        line, _, self.pending = self.pending.partition(b"\n")
        return line.decode() + "\n"

    def ask(self, *lines):
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

    def walk(self, subtree=""):
        """Answers of getnext from prefix.subtree to the first one outside it."""
        answers = [self.next(subtree)]
        while answers[-1].startswith(P + subtree + ".") and len(answers) < 1000:
            answers.append(self.next(answers[-1].split("\n")[0][len(P):]))
        return answers

    def unanswered(self, *lines):
        """True when the next thing said after lines is a keep-alive's answer."""
        self.send(*lines)
        return self.ask("PING") == "PONG\n"

    def close(self):
        """Exit status and standard error; the unit's log is complete after."""
        if not self.proc.stdin.closed:
            self.proc.stdin.close()
            self.ended = self.proc.wait(10), self.proc.stderr.read()
        return self.ended


class Snmpd:
    def __init__(self, unit, workdir):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        # The shipped snippet as it is, with the simulated unit's setup in
        # place of the installed one.
        snippet = (ROOT / "examples/snmpd.conf").read_text()
        assert snippet.count(INSTALLED) == 1
        conf = workdir / "snmpd.conf"
        conf.write_text(snippet.replace(INSTALLED, "%s %s -d %s run /bin/setup"
                                        % (PY, TOOL, unit.dir)))
        self.env = self.tool_env(workdir / "persist")
        self.proc = subprocess.Popen(
            ["/usr/sbin/snmpd", "-f", "-Lo", "-C", "-c", str(conf), "-m", "",
             "-I", "pass_persist,vacm_conf", "udp:127.0.0.1:%d" % self.port],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=self.env, text=True)
        for line in self.proc.stdout:   # it names its version once it listens
            if line.startswith("NET-SNMP version"):
                break

    @staticmethod
    def tool_env(own):
        """Net-SNMP's programs with their state and configuration in a
        directory of the test's own, never this machine's."""
        os.makedirs(own, exist_ok=True)
        # No modules unless a test names them (-m).
        with open(os.path.join(own, "snmp.conf"), "w") as f:
            f.write("mibs :\n")
        return dict(os.environ, SNMP_PERSISTENT_DIR=str(own), SNMPCONFPATH=str(own))

    def client(self, tool, *args, community="public", names=("-On",)):
        r = subprocess.run([tool, "-v2c", "-c", community, *names, "-t", "5", "-r", "0",
                            "127.0.0.1:%d" % self.port, *args],
                           capture_output=True, text=True, timeout=120, env=self.env)
        return r.stdout + r.stderr

    def walk(self, oid):
        """[(oid, value)]; snmpwalk itself fails on an OID that does not increase."""
        out = self.client("snmpwalk", oid)
        assert "not increasing" not in out, out
        return [tuple(line.split(" = ", 1)) for line in out.splitlines()
                if "past the end of the MIB" not in line]

    def set(self, oid, type_letter, value):
        return self.client("snmpset", oid, type_letter, value, community="private")

    def close(self):
        self.proc.terminate()
        self.proc.wait(10)
