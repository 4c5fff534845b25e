"""The history of programs of one simulated unit working on its configuration
at once, and the checks made over it afterwards (tools/stress records it).

Every operation is recorded with the time it was started (invoke), the time
its outcome was known (end: the answer, the exit, or the kill) and the
outcome: ok (the program said it was stored, or rendered), failed (it said it
was not) or unknown (killed, or ended without saying).  A write names the
keys it sets, as the saved configuration holds them; every written value is
made unique where the key allows it, so that a value seen names its write.
Besides the operations the history holds what was seen: samples of the
saved configuration (each read at some moment between its start and end),
the rendered files read now and then, and the quiet points at which nothing
ran, with the files then and a fresh rendering of the stored configuration.

The checks (check(history) gives the violations):
- every value seen was written by an operation that had started and did
  not fail (or is the value the run began with);
- once a write is acknowledged, a later sample shows its value or that of a
  write not finished before it started: nothing acknowledged is lost or
  put back, and a value replaced does not come back;
- a write of several keys is seen whole: where one of its unique values
  shows, each of its other keys shows its value or a newer write's;
- every saved configuration sampled passes the unit's network check;
- every rendered file read is whole and shows only written values;
- at a quiet point that followed a rendering started after the last save,
  the files are what rendering the stored configuration gives.
"""
import bisect
import json
import re
import threading
import warnings

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import crypt

OK, FAILED, UNKNOWN = "ok", "failed", "unknown"
INITIAL = "initial"
# The programs whose operations may save the configuration, and those that
# render the files the unit follows (a console commit does both).
SAVERS = {"agent", "console", "unitcfg", "-W"}
RENDERERS = {"-x", "-W", "console"}


class Op:
    """One operation; writes maps keys to the values it stores (None: the
    key is absent, as before the run for keys it did not have)."""

    def __init__(self, ident, program, kind, writes, invoke, proc=None):
        self.id = ident
        self.program = program
        self.kind = kind
        self.writes = dict(writes)
        self.invoke = invoke
        self.end = None
        self.outcome = None
        self.proc = proc

    def finish(self, outcome, at):
        self.outcome = outcome
        self.end = at

    def __repr__(self):
        return "#%d %s %s %s [%.3f, %s] %s" % (
            self.id, self.program, self.kind, self.outcome, self.invoke,
            "%.3f" % self.end if self.end is not None else "-",
            " ".join("%s=%s" % kv for kv in sorted(self.writes.items())))

    def to_json(self):
        return dict(self.__dict__)

    @classmethod
    def from_json(cls, d):
        op = cls(d["id"], d["program"], d["kind"], d["writes"], d["invoke"], d["proc"])
        op.finish(d["outcome"], d["end"])
        return op


class History:
    """Recorded by several threads at once."""

    def __init__(self, initial, at):
        """initial: the saved configuration when the run began, at time at."""
        self.lock = threading.Lock()
        self.ops = []
        self.samples = []      # {"start", "end", "config", "verdict"}
        self.files = []        # {"at", "files": {name: text}}
        self.quiet = []        # {"at", "config", "files", "fresh"}
        self.started = {}      # program: processes started
        self.kills = {}        # program: processes killed
        self.troubles = []     # what went wrong besides: a program that ended
                               # by itself, a store that could not be read
        op = self.begin(INITIAL, "configuration", initial, at)
        op.finish(OK, at)

    def begin(self, program, kind, writes, at, proc=None):
        with self.lock:
            op = Op(len(self.ops), program, kind, writes, at, proc)
            self.ops.append(op)
        return op

    def count(self, table, program):
        with self.lock:
            table[program] = table.get(program, 0) + 1

    def sample(self, start, end, config):
        self.samples.append(dict(start=start, end=end, config=config, verdict=None))

    def save(self, path):
        with open(path, "w") as f:
            json.dump(dict(ops=[op.to_json() for op in self.ops], samples=self.samples,
                           files=self.files, quiet=self.quiet, started=self.started,
                           kills=self.kills, troubles=self.troubles), f)

    @classmethod
    def load(cls, path):
        with open(path) as f:
            d = json.load(f)
        h = cls.__new__(cls)
        h.lock = threading.Lock()
        h.ops = [Op.from_json(o) for o in d["ops"]]
        for k in ("samples", "files", "quiet", "started", "kills", "troubles"):
            setattr(h, k, d[k])
        return h


# ---- the rendered files ---------------------------------------------------------

DOTTED = r"\d{1,3}(?:\.\d{1,3}){3}"
QUOTED = r"'(?:[^'\n]|'\\'')*'"
HASH = r"\$5\$rounds=\d+\$[./0-9A-Za-z]{1,16}\$[./0-9A-Za-z]{43}"
NETWORK_LINES = [("HOSTNAME", QUOTED), ("LAN_DHCP", "[01]")] + [
    ("LAN_" + n, DOTTED) for n in ("IP", "NETMASK", "GATEWAY", "BROADCAST")] + [
    ("WAN_PRESENT", "[01]")] + [
    ("WAN_" + n, DOTTED) for n in ("IP", "NETMASK", "GATEWAY", "BROADCAST")] + [
    ("BRIDGE", "[01]"), ("DEFAULT_GATEWAY", DOTTED), ("DNS", DOTTED), ("DNS_DOMAIN", QUOTED)]
# The keys behind lines of network.conf that a write can change.
NETWORK_KEYS = {"HOSTNAME": "hostname", "LAN_IP": "ip", "LAN_NETMASK": "netmask",
                "LAN_GATEWAY": "gateway1", "LAN_BROADCAST": "bcast",
                "DEFAULT_GATEWAY": "gateway"}
PORT_KEYS = ("sshdPort", "httpPort", "httpsPort", "snmpPort", "vncPort", "vncsPort",
             "sshd2Port", "http2Port", "https2Port", "snmp2Port", "vnc2Port", "vncs2Port")
SWITCH_KEYS = ("snmpEnabled", "radiusEnable", "firewallEnable", "ipmiEnable",
               "pppEnable", "dyndnsEnable")

WHOLE = {
    "etc/hostname": re.compile(r"[^\x00-\x20\x7f]+\n"),
    "etc/network.conf": re.compile(
        re.escape("# Network settings of the unit, written from its configuration.\n") +
        "".join(r"%s=(%s)\n" % line for line in NETWORK_LINES)),
    "etc/resolv.conf": re.compile(r"(?:nameserver %s\n)?(?:search \S+\n)?" % DOTTED),
    "etc/unit/services.conf": re.compile(
        re.escape("# Service ports (0: off on that side) and services switched on.\n") +
        "".join(r"%s=(\d+)\n" % k for k in PORT_KEYS) +
        "".join(r"%s=[01]\n" % k for k in SWITCH_KEYS)),
    "etc/unit/accounts": re.compile(
        r"admin:admin:(?:%s)?\n(?:[^:\x00-\x1f\x7f]+:-?\d+:(?:%s|!)?\n)*" % (HASH, HASH)),
}
FILES = sorted(WHOLE)


def number(dotted):
    a = [int(x) for x in dotted.split(".")]
    return str((a[0] << 24) | (a[1] << 16) | (a[2] << 8) | a[3])


def rendered_values(name, text):
    """What a whole rendered file shows of the configuration: {key: value}
    in the saved form; account names under the pseudo-key "account"."""
    m = WHOLE[name].fullmatch(text)
    if name == "etc/hostname":
        return {"hostname": text[:-1]}
    if name == "etc/network.conf":
        seen = {}
        for (line, _), value in zip(NETWORK_LINES, m.groups()):
            if line in NETWORK_KEYS:
                seen[NETWORK_KEYS[line]] = (value[1:-1].replace("'\\''", "'")
                                            if value.startswith("'") else number(value))
        return seen
    if name == "etc/unit/services.conf":
        return dict(zip(PORT_KEYS, m.groups()))
    if name == "etc/unit/accounts":
        return {"account": [line.split(":")[0] for line in text.splitlines()[1:]]}
    return {}


def account_differences(real, fresh, config):
    """Accounts files rendered from the same configuration differ only in
    their salts: the same lines, and each hash one of the same password."""
    if len(real.splitlines()) != len(fresh.splitlines()):
        return ["%d accounts, a fresh rendering has %d"
                % (len(real.splitlines()), len(fresh.splitlines()))]
    passwords = {v for k, v in config.items() if k == "passwd" or
                 re.fullmatch(r"user_\d+_pass", k)}
    out = []
    for a, b in zip(real.splitlines(), fresh.splitlines()):
        a_head, _, a_hash = a.rpartition(":")
        b_head, _, b_hash = b.rpartition(":")
        hashed = b_hash.startswith("$")
        if a_head != b_head or a_hash.startswith("$") != hashed or \
                (not hashed and a_hash != b_hash):
            out.append("account line %r, a fresh rendering has %r" % (a, b))
        elif hashed:
            secret = [p for p in passwords if crypt.crypt(p, b_hash) == b_hash]
            if not secret or crypt.crypt(secret[0], a_hash) != a_hash:
                out.append("account %s: the hash is not one of its stored password"
                           % a_head)
    return out


# ---- the checks -----------------------------------------------------------------

class Checker:
    def __init__(self, history):
        self.h = history
        self.violations = []
        self.told = set()
        self.writers = {}      # (key, value): [ops]
        keys = set()
        for op in history.ops:
            if op.outcome is None:
                raise ValueError("operation without an outcome: %r" % op)
            keys.update(op.writes)
        initial = history.ops[0]
        for key in keys:
            initial.writes.setdefault(key, None)
        self.keys = sorted(keys)
        for op in history.ops:
            for key, value in op.writes.items():
                self.writers.setdefault((key, value), []).append(op)
        self.accounts = {}     # account name: the writes of it
        for (key, value), ops in self.writers.items():
            if re.fullmatch(r"user_\d+_name", key):
                self.accounts.setdefault(value, []).extend(ops)
        # Per key, the acknowledged writes by the time of their answer, and
        # the one that started last among those answered by then.
        self.acked = {}
        for key in keys:
            done = sorted((op for op in history.ops if op.outcome == OK and key in op.writes),
                          key=lambda op: op.end)
            latest, newest = None, []
            for op in done:
                if latest is None or op.invoke > latest.invoke:
                    latest = op
                newest.append(latest)
            self.acked[key] = ([op.end for op in done], newest)

    def fail(self, what, *ops, once=None):
        """Records a violation; one told by once again (the same lost value
        in the next sample, say) is counted only the first time."""
        if once is not None:
            if once in self.told:
                return
            self.told.add(once)
        self.violations.append(what + "".join("\n    %r" % op for op in ops))

    def live(self, key, value, before):
        """The writes that can have put value there by time before."""
        return [op for op in self.writers.get((key, value), ())
                if op.outcome != FAILED and op.invoke < before]

    def seen_value(self, where, key, value, before):
        """Checks a value seen; its possible writes (none: a violation)."""
        ops = self.live(key, value, before)
        if not ops:
            all_ops = self.writers.get((key, value), [])
            why = ("a failed write's value" if all_ops and all(o.outcome == FAILED for o in all_ops)
                   else "a value visible before its write started" if all_ops
                   else "a value nobody wrote")
            self.fail("%s: %s=%r is %s" % (where, key, value, why), *all_ops,
                      once=("seen", key, value, why))
        return ops

    def newest_acked(self, key, before):
        """The acknowledged write of key answered before time before that
        started last, or None."""
        ends, newest = self.acked[key]
        i = bisect.bisect_left(ends, before)
        return newest[i - 1] if i else None

    def unique_writer(self, key, value):
        ops = self.writers.get((key, value), [])
        return ops[0] if len(ops) == 1 and ops[0].program != INITIAL else None

    def group_whole(self, where, seen, before):
        """Where a value names a write of several keys, its other keys show
        it or something newer."""
        done = set()
        for key, value in seen.items():
            w = self.unique_writer(key, value)
            if w is None or len(w.writes) < 2 or w.id in done:
                continue
            done.add(w.id)
            for other, mine in w.writes.items():
                if other not in seen or seen[other] == mine:
                    continue
                if not any(op.end >= w.invoke for op in self.live(other, seen[other], before)):
                    self.fail("%s: write #%d shows in %s but %s=%r is older than it"
                              % (where, w.id, key, other, seen[other]), w,
                              *self.writers.get((other, seen[other]), []),
                              once=("torn", w.id, other, seen[other]))

    def check_samples(self):
        samples = sorted(self.h.samples, key=lambda s: s["start"])
        # Per key, where the run of samples showing the same value as
        # sample i began: the look back for another value skips it whole.
        run_start = {}
        for key in self.keys:
            starts = run_start[key] = []
            for i, s in enumerate(samples):
                same = i and s["config"].get(key) == samples[i - 1]["config"].get(key)
                starts.append(starts[i - 1] if same else i)
        for n, s in enumerate(samples):
            where = "sample %d [%.3f, %.3f]" % (n, s["start"], s["end"])
            config = s["config"]
            if s.get("verdict") not in (None, "ok"):
                self.fail("%s: the saved configuration fails the network check: %s"
                          % (where, s["verdict"]), once=("check", s["verdict"]))
            seen = {key: config.get(key) for key in self.keys}
            for key, value in seen.items():
                ops = self.seen_value(where, key, value, s["end"])
                if not ops:
                    continue
                latest = max(op.end for op in ops)
                w = self.newest_acked(key, s["start"])
                if w is not None and latest < w.invoke:
                    self.fail("%s: %s=%r although write #%d (%r) was acknowledged before"
                              % (where, key, value, w.id, w.writes[key]), w, *ops,
                              once=("lost", key, value, w.id))
                    continue
                # The last earlier sample that showed another value: if all
                # writes of this one had ended before it, this one came back.
                j = n - 1
                while j >= 0 and samples[j]["start"] > latest:
                    earlier = samples[j]
                    if earlier["config"].get(key) == value:
                        j = run_start[key][j] - 1
                    elif earlier["end"] >= s["start"]:
                        j -= 1      # read at the same time as this one
                    else:
                        self.fail("%s: %s=%r came back after %r was seen in the sample "
                                  "of [%.3f, %.3f]" % (where, key, value,
                                                        earlier["config"].get(key),
                                                        earlier["start"], earlier["end"]),
                                  *ops, once=("back", key, value))
                        break
            self.group_whole(where, seen, s["end"])

    def check_files(self):
        for sample in self.h.files:
            for name, text in sorted(sample["files"].items()):
                where = "%s read at %.3f" % (name, sample["at"])
                if text is None:
                    continue   # not there yet
                if not WHOLE[name].fullmatch(text):
                    self.fail("%s: not whole:\n%s" % (where, text))
                    continue
                seen = rendered_values(name, text)
                for account in seen.pop("account", []):
                    if not any(op.outcome != FAILED and op.invoke < sample["at"]
                               for op in self.accounts.get(account, ())):
                        self.fail("%s: account %r was never stored" % (where, account))
                for key, value in seen.items():
                    if key in self.keys:
                        self.seen_value(where, key, value, sample["at"])
                self.group_whole(where, {k: v for k, v in seen.items() if k in self.keys},
                                 sample["at"])

    def qualifies(self, at):
        """Whether a rendering that ended well before time at had started
        after every save had ended."""
        saved = max((op.end for op in self.h.ops
                     if op.program in SAVERS and op.end < at), default=float("-inf"))
        return any(op.program in RENDERERS and op.outcome == OK and
                   saved < op.invoke and op.end < at for op in self.h.ops)

    def check_quiet(self):
        self.quiet_checked = 0
        for q in self.h.quiet:
            if not self.qualifies(q["at"]):
                continue
            self.quiet_checked += 1
            for name in FILES:
                real, fresh = q["files"].get(name), q["fresh"].get(name)
                where = "quiet at %.3f: %s" % (q["at"], name)
                if name == "etc/unit/accounts" and real and fresh:
                    for d in account_differences(real, fresh, q["config"]):
                        self.fail("%s: %s" % (where, d))
                elif real != fresh:
                    self.fail("%s differs from a fresh rendering:\n--- unit\n%s--- fresh\n%s"
                              % (where, real, fresh))

    def run(self):
        self.violations += self.h.troubles
        self.check_samples()
        self.check_files()
        self.check_quiet()
        return self.violations


def check(history):
    """The violations of the history, as texts; and the checker (figures)."""
    c = Checker(history)
    return c.run(), c


def figures(history, checker):
    ops = [op for op in history.ops if op.program != INITIAL]
    by = {}
    for op in ops:
        by.setdefault(op.program, {OK: 0, FAILED: 0, UNKNOWN: 0})[op.outcome] += 1
    lines = ["%-9s %8s %8s %8s %8s %8s" % ("program", "ok", "failed", "unknown",
                                         "started", "killed")]
    for program in sorted(set(by) | set(history.started)):
        o = by.get(program, {OK: 0, FAILED: 0, UNKNOWN: 0})
        lines.append("%-9s %8d %8d %8d %8d %8d" % (
            program, o[OK], o[FAILED], o[UNKNOWN], history.started.get(program, 0),
            history.kills.get(program, 0)))
    lines.append("operations %d, programs started %d, kills %d; samples %d, file reads %d, "
                 "quiet points %d (%d compared with a fresh rendering); violations %d"
                 % (len(ops), sum(history.started.values()), sum(history.kills.values()),
                    len(history.samples), len(history.files), len(history.quiet),
                    checker.quiet_checked, len(checker.violations)))
    return "\n".join(lines)
