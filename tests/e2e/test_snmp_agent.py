"""The SNMP agent over pipes: command loop, OID dispatch and the
configuration subtree."""
import re

import pytest

from snmp_agent import P, Agent, answer

NOTICE = 0x85


@pytest.fixture
def agent(unit):
    a = Agent(unit)
    yield a
    rc, err = a.close()
    assert (rc, err) == (0, b""), "the agent must end cleanly and keep standard error quiet"


def test_command_words(agent, unit):
    assert agent.ask("PING") == "PONG\n"
    assert agent.ask("PING \t") == "PONG\n"
    # Only "getnext" is a walk step; any other line starting "get" is a get.
    assert agent.ask("get next", P + ".1.1.1.2.2") == answer(".1.1.1.2.2", "string", "ip")
    assert agent.ask("getfoo", P + ".1.1.1.2.2") == answer(".1.1.1.2.2", "string", "ip")
    assert agent.unanswered("ping", "GETNEXT", "", "Set")
    agent.close()
    assert [m for p, m in unit.log()[-4:]] == [
        "SNMP: Bad cmd line: ping", "SNMP: Bad cmd line: GETNEXT",
        "SNMP: Bad cmd line: ", "SNMP: Bad cmd line: Set"]
    assert {p for p, m in unit.log()} == {NOTICE}


def test_keepalive_does_not_reread_the_configuration(unit):
    def eeprom_opens(script):
        r = unit.run("-S", input=script.encode(), strace="openat")
        return sum("eeprom.img" in line for line in r.trace)

    at_start = eeprom_opens("")
    assert eeprom_opens("PING\nPING\nPING\n") == at_start
    assert eeprom_opens("\n") == at_start + 1
    assert eeprom_opens("bogus\nget\n" + P + ".4.7\n") == at_start + 2


def test_each_answer_leaves_in_one_write(unit):
    script = "PING\nget\n%s.1.1.1.2.1\nget\n%s.9\nset\n%s.4.1\nstring x\n\nPING\n" % (P, P, P)
    answers = ["PONG\n", answer(".1.1.1.2.1", "string", "dhcpEnable"), "NONE\n",
               "not-writable\n", "PONG\n"]
    r = unit.run("-S", input=script.encode(), strace="write")
    writes = [re.search(r"write\(1, .*= (\d+)$", line) for line in r.trace]
    assert [int(w.group(1)) for w in writes if w] == [len(a) for a in answers]
    assert (r.stdout, r.stderr) == ("".join(answers).encode(), b"")


def test_input_ending_inside_a_request_gets_no_answer(unit):
    for script in ("set\n%s.1.1.1.3.32\n" % P, "get\n", "PING\nset\n"):
        r = unit.run("-S", input=script.encode())
        assert (r.returncode, r.stdout) == (0, b"PONG\n" if "PING" in script else b"")
    assert unit.config()["hostname"] == "unit"


def test_walk_order_and_positions(agent, unit):
    first = answer(".1.1.1.1.1", "integer", "0")
    cases = [
        ("get", "", "NONE\n"),
        ("getnext", "", first),
        ("getnext", "7", first),          # the prefix running into a digit
        ("getnext", ".0", first),
        ("getnext", ".1", first),
        ("getnext", ".6", "NONE\n"),
        ("get", ".0", "NONE\n"),
        ("getnext", ".1.1.1.1.86", answer(".1.1.1.2.1", "string", "dhcpEnable")),
        ("getnext", ".1.1.1.2", answer(".1.1.1.2.1", "string", "dhcpEnable")),
        ("get", ".1.1.1.1.87", answer(".1.1.1.2.1", "string", "dhcpEnable")),
        ("get", ".1.1.1.3.87", "NONE\n"),
        ("get", ".1.1.1.4.1", "NONE\n"),
        ("get", ".1.9.9", first),
        ("get", ".1.1.1.3.0", "NONE\n"),
        ("getnext", ".1.1.1.0.5", first),
        ("getnext", ".1.1.1.3.86", answer(".2.1", "integer", "0")),
        ("get", ".1.1.1.2.2" + ".1" * 40, "NONE\n"),   # too long to take in
    ]
    for command, oid, expected in cases:
        assert agent.ask(command, P + oid) == expected, (command, oid)
    assert agent.ask("get", ".1.3.6.1.4.1.53177.3.1") == "NONE\n"
    agent.close()
    assert unit.log()[-1] == (NOTICE, "SNMP: Bad OID prefix")


def test_configuration_values_as_stored(agent, unit):
    unit.set_config(hostname="lab unit", ip="10.1.2.3", passwd="secret")
    assert agent.get(".1.1.1.3.32") == answer(".1.1.1.3.32", "string", "lab unit")
    assert agent.get(".1.1.1.3.2") == answer(".1.1.1.3.2", "string", "10.1.2.3")
    assert agent.get(".1.1.1.3.11") == answer(".1.1.1.3.11", "string", "*")
    assert agent.get(".1.1.1.1.86") == answer(".1.1.1.1.86", "integer", "85")
    assert agent.get(".1.1.1.2.86") == answer(".1.1.1.2.86", "string", "osdBlank")


def test_set_replies(agent, unit):
    cases = [
        (P + ".4.1", "integer", "not-writable\n"),           # no blank
        (".1.3.6.1.4.1.9.1.1.1.3.2", "string x", "not-writable\n"),
        (P, "string x", "not-writable\n"),
        (P + "1.1.1.3.2", "string x", "not-writable\n"),
        (P + ".1.1.1.3,2", "string x", "not-writable\n"),
        (P + ".1", "string x", "not-writable\n"),
        (P + ".4.1", "string x", "not-writable\n"),
        (P + ".7.1", "integer 1", "not-writable\n"),
        (P + ".2.1", "string 1234", "wrong-type\n"),
        (P + ".2.1", "integer 1", "not-writable\n"),
        (P + ".5.1.1.5.1", "integer 22", "not-writable\n"),
        (P + ".5.1.1.6.1", "string 22", "wrong-type\n"),
        (P + ".1.1.1.3", "string x", "not-writable\n"),
        (P + ".1.1.1.3.87", "string x", "not-writable\n"),
        (P + ".1.1.1.3.32.1", "string x", "not-writable\n"),
    ]
    for oid, type_value, expected in cases:
        assert agent.ask("set", oid, type_value) == expected, (oid, type_value)
    agent.close()
    assert [m for p, m in unit.log() if "SNMP" in m] == [
        "SNMP: Bad OID prefix (set): .1.3.6.1.4.1.9.1.1.1.3.2",
        "SNMP: Bad char in Set OID", "SNMP: Set to R/O OID.", "SNMP: Set to R/O OID."]
    assert unit.config()["hostname"] == "unit"


def test_configuration_writes(agent, unit):
    # Any column names the row; any type word is taken.
    assert agent.set(".1.1.1.1.2", "integer 10.0.0.1") == "success\n"
    assert agent.set(".1.1.1.2.3", "string 10.0.0.300") == "not-writable\n"
    assert agent.set(".1.1.1.3.32", 'string "a b"') == "success\n"
    assert agent.unanswered("")   # the daemon's empty line after a set
    assert agent.set(".1.1.1.3.33", 'string "rack 4') == "success\n"
    assert agent.set(".1.1.1.3.11", "octet new") == "success\n"
    saved = unit.config()
    assert (saved["ip"], saved["hostname"], saved["location"], saved["passwd"]) == (
        str(0x0A000001), "a b", "rack ", "new")
    assert saved.get("gateway", "0") == "0"
    assert agent.get(".1.1.1.3.2") == answer(".1.1.1.3.2", "string", "10.0.0.1")


def test_oid_prefix_from_the_oem_database(unit):
    unit.set_identity(tf_snmpOID=".1.3.6.1.4.1.99.7")
    agent = Agent(unit)
    assert agent.ask("getnext", ".1.3.6.1.4.1.99.7") == \
        ".1.3.6.1.4.1.99.7.1.1.1.1.1\ninteger\n0\n"
    assert agent.get(".1.1.1.2.1") == "NONE\n"
    assert agent.set(".1.1.1.3.32", "string x") == "not-writable\n"
    assert agent.close() == (0, b"")
