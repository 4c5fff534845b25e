"""`setup -S` in a simulated unit: over pipes as the SNMP daemon talks to it
(Agent), or behind a real Net-SNMP snmpd (Snmpd)."""
import os
import re
import select
import socket
import subprocess
import threading

from unit import PY, ROOT, TOOL

P = ".1.3.6.1.4.1.53177.2"  # the OID prefix without an OEM entry
INSTALLED = "/usr/sbin/setup"


def answer(oid, type_word, value):
    return "%s%s\n%s\n%s\n" % (P, oid, type_word, value)


class Agent:
    """Answers are read request by request with the input left open, so an
    unflushed answer fails as a time-out (it would hang the daemon)."""
    timeout = 10

    def __init__(self, unit, **kw):
        pipes = dict(stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.proc = unit.popen(["/bin/setup", "-S"], popen_args=pipes, **kw)
        self.pending = b""

    def send(self, *lines):
        self.proc.stdin.write("".join(line + "\n" for line in lines).encode())
        self.proc.stdin.flush()

    def line(self):
        while b"\n" not in self.pending:
            assert select.select([self.proc.stdout], [], [], self.timeout)[0], "no answer"
            chunk = os.read(self.proc.stdout.fileno(), 4096)
            assert chunk, "the agent ended"
            self.pending += chunk
        line, _, self.pending = self.pending.partition(b"\n")
        # Bytes that are not UTF-8 come back as the surrogates that stand
        # for them, as in os.fsdecode.
        return line.decode("utf-8", "surrogateescape") + "\n"

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
            assert answers[-1].count("\n") == 3, "not a three-line answer: %r" % answers[-1]
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


# One variable of a client's output (-On): the OID, " = ", the value.
_VARBIND = re.compile(r"(\.\d+(?:\.\d+)*) = (.*)")


def varbinds(out, err=""):
    """[(oid, value)] of a client's output.  A value printed over several
    lines (long hex, a text holding a newline) is joined with newlines.  A
    line that fits nowhere, or anything the client said on standard error
    (a time-out, say), fails with the raw output, so that it can be read."""
    found = []
    for line in out.splitlines():
        m = _VARBIND.fullmatch(line)
        if m:
            found.append([m.group(1), m.group(2)])
        elif found:
            found[-1][1] += "\n" + line
        else:
            break
    else:
        if not err:
            return [tuple(v) for v in found]
    raise AssertionError("client output does not parse:\n--- stdout\n%s--- stderr\n%s"
                         % (out, err))


def octets(value):
    """The bytes of a value printed with -Ox ("Hex-STRING: 61 0A ...")."""
    if value == '""':
        return b""
    kind, _, digits = value.partition(": ")
    assert kind == "Hex-STRING", value
    return bytes.fromhex(digits.replace("\n", " "))


# The snippet's placeholders and the words the tests put in their place.
WORDS = {"CHOOSE-A-READ-WORD": "public", "CHOOSE-A-WRITE-WORD": "private"}
V3 = {"CHOOSE-A-USER": "operator", "CHOOSE-AN-AUTH-PASSPHRASE": "auth phrase 1",
      "CHOOSE-A-PRIV-PASSPHRASE": "priv phrase 2"}


def shipped_snippet(setup, v3=False, words=None):
    """examples/snmpd.conf with the words filled in (those of WORDS unless
    given) and the unit's setup in place of the installed one; with v3, its
    SNMPv3 lines turned on."""
    text = (ROOT / "examples/snmpd.conf").read_text()
    assert text.count(INSTALLED) == 1
    words = dict(words or WORDS, **V3) if v3 else words or WORDS
    for placeholder, word in words.items():
        assert placeholder in text, placeholder
        text = text.replace(placeholder, word)
    if v3:
        text = re.sub(r"(?m)^#(createUser|rwuser) ", r"\1 ", text)
    return text.replace(INSTALLED, setup)


class Snmpd:
    """A real snmpd with the agent as its pass_persist extension.  Its own
    log is kept in .output (read all along: a full pipe would stall it)."""

    def __init__(self, unit, workdir, v3=False, words=None, stock=None):
        """v3: with the snippet's SNMPv3 user; words: the communities of
        the snippet ({placeholder: word}); stock: a main configuration
        whose "includeDir DIR" line gets the snippet's directory, read as
        snmpd reads a system's /etc/snmp/snmpd.conf, all modules loaded."""
        self.output = []
        self.v3, self.words, self.stock = v3, words, stock
        for _ in range(3):   # another daemon may take the free port first
            if self._start(unit, workdir):
                break
        else:
            raise AssertionError("snmpd did not start:\n" + "".join(self.output))
        threading.Thread(target=self._drain, daemon=True).start()
        # The first request starts the agent in its sandbox, which alone can
        # take seconds on a loaded machine: not inside any test's request.
        self.client("snmpget", P + ".4.7",
                    community=None if v3 else (words or WORDS)["CHOOSE-A-READ-WORD"])

    def _start(self, unit, workdir):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        # The shipped snippet as it is, with the simulated unit's setup in
        # place of the installed one.
        conf = workdir / "snmpd.conf"
        snippet = shipped_snippet("%s %s -d %s run /bin/setup" % (PY, TOOL, unit.dir),
                                  self.v3, self.words)
        modules = ["-I", "pass_persist,vacm_conf,usmConf"]
        if self.stock is None:
            conf.write_text(snippet)
        else:
            drop_in = workdir / "snmpd.conf.d"
            drop_in.mkdir(exist_ok=True)
            (drop_in / "setup.conf").write_text(snippet)
            conf.write_text(self.stock.replace("includeDir DIR", "includeDir %s" % drop_in))
            modules = ["-I", "-smux,mteTrigger,mteTriggerConf"]
        self.env = self.tool_env(workdir / "persist")
        self.proc = subprocess.Popen(
            ["/usr/sbin/snmpd", "-f", "-Lo", "-C", "-c", str(conf), "-m", "", *modules,
             "udp:127.0.0.1:%d" % self.port],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=self.env, text=True,
            errors="replace")
        for line in self.proc.stdout:   # it names its version once it listens
            self.output.append(line)
            if line.startswith("NET-SNMP version"):
                return True
        self.proc.wait()
        return False

    def _drain(self):
        for line in self.proc.stdout:
            self.output.append(line)

    def run(self, tool, *args, community="public", names=("-On",)):
        """(stdout, stderr) of a client; community None: as the snippet's
        SNMPv3 user.  Time-outs are long and there are no retries: a loaded
        machine makes an answer slow, not wrong, and a set must not reach
        the agent twice."""
        if community is None:
            who = ["-v3", "-l", "authPriv", "-u", V3["CHOOSE-A-USER"],
                   "-a", "SHA", "-A", V3["CHOOSE-AN-AUTH-PASSPHRASE"],
                   "-x", "AES", "-X", V3["CHOOSE-A-PRIV-PASSPHRASE"]]
        else:
            who = ["-v2c", "-c", community]
        r = subprocess.run([tool, *who, *names, "-t", "60", "-r", "0",
                            "127.0.0.1:%d" % self.port, *args], env=self.env,
                           capture_output=True, text=True, errors="replace", timeout=900)
        return r.stdout, r.stderr

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
        out, err = self.run(tool, *args, community=community, names=names)
        return out + err

    def get(self, *oids, options=()):
        """[(oid, value)] of one snmpget."""
        return varbinds(*self.run("snmpget", *options, *oids))

    def walk(self, oid, options=(), community="public"):
        """[(oid, value)]; snmpwalk itself fails on an OID that does not increase."""
        out, err = self.run("snmpwalk", *options, oid, community=community)
        assert "not increasing" not in out + err, out + err
        return [v for v in varbinds(out, err) if "past the end of the MIB" not in v[1]]

    def set(self, oid, type_letter, value):
        return self.client("snmpset", oid, type_letter, value, community="private")

    def close(self):
        self.proc.terminate()
        self.proc.wait(10)
