"""The shipped MIB module, loaded by the SNMP tools as a manager loads it,
against the agent behind snmpd configured by the shipped snippet."""
import re
import subprocess

import pytest

from snmp_agent import P, Snmpd
from unit import ROOT

MODULE = "REMOTE-CONSOLE-SETUP-MIB"
# Scalars of the status and identity lists, columns of the three tables.
LAYOUT = {1: ("table", 3), 2: ("list", 5), 3: ("table", 6), 4: ("list", 8), 5: ("table", 7)}


@pytest.fixture(scope="module")
def mib_args():
    r = subprocess.run([str(ROOT / "tools/base-mibs")], capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    return ("-M", "%s:%s" % (r.stdout.strip(), ROOT / "mibs"), "-m", MODULE)


def test_walk_names_every_instance(snmpd, mib_args):
    out = snmpd.client("snmpwalk", P, names=mib_args)
    lines = out.splitlines()
    assert "past the end of the MIB" in lines.pop()
    named = re.compile(r"%s::rcs[A-Za-z0-9]+(\.\d+)? = " % MODULE)
    assert [line for line in lines if not named.match(line)] == []
    # 86 keys x 3, 5 status scalars, administrator and spare row x 6,
    # 8 identity scalars, 15 services x 7.
    assert len(lines) == 258 + 5 + 12 + 8 + 105
    # Values fit the module's types: enumerations name the agent's numbers,
    # sizes and ranges hold (the tools flag a mismatch as a wrong type).
    assert "Wrong Type" not in out and "Bad value" not in out
    shown = dict(line.split(" = ", 1) for line in lines)
    m = MODULE + "::"
    assert [shown[m + k] for k in ("rcsVideoStatus", "rcsMacAddress", "rcsUserStatus.1",
                                   "rcsUserStatus.2", "rcsUserKind.1", "rcsPortSide.13",
                                   "rcsConfigKey.86")] == [
        "INTEGER: picture(1)", "STRING: 2:0:5e:10:0:1", "INTEGER: administrator(5)",
        "INTEGER: empty(4)", "INTEGER: administrator(2)", "INTEGER: localhost(3)",
        "STRING: osdBlank"]


def test_every_column_and_scalar_has_a_name(mib_args, tmp_path):
    oids = []
    for subtree, (shape, count) in LAYOUT.items():
        base = "%s.%d.1.1." % (P, subtree) if shape == "table" else "%s.%d." % (P, subtree)
        oids += [base + str(n) for n in range(1, count + 1)]
    r = subprocess.run(["snmptranslate", *mib_args, "-Os", *oids], capture_output=True,
                       text=True, env=Snmpd.tool_env(tmp_path))
    names = r.stdout.split()
    # An OID the module lacks comes back as its parent's name and a number.
    assert len(names) == len(oids) and all(re.fullmatch(r"rcs[A-Za-z0-9]+", n) for n in names), \
        r.stdout + r.stderr
    assert len(set(names)) == len(names)


def test_sets_by_name(snmpd, unit, mib_args):
    def set_(*args):
        out = snmpd.client("snmpset", *args, community="private", names=mib_args)
        assert "Error" not in out, out
    # The types the module gives are the ones the agent takes.
    set_("rcsPortNumber.1", "=", "2222", "rcsConfigValue.33", "=", "lab 3")
    set_("rcsUserStatus.2", "=", "create")
    set_("rcsUserPassword.3", "=", "s3cret")
    saved = unit.config()
    assert [saved[k] for k in ("sshdPort", "location", "user_0_name", "numusers",
                               "user_1_pass")] == ["2222", "lab 3", "NEW", "2", "s3cret"]
