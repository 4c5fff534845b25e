"""What the SNMP agent's look for saves by other processes costs per request."""
import re

from snmp_agent import P


def test_a_request_with_nothing_saved_meanwhile_reads_only_the_slot_headers(unit):
    script = ("get\n%s.1.1.1.3.2\n" % P) * 3
    r = unit.run("-S", input=script.encode(), strace="")
    assert r.returncode == 0
    answers = [i for i, line in enumerate(r.trace) if re.search(r"\bwrite\(1, ", line)]
    assert len(answers) == 3, r.trace
    # Between two answers: the refresh of the next request and nothing else
    # (its request line was read with the first).
    between = [re.sub(r"^\d+\s+", "", line) for line in r.trace[answers[0] + 1:answers[-1]]
               if not re.search(r"\bwrite\(1, ", line)]
    assert len(between) == 2 and all(re.match(r"pread64\(\d+, .*, 64, \d+\) = 64$", c)
                                     for c in between), between
