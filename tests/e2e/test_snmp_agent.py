"""The SNMP agent over pipes: command loop, OID dispatch, configuration."""
import re

import pytest

from snmp_agent import P, Agent, answer


@pytest.fixture
def agent(unit):
    a = Agent(unit)
    yield a
    assert a.close() == (0, b""), "clean end, nothing on standard error"


def test_command_words(agent, unit):
    assert agent.ask("PING \t") == "PONG\n"
    # Only "getnext" is a walk step; any other line starting "get" is a get.
    assert agent.ask("get next", P + ".1.1.1.2.2") == answer(".1.1.1.2.2", "string", "ip")
    assert agent.ask("getfoo", P + ".1.1.1.2.2") == answer(".1.1.1.2.2", "string", "ip")
    assert agent.unanswered("ping", "GETNEXT", "", "Set")
    agent.close()
    assert unit.log()[-4:] == [(0x85, "SNMP: Bad cmd line: " + w) for w in
                               ("ping", "GETNEXT", "", "Set")]


def test_keepalive_does_not_reread_the_configuration(unit):
    def store_reads(script):
        r = unit.run("-S", input=script.encode(), strace="openat,pread64")
        return sum("eeprom.img" in line or "pread64" in line for line in r.trace)

    at_start = store_reads("")
    assert store_reads("PING\nPING\n") == at_start
    # Every other line takes in what was saved meanwhile, bad ones included.
    assert at_start < store_reads("\n") < store_reads("\nbogus\n") < \
        store_reads("\nbogus\nget\n%s.4.7\n" % P)


def test_each_answer_leaves_in_one_write_and_incomplete_requests_none(unit):
    script = "PING\nget\n%s.1.1.1.2.1\nget\n%s.9\nset\n%s.4.1\nstring x\n\nset\n%s.1.1.1.3.32\n" \
        % (P, P, P, P)
    answers = ["PONG\n", answer(".1.1.1.2.1", "string", "dhcpEnable"), "NONE\n",
               "not-writable\n"]
    r = unit.run("-S", input=script.encode(), strace="write")
    writes = [re.search(r"write\(1, .*= (\d+)$", line) for line in r.trace]
    assert [int(w.group(1)) for w in writes if w] == [len(a) for a in answers]
    assert (r.returncode, r.stdout, r.stderr) == (0, "".join(answers).encode(), b"")


def test_walk_order_and_positions(agent, unit):
    first = answer(".1.1.1.1.1", "integer", "0")
    name1 = answer(".1.1.1.2.1", "string", "dhcpEnable")
    cases = [
        ("get", "", "NONE\n"), ("getnext", "", first), ("getnext", "7", first),
        ("getnext", ".0", first), ("getnext", ".1", first), ("getnext", ".6", "NONE\n"),
        ("get", ".0", "NONE\n"), ("getnext", ".1.1.1.1.86", name1),
        ("getnext", ".1.1.1.2", name1), ("get", ".1.1.1.1.87", name1),
        ("get", ".1.1.1.3.87", "NONE\n"), ("get", ".1.1.1.4.1", "NONE\n"),
        ("get", ".1.9.9", first), ("get", ".1.1.1.3.0", "NONE\n"),
        ("getnext", ".1.1.1.0.5", first),
        ("getnext", ".1.1.1.3.86", answer(".2.1", "integer", "0")),
        ("get", ".2", answer(".2.1", "integer", "0")), ("get", ".2.0", answer(".2.1", "integer", "0")),
        ("get", ".2.6", "NONE\n"), ("getnext", ".2.5", answer(".3.1.1.1.1", "integer", "0")),
        ("get", ".4", "NONE\n"), ("get", ".4.0", "NONE\n"), ("get", ".4.9", "NONE\n"),
        ("getnext", ".4.8", answer(".5.1.1.1.1", "integer", "1")),
        ("get", ".1.1.1.2.2" + ".1" * 40, "NONE\n"),   # too long to take in
    ]
    for command, oid, expected in cases:
        assert agent.ask(command, P + oid) == expected, (command, oid)
    assert agent.ask("get", ".1.3.6.1.4.1.53177.3.1") == "NONE\n"
    agent.close()
    assert unit.log()[-1] == (0x85, "SNMP: Bad OID prefix")


def test_set_replies(agent, unit):
    nw, wt = "not-writable\n", "wrong-type\n"
    cases = [
        (P + ".4.1", "integer", nw), (".1.3.6.1.4.1.9.1.1.1.3.2", "string x", nw),
        (P, "string x", nw), (P + "1.1.1.3.2", "string x", nw), (P + ".1.1.1.3,2", "string x", nw),
        (P + ".1", "string x", nw), (P + ".4.1", "string x", nw), (P + ".7.1", "integer 1", nw),
        (P + ".2.1", "string 1234", wt), (P + ".2.1", "integer 1", nw),
        (P + ".5.1.1.5.1", "integer 22", nw), (P + ".5.1.1.6.1", "string 22", wt),
        (P + ".1.1.1.3", "string x", nw), (P + ".1.1.1.3.87", "string x", nw),
        (P + ".1.1.1.3.32.1", "string x", nw),
    ]
    for oid, type_value, expected in cases:
        assert agent.ask("set", oid, type_value) == expected, (oid, type_value)
    agent.close()
    assert [m for p, m in unit.log() if "SNMP" in m] == [
        "SNMP: Bad OID prefix (set): .1.3.6.1.4.1.9.1.1.1.3.2",
        "SNMP: Bad char in Set OID", "SNMP: Set to R/O OID.", "SNMP: Set to R/O OID."]
    assert unit.config()["hostname"] == "unit"


def test_configuration_reads_and_writes(agent, unit):
    unit.set_config(location="lab", passwd="secret")
    assert agent.get(".1.1.1.3.33") == answer(".1.1.1.3.33", "string", "lab")
    assert agent.get(".1.1.1.3.11") == answer(".1.1.1.3.11", "string", "*")
    # Any column names the row; any type word is taken.
    assert agent.set(".1.1.1.1.2", "integer 10.0.0.1") == "success\n"
    assert agent.set(".1.1.1.2.3", "string 10.0.0.300") == "not-writable\n"
    assert agent.set(".1.1.1.3.32", 'string "a b"') == "success\n"
    assert agent.unanswered("")   # the daemon's empty line after a set
    assert agent.set(".1.1.1.3.33", 'string "rack 4') == "success\n"
    assert agent.set(".1.1.1.3.11", "  octet new") == "success\n"
    assert agent.set(".1.1.1.3.34", 'string "') == "success\n"   # a lone quote: empty
    assert agent.set(".1.1.1.3.35", "string  x") == "success\n"  # a second blank is kept
    assert agent.get(".1.1.1.3.2") == answer(".1.1.1.3.2", "string", "10.0.0.1")
    saved = unit.config()
    assert [saved.get(k) for k in ("ip", "hostname", "location", "passwd", "contact",
                                   "description")] == [
        str(0x0A000001), "a b", "rack ", "new", "", " x"]
    assert saved.get("gateway", "0") == "0"


def test_oid_prefix_from_the_oem_database(unit):
    unit.set_identity(tf_snmpOID=".1.3.6.1.4.1.99.7")
    agent = Agent(unit)
    assert agent.ask("getnext", ".1.3.6.1.4.1.99.7") == ".1.3.6.1.4.1.99.7.1.1.1.1.1\ninteger\n0\n"
    assert agent.get(".1.1.1.2.1") == "NONE\n"
    assert agent.set(".1.1.1.3.32", "string x") == "not-writable\n"
    assert agent.close() == (0, b"")


def sub_ids(oid):
    return tuple(int(n) for n in oid[len(P):].split(".")[1:])


def test_every_walk_step_answers_the_first_instance_after_it(agent):
    # The daemon stops a walk at an answer that does not sort after the
    # request, so a getnext from anywhere, instances or not, must answer the
    # first instance that follows it.
    instances = [sub_ids(a.split("\n")[0]) for a in agent.walk()[:-1]]
    assert len(instances) == 86 * 3 + 5 + 6 * 2 + 8 + 15 * 7
    assert instances == sorted(set(instances))
    starts = {(), (0, 5), (6,), (2**32 - 1,), (2, 2**31 - 1), (2, 2**32 - 1)}
    for oid in instances:
        for k in range(1, len(oid) + 1):
            for last in (oid[k - 1], oid[k - 1] + 1, oid[k - 1] + 7):
                starts.add(oid[:k - 1] + (last,))
        starts.update({oid + (0,), oid + (2**32 - 1,)})
    wrong = []
    for start in sorted(starts):
        following = [i for i in instances if i > start]
        expected = P + "".join(".%d" % n for n in following[0]) + "\n" if following else "NONE\n"
        got = agent.next("".join(".%d" % n for n in start)).partition("\n")
        if got[0] + got[1] != expected:
            wrong.append((start, got[0]))
    assert wrong == []


def test_over_long_lines_are_consumed_whole(agent, unit):
    location = P + ".1.1.1.3.33"
    # A value that fills the line buffer exactly is taken whole.
    assert agent.set(".1.1.1.3.33", "string " + "b" * 1016) == "success\n"
    # One character more and the rest must not become a command of its own.
    assert agent.set(".1.1.1.3.33", "string " + "a" * 1016 + "PING") == "not-writable\n"
    assert agent.unanswered()
    # A daemon-sized hex value, and an OID line too long for its buffer.
    assert agent.set(".1.1.1.3.33", 'octet "%s"' % " ".join(["41"] * 1360)) == "not-writable\n"
    assert agent.ask("set", location + ".1" * 80, "string x") == "not-writable\n"
    # Trailing blanks up to the OID buffer's size still name the instance.
    padded = location.ljust(159)
    assert agent.ask("get", padded) == answer(".1.1.1.3.33", "string", "b" * 1016)
    assert agent.ask("get", padded + " ") == "NONE\n"
    assert agent.ask("getnext", location + ".1" * 80) == "NONE\n"
    # Over-long command lines are read as what they begin with.
    assert agent.ask("get" + "x" * 300, P + ".1.1.1.2.33") == \
        answer(".1.1.1.2.33", "string", "location")
    assert agent.unanswered("z" * 5000)
    assert agent.ask("PING" + " " * 5000) == "PONG\n"
    assert agent.get(".1.1.1.2.32") == answer(".1.1.1.2.32", "string", "hostname")
    agent.close()
    assert unit.config()["location"] == "b" * 1016
    log = [m for p, m in unit.log()]
    assert log.count("SNMP: Request line too long, refused") == 5
    assert "SNMP: Bad cmd line: " + "z" * 159 in log


def test_an_over_long_line_cut_by_the_end_of_input_is_not_answered(unit):
    script = "set\n%s.1.1.1.3.33\nstring %s" % (P, "a" * 3000)
    r = unit.run("-S", input=script.encode())
    assert (r.returncode, r.stdout, r.stderr) == (0, b"", b"")
    assert unit.config()["location"] == ""


def test_values_with_control_characters_answer_as_octets(agent, unit):
    unit.unitcfg("set", "location=a\nb\tc\udce9", "contact=caf\udce9 ok", "user_0_name=x\ry",
                 "numusers=1", "description=" + "d" * 5000)
    assert agent.get(".1.1.1.3.33") == answer(".1.1.1.3.33", "octet", "61 0a 62 09 63 e9")
    # A byte above 0x7F alone travels in a string line.
    assert agent.get(".1.1.1.3.34") == answer(".1.1.1.3.34", "string", "caf\udce9 ok")
    assert agent.get(".3.1.1.3.2") == answer(".3.1.1.3.2", "octet", "78 0d 79")
    # Value lines fit what the daemon takes in: 4094 characters.
    assert agent.get(".1.1.1.3.35") == answer(".1.1.1.3.35", "string", "d" * 4094)
    unit.unitcfg("set", "description=\x7f" + "e" * 1999)
    assert agent.get(".1.1.1.3.35") == answer(".1.1.1.3.35", "octet",
                                              " ".join(["7f"] + ["65"] * 1364))
    # The walk over the values stays three lines an answer.
    assert len(agent.walk(".1.1.1.3")) == 86 + 1
