"""Prometheus and its SNMP exporter around simulated units: the processes of
`tools/fleet` and of the end-to-end tests, all on 127.0.0.1.

Each start returns once the program says it is ready (a line of its log),
never after a fixed wait, and fails with that log when it ends first."""
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time
import urllib.error
import urllib.parse
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.realpath(__file__)))
EXAMPLES = os.path.join(ROOT, "examples", "prometheus")
SNMPD_UNIT = os.path.join(ROOT, "tools", "snmpd-unit")
EXPORTER = "/usr/bin/prometheus-snmp-exporter"
PROMETHEUS = "/usr/bin/prometheus"
# The words of examples/snmpd.conf, which the shipped snmp.yml uses as they
# stand: a unit served with them answers the shipped modules unchanged.
READ_WORD = "CHOOSE-A-READ-WORD"
WRITE_WORD = "CHOOSE-A-WRITE-WORD"
V3_LOGIN = ("CHOOSE-A-USER", "CHOOSE-AN-AUTH-PASSPHRASE", "CHOOSE-A-PRIV-PASSPHRASE")
START_SECONDS = 120


def free_port(kind=socket.SOCK_STREAM):
    """A port of 127.0.0.1 free right now (another program may still take
    it first: the starts below retry on another one)."""
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Process:
    """A program of ours, in a process group of its own, whose output is
    kept (read all along, so that a full pipe never stalls it)."""

    def __init__(self, argv, ready, env=None, cwd=None):
        self.argv = argv
        self.lines = []
        self.ready = threading.Event()
        self._pattern = ready
        self.proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, text=True, errors="replace",
                                     env=env, cwd=cwd, start_new_session=True)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for line in self.proc.stdout:
            self.lines.append(line)
            if self._pattern in line:
                self.ready.set()
        self.ready.set()   # ended: whoever waits looks at the status

    def wait_ready(self, seconds=START_SECONDS):
        """True once the ready line came; False when the program ended
        before it (or did not say it in time)."""
        self.ready.wait(seconds)
        return self.proc.poll() is None and any(self._pattern in l for l in self.lines)

    def log(self):
        return "".join(self.lines)

    def stop(self):
        """SIGTERM to the program, then to whatever is left of its group."""
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self._reader.join(5)


def _start(make, what):
    """make(port) -> Process; three ports in turn, for the race with
    other programs of this machine."""
    for _ in range(3):
        port = free_port()
        p = make(port)
        if p.wait_ready():
            p.port = port
            return p
        p.stop()
        if "address already in use" not in p.log().lower() and " is taken" not in p.log():
            break
    raise RuntimeError("%s did not start:\n%s" % (what, p.log()))


def start_exporter(config):
    return _start(lambda port: Process(
        [EXPORTER, "--config.file=" + config, "--web.listen-address=127.0.0.1:%d" % port],
        "Listening on"), "prometheus-snmp-exporter")


def start_prometheus(config, data):
    return _start(lambda port: Process(
        [PROMETHEUS, "--config.file=" + config, "--storage.tsdb.path=" + data,
         "--web.listen-address=127.0.0.1:%d" % port,],
        "Server is ready to receive web requests"), "prometheus")


def start_snmpd(unit_dir, v3=True):
    """tools/snmpd-unit for the unit in unit_dir, with the shipped words;
    .address is its UDP address (host:port) once it answers."""
    def make(port):
        argv = [sys.executable, SNMPD_UNIT, "-d", unit_dir, "--port", str(port),
                "--read", READ_WORD, "--write", WRITE_WORD]
        if v3:
            argv += ["--v3", *V3_LOGIN]
        return Process(argv, "snmpd serves the unit")
    for _ in range(3):
        port = free_port(socket.SOCK_DGRAM)
        p = make(port)
        if p.wait_ready():
            p.address = "127.0.0.1:%d" % port
            return p
        p.stop()
        if " is taken" not in p.log():
            break
    raise RuntimeError("snmpd-unit did not start:\n" + p.log())


def prometheus_config(work, exporter, interval, addresses):
    """The shipped prometheus.yml and rules.yml in work, with the fleet's
    interval, the exporter's address and the units as the target list."""
    with open(os.path.join(EXAMPLES, "prometheus.yml")) as f:
        text = f.read()
    at = "127.0.0.1:%d" % exporter.port
    for old, new in [("scrape_interval: 30s", "scrape_interval: %ds" % interval),
                     ("evaluation_interval: 30s", "evaluation_interval: %ds" % interval),
                     ("scrape_timeout: 15s", "scrape_timeout: %ds" % interval),
                     ("replacement: 127.0.0.1:9116", "replacement: " + at),
                     ("targets: [127.0.0.1:9116]", "targets: [%s]" % at)]:
        if text.count(old) != 1:
            raise RuntimeError("examples/prometheus/prometheus.yml: %r is not there once" % old)
        text = text.replace(old, new)
    with open(os.path.join(work, "prometheus.yml"), "w") as f:
        f.write(text)
    shutil.copy(os.path.join(EXAMPLES, "rules.yml"), work)
    with open(os.path.join(work, "units.yml"), "w") as f:
        f.write("- labels:\n    group: fleet\n  targets:\n")
        f.writelines("    - %s\n" % a for a in addresses)
    return os.path.join(work, "prometheus.yml")


def http_get(url, timeout=60):
    """(status, body) of a GET; an HTTP error status is an answer too."""
    try:
        with urllib.request.urlopen(url, timeout=timeout) as r:
            return r.status, r.read().decode()
    except urllib.error.HTTPError as e:
        return e.code, e.read().decode(errors="replace")


def scrape(exporter, target, module="remote_console"):
    """(status, text) of one scrape of target through the exporter."""
    return http_get("http://127.0.0.1:%d/snmp?%s" % (
        exporter.port, urllib.parse.urlencode({"module": module, "target": target})))


_SAMPLE = re.compile(r'([a-zA-Z_:][a-zA-Z0-9_:]*)(?:\{(.*)\})? (\S+)$')
_LABEL = re.compile(r'([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\]|\\.)*)",?')


def samples(text):
    """{(name, ((label, value), ...)): value} of an exposition text; the
    labels sorted by name."""
    found = {}
    for line in text.splitlines():
        if not line or line.startswith("#"):
            continue
        m = _SAMPLE.match(line)
        if not m:
            raise ValueError("not a sample line: %r" % line)
        labels = []
        rest = m.group(2) or ""
        while rest:
            lm = _LABEL.match(rest)
            if not lm:
                raise ValueError("labels do not parse: %r" % line)
            value = re.sub(r'\\(.)', lambda e: {"n": "\n"}.get(e.group(1), e.group(1)),
                           lm.group(2))
            labels.append((lm.group(1), value))
            rest = rest[lm.end():]
        found[(m.group(1), tuple(sorted(labels)))] = float(m.group(3))
    return found


def query(prometheus, expr):
    """The result list of an instant query of the Prometheus server."""
    status, body = http_get("http://127.0.0.1:%d/api/v1/query?%s" % (
        prometheus.port, urllib.parse.urlencode({"query": expr})))
    answer = json.loads(body)
    if status != 200 or answer.get("status") != "success":
        raise RuntimeError("query %r: %s" % (expr, body))
    return answer["data"]["result"]


def alerts(prometheus):
    status, body = http_get("http://127.0.0.1:%d/api/v1/alerts" % prometheus.port)
    return json.loads(body)["data"]["alerts"]


def wait_until(predicate, seconds, step=0.5):
    """predicate()'s first true value within seconds, else None."""
    deadline = time.monotonic() + seconds
    while True:
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(step)
