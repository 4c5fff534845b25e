#!/usr/bin/python3
"""What the SNMP agent costs per request, side by side with the least any
pass_persist extension must spend (bench/responder.c), both run the same way
in the simulated unit.  Prints one table; `make bench` runs it.

Both programs are built as the appliance's program is (the shipped preset:
optimised for size, no position-independent code, no unwind tables).

Timings are medians of alternating repetitions (agent, responder, agent, ...)
so that both see the same load on this shared machine.  The unit's side of a
timing (the walker, or snmpd and its client, and the program measured) runs
on one processor, as on the appliance, which has one; the log sink runs on
another.  Left to the scheduler, where each wakeup lands on this machine's
two processors moves a walk's time by a third from run to run.  One row
shows the walk with the sink on the same processor too.  Instruction and
system call counts are exact and repeat run for run: each is the difference
between a run of N and of 2N requests, divided by N, so that start-up and
exit drop out.
"""
import argparse
import os
import re
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.realpath(__file__)))
BUILD = os.path.join(ROOT, "build", "shipped")
TOOL = os.path.join(ROOT, "tools", "unit")
P = ".1.3.6.1.4.1.53177.2"
AGENT = ["/bin/setup", "-S"]
SNMPD = "/usr/sbin/snmpd"


SINKS = []
# (processor of the unit's side, processor of the log sink), or None on a
# machine with one processor.
CPUS = None


def log_sink(workdir, name):
    """A C reader of the unit's log socket (bench/logsink.c), in place of
    the unit's Python one; returns the socket's path."""
    path = os.path.join(workdir, name + "-log")
    proc = subprocess.Popen([os.path.join(BUILD, "bench_logsink"), path,
                             os.path.join(workdir, name + "-syslog")],
                            stdout=subprocess.PIPE, text=True)
    SINKS.append(proc)
    if proc.stdout.readline() != "ready\n":
        sys.exit("bench: the log sink did not start")
    if CPUS:
        os.sched_setaffinity(proc.pid, {CPUS[1]})
    return path


def sinks_on(cpu):
    for sink in SINKS:
        os.sched_setaffinity(sink.pid, {cpu})


class Unit:
    """A simulated unit with the walker and the responder put in /bin, its
    log read by a C sink."""

    def __init__(self, workdir, name, accounts=0, numusers=0):
        self.dir = os.path.join(workdir, name)
        self.out = os.path.join(workdir, name + "-out")
        os.makedirs(self.out)
        self.sink = log_sink(workdir, name)
        subprocess.run([TOOL, "-d", self.dir, "init"], check=True, capture_output=True)
        numusers = max(numusers, accounts)
        if numusers:
            values = ["numusers=%d" % numusers]
            for u in range(accounts):
                values += ["user_%d_name=u%d" % (u, u), "user_%d_pass=p" % u,
                           "user_%d_class=0" % u]
            self.run(["/bin/unitcfg", "set", *values])
        self.rows = numusers + 2  # user table rows: administrator, slots, spare
        self.responder = ["/bin/responder", str(self.rows)]
        self.keys = len(self.run(["/bin/unitcfg", "dump"]).stdout.splitlines())

    def command(self, args):
        return [TOOL, "-d", self.dir, "run",
                "--ro-bind", os.path.join(BUILD, "bench_walk"), "/bin/walk",
                "--ro-bind", os.path.join(BUILD, "bench_responder"), "/bin/responder",
                "--bind", self.out, "/out", "--bind", self.sink, "/dev/log", "--", *args]

    def run(self, args):
        r = subprocess.run(self.command(args), capture_output=True, text=True)
        if r.returncode != 0:
            sys.exit("bench: %s failed (%d): %s" % (" ".join(args), r.returncode, r.stderr))
        return r

    def walk(self, program, *args):
        return self.run(["/bin/walk", *args, "--", *program]).stdout


def alternate(reps, measure, programs):
    """{program: median} of measure(program), the programs taking turns."""
    values = {p: [] for p in programs}
    for _ in range(reps):
        for p in programs:
            values[p].append(measure(p))
    return {p: statistics.median(v) for p, v in values.items()}


def walk_ms(unit, program):
    times = [int(line.split()[1]) for line in unit.walk(program, "walks", "3").splitlines()]
    return statistics.median(times) / 1e6


# --- valgrind and strace: counts per request ---------------------------------

def per_request(unit, program, wrapper, count, request, n=500):
    """(count for 2n requests - count for n requests) / n."""
    totals = []
    for k in (n, 2 * n):
        out = os.path.join(unit.out, "c")
        args = [a.replace("OUT", "/out/c") for a in wrapper]
        r = unit.run(["/bin/walk", "repeat", str(k), *request, "--", *args, *program])
        totals.append(count(r.stderr, out))
    return {key: (totals[1][key] - totals[0].get(key, 0)) / n for key in totals[1]}


def callgrind(stderr, out):
    return {"instr": int(re.search(r"Collected : (\d+)", stderr).group(1))}


def memcheck(stderr, out):
    m = re.search(r"total heap usage: ([\d,]+) allocs", stderr)
    return {"allocs": int(m.group(1).replace(",", "")) if m else 0}


def strace(stderr, out):
    """Calls per system call name, and their total."""
    calls = {}
    with open(out) as f:
        for line in f:
            m = re.match(r"\s*[\d.]+\s+[\d.]+\s+\d+\s+(\d+)\s+(?:\d+\s+)?(\w+)$", line)
            if m and m.group(2) != "total":
                calls[m.group(2)] = int(m.group(1))
    calls["total"] = sum(calls.values())
    return calls


CALLGRIND = ["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null"]
MEMCHECK = ["valgrind", "--tool=memcheck"]
STRACE = ["strace", "-c", "-o", "OUT"]


def instructions(unit, program, request):
    return per_request(unit, program, CALLGRIND, callgrind, request)["instr"]


def syscalls(unit, program, request):
    """Calls per request: {name: calls, "total": calls}."""
    return per_request(unit, program, STRACE, strace, request, n=200)


def load_instructions(unit):
    """Instructions of the agent's start-up load of the configuration."""
    r = unit.run(["/bin/walk", "repeat", "1", "PING", "--", *CALLGRIND,
                  "--toggle-collect=readConfig()", *AGENT])
    return callgrind(r.stderr, None)["instr"]


def rss_kb(unit, program, counts):
    """Resident kB after each count of requests (keep-alive and getnext
    pairs, the walk starting over at its end)."""
    out = unit.walk(program, "rss", ",".join(str(c // 2) for c in counts))
    return [int(line.split()[2]) for line in out.splitlines()]


# --- through a real snmpd -----------------------------------------------------

class Snmpd:
    def __init__(self, unit, program, workdir, name):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        conf = os.path.join(workdir, name + ".conf")
        with open(conf, "w") as f:
            f.write("agentaddress udp:127.0.0.1:%d\nrocommunity public 127.0.0.1\n"
                    "dontLogTCPWrappersConnects yes\npass_persist %s %s\n"
                    % (self.port, P, " ".join(unit.command(program))))
        env = dict(os.environ, SNMP_PERSISTENT_DIR=os.path.join(workdir, name + "-persist"))
        self.proc = subprocess.Popen(
            [SNMPD, "-f", "-Lo", "-C", "-c", conf, "-m", "", "-I", "pass_persist,vacm_conf"],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env, text=True)
        for line in self.proc.stdout:  # it names its version once it listens
            if line.startswith("NET-SNMP version"):
                break
        self.walk("snmpwalk")  # starts the extension

    def walk(self, tool):
        t0 = time.monotonic()
        r = subprocess.run([tool, "-v2c", "-c", "public", "-On", "-t", "10", "-r", "0",
                            "127.0.0.1:%d" % self.port, P], capture_output=True, text=True)
        elapsed = time.monotonic() - t0
        if r.returncode != 0 or r.stdout.count("\n") < 300:
            sys.exit("bench: %s failed: %s" % (tool, r.stdout[-300:] + r.stderr))
        return elapsed * 1e3

    def close(self):
        self.proc.terminate()
        self.proc.wait(10)


# --- the table ----------------------------------------------------------------

class Table:
    def __init__(self):
        self.rows = []
        self.notes = []  # (what, value, most allowed)
        self.details = []

    def add(self, what, agent, ruler, unit="", target=None, fmt="%.0f"):
        ratio = agent / ruler if ruler else float("inf")
        self.rows.append((what, (fmt % agent) + unit, (fmt % ruler) + unit, "%.2f" % ratio))
        if target is not None:
            self.notes.append((what, ratio, target))
        print("  %-48s %14s %14s %6s" % self.rows[-1], file=sys.stderr)

    def text(self):
        head = ("measure", "setup -S", "responder", "ratio")
        widths = [max(len(r[i]) for r in self.rows + [head]) for i in range(4)]
        line = lambda r: "| " + " | ".join(c.ljust(w) if i == 0 else c.rjust(w)
                                           for i, (c, w) in enumerate(zip(r, widths))) + " |"
        out = [line(head), "|" + "|".join("-" * (w + 2) for w in widths) + "|"]
        out += [line(r) for r in self.rows]
        met = [n for n in self.notes if n[1] <= n[2]]
        missed = [n for n in self.notes if n[1] > n[2]]
        out.append("")
        out.append("targets met: %d of %d" % (len(met), len(self.notes)))
        for what, ratio, target in missed:
            out.append("  missed: %s: %.2f > %.2f" % (what, ratio, target))
        return "\n".join(out)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--reps", type=int, default=11, help="alternating repetitions (>= 5)")
    p.add_argument("--quick", action="store_true", help="leave out valgrind and snmpd")
    args = p.parse_args()
    global CPUS
    cpus = sorted(os.sched_getaffinity(0))
    if len(cpus) >= 2:
        CPUS = (cpus[0], cpus[1])
        os.sched_setaffinity(0, {CPUS[0]})  # the unit's side: every child
    os.environ["UNIT_BUILD"] = os.path.relpath(BUILD, ROOT)
    have_valgrind = shutil.which("valgrind") and not args.quick
    work = tempfile.mkdtemp(prefix="setup-bench-")
    try:
        bench(args, have_valgrind, work)
    finally:
        for sink in SINKS:
            sink.terminate()
            sink.wait(10)
        shutil.rmtree(work, ignore_errors=True)


def bench(args, have_valgrind, work):
    reps = args.reps
    t = Table()
    print("measuring (agent, responder, ratio) ...", file=sys.stderr)
    unit = Unit(work, "factory")
    both = [tuple(AGENT), tuple(unit.responder)]

    # (a) lock-step walk over pipes
    m = alternate(reps, lambda prog: walk_ms(unit, prog), both)
    t.add("walk over pipes, %d answers, ms (<=1.2x)" % 388, m[both[0]], m[both[1]],
          target=1.2, fmt="%.2f")
    if CPUS:
        sinks_on(CPUS[0])
        m = alternate(reps, lambda prog: walk_ms(unit, prog), both)
        sinks_on(CPUS[1])
        t.add("the same, log sink on the same processor, ms", m[both[0]], m[both[1]],
              fmt="%.2f")

    # (b) through snmpd
    if not args.quick and os.path.exists(SNMPD):
        daemons = {prog: Snmpd(unit, list(prog), work, "snmpd%d" % i)
                   for i, prog in enumerate(both)}
        try:
            for tool, target in (("snmpwalk", None), ("snmpbulkwalk", 1.1)):
                # Each turn the median of three walks, as for the walks over pipes.
                m = alternate(reps, lambda prog: statistics.median(
                    daemons[prog].walk(tool) for _ in range(3)), both)
                t.add("%s via snmpd, ms%s" % (tool, " (<=1.1x)" if target else ""),
                      m[both[0]], m[both[1]], target=target, fmt="%.1f")
        finally:
            for d in daemons.values():
                d.close()

    # (c) instructions per request
    requests = [("PING", ["PING"], 1.1), ("get", ["get", P + ".1.1.1.3.2"], 1.5),
                ("getnext", ["getnext", P + ".1.1.1.3.2"], 1.5),
                ("walk pair (PING + getnext)", None, None),
                ("set (user class, no save)", ["set", P + ".3.1.1.6.2", "integer 1"], None)]
    if have_valgrind:
        counts = {}
        for name, request, target in requests:
            if request is None:
                a = counts["PING"][0] + counts["getnext"][0]
                r = counts["PING"][1] + counts["getnext"][1]
            else:
                a, r = (instructions(unit, list(prog), request) for prog in both)
                counts[name] = (a, r)
            t.add("instructions per %s%s" % (name, " (<=%gx)" % target if target else ""),
                  a, r, target=target)
        a = per_request(unit, AGENT, MEMCHECK, memcheck, ["getnext", P + ".3.1.1.3.2"])
        r = per_request(unit, both[1], MEMCHECK, memcheck, ["getnext", P + ".3.1.1.3.2"])
        t.rows.append(("heap allocations per user getnext (0)", "%g" % a["allocs"],
                       "%g" % r["allocs"], "-"))
        t.notes.append(("heap allocations per request", a["allocs"], 0))

    # (d) system calls per request kind
    kinds = [("PING", ["PING"], None), ("config get", ["get", P + ".1.1.1.3.2"], 3),
             ("config getnext", ["getnext", P + ".1.1.1.3.2"], 3),
             ("user get", ["get", P + ".3.1.1.3.2"], 5),
             ("port get", ["get", P + ".5.1.1.6.1"], 5)]
    for name, request, expected in kinds:
        a, r = (syscalls(unit, list(prog), request) for prog in both)
        t.add("system calls per %s%s" % (name, " (%d)" % expected if expected else ""),
              a["total"], r["total"], fmt="%g")
        if expected:
            t.notes.append(("system calls per %s" % name, a["total"], expected))
        t.details.append("%s: %s" % (name, ", ".join(
            "%s %g" % (k, v) for k, v in sorted(a.items()) if k != "total" and v)))
        if name == "config get":
            # The request's own read and the answer's write; the rest is the
            # refresh of the configuration.
            refresh = a["total"] - a.get("read", 0) - a.get("write", 0)
            t.rows.append(("system calls per refresh, nothing saved (1)",
                           "%g" % refresh, "-", "-"))
            t.notes.append(("system calls per refresh", refresh, 1))

    # (e) resident memory
    counts = [1000, 100000]
    m = alternate(reps, lambda prog: tuple(rss_kb(unit, prog, counts)), both)
    for i, c in enumerate(counts):
        t.add("resident kB after %dk requests (<=1.2x)" % (c // 1000),
              m[both[0]][i], m[both[1]][i], target=1.2 if i else None)
    t.notes.append(("resident memory growth 1k to 100k requests, kB",
                    m[both[0]][1] - m[both[0]][0], 0))

    # (f) many user accounts
    for accounts, numusers in ((120, 120), (120, 1000)):
        big = Unit(work, "users%d" % numusers, accounts=accounts, numusers=numusers)
        pair = [tuple(AGENT), tuple(big.responder)]
        m = alternate(reps, lambda prog: walk_ms(big, prog), pair)
        t.add("walk, %d user slots (%d in use), ms" % (numusers, accounts),
              m[pair[0]], m[pair[1]], fmt="%.2f")
        if have_valgrind and numusers == 120:
            load90, load450 = load_instructions(unit), load_instructions(big)
            t.rows.append(("instructions to load %d keys vs %d keys (<=5x)"
                           % (big.keys, unit.keys), "%d" % load450, "%d" % load90,
                           "%.2f" % (load450 / load90)))
            t.notes.append(("load %d keys vs %d" % (big.keys, unit.keys), load450 / load90, 5))
            slot0 = instructions(big, AGENT, ["get", P + ".3.1.1.3.2"])
            slot119 = instructions(big, AGENT, ["get", P + ".3.1.1.3.121"])
            t.rows.append(("instructions per user get, slot 119 vs slot 0 (<=1.1x)",
                           "%d" % slot119, "%d" % slot0, "%.2f" % (slot119 / slot0)))
            t.notes.append(("user get slot 119 vs slot 0", slot119 / slot0, 1.1))

    print(t.text())
    print("\nsystem calls of the agent per request:")
    for line in t.details:
        print("  " + line)
    print("\nRows with two programs: setup -S, then the responder; the ratio is their"
          "\nquotient.  The load and slot rows compare the agent with itself (second"
          "\ncolumn: 90 keys, slot 0).  The store holds 8191 characters, so of 1000"
          "\nuser slots only 120 can be in use.  Each request of the user and port"
          "\ntables sends two log lines (the responder logs nothing); here a small C"
          "\nsink (bench/logsink.c) reads the log socket and appends every line to a"
          "\nfile, as the appliance's syslog daemon does, in place of the unit's"
          "\nPython reader, which a walk would otherwise wait on.  The sink has a"
          "\nprocessor of its own; on the walk's processor (the row that says so)"
          "\nevery logged request also switches to the sink and back, which is"
          "\nthe price of the log lines on a single processor, not of the agent."
          "\nResident sizes are taken without address randomisation (see walk.c).")


if __name__ == "__main__":
    main()
