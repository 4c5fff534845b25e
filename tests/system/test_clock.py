"""The unit's clock past January 2038: the clock record taken by -x, the
system log's header, the agent's status file cache and a walk, with the
guest's kernel clock at 2038-01-19 03:14:00 UTC (seven seconds before a
32-bit time_t ends) and in 2040."""

import re

import pytest

from test_unit import CLASSIC, PREFIX, WALK

END_2038 = 2147483640   # 2038-01-19 03:14:00
YEAR_2040 = 2208988800  # 2040-01-01 00:00:00


class Agent:
    """One long-lived `setup -S` in the guest, fed through a pair of fifos
    held open by the harness's shell, so that its status cache lives across
    the clock changes."""

    def __init__(self, unit):
        self.unit = unit
        unit.sh("rm -f /tmp/q /tmp/a; mkfifo /tmp/q /tmp/a;"
                " /usr/sbin/setup -S </tmp/q >/tmp/a 2>/dev/null & exec 3>/tmp/q 4</tmp/a")

    def get(self, oid):
        return self.unit.sh(
            "printf 'get\\n%s\\n' >&3; read -r o <&4; read -r t <&4; read -r v <&4;"
            " echo \"$o|$t|$v\"" % oid).strip().split("|")

    def close(self):
        self.unit.sh("exec 3>&- 4<&-; wait")


def screen(unit, status):
    """Writes the video status record with the given status code."""
    unit.sh("printf '\\0\\0\\0\\%03o' | dd of=/var/screen.bin bs=1 seek=20 conv=notrunc"
            " 2>/dev/null" % status)


def set_clock(unit, seconds):
    unit.sh("date -s @%d >/dev/null" % seconds)


@pytest.fixture(scope="module")
def baseline_walk(unit):
    return unit.sh(WALK).splitlines()


@pytest.mark.parametrize("when, header", [
    (END_2038, r"Jan 19 03:1[45]:[0-5][0-9]"),
    (YEAR_2040, r"Jan  1 00:0[0-9]:[0-5][0-9]"),
], ids=["2038-01-19", "2040"])
def test_clock_record_log_header_cache_and_walk(unit, baseline_walk, when, header):
    # -x takes the clock record into the kernel's clock.
    unit.sh("echo '%d 1' >/var/lib/unit/rtc; /usr/sbin/setup -x" % when)
    now = unit.clock()
    assert when <= now < when + 30, now

    # The system log's header carries the date.
    unit.sh("rm -f /var/log/stubs/rc.network")
    unit.sh("printf 'set\\n%s.2.2\\ninteger 4321\\n' | /usr/sbin/setup -S >/dev/null" % PREFIX)
    line = unit.wait_log(r"^%s .*Warm restart via SNMP request\.$" % header)
    assert re.match(CLASSIC % ("notice", r"Warm restart via SNMP request\."), line), line

    # The status file is read at most once in ten seconds, and read again
    # after ten, on either side of the end of 32-bit time.
    start = when - 5
    set_clock(unit, start)
    screen(unit, 3)
    agent = Agent(unit)
    try:
        assert agent.get(PREFIX + ".2.4")[2] == "4"
        screen(unit, 1)
        assert agent.get(PREFIX + ".2.4")[2] == "4"        # cached
        set_clock(unit, start + 11)
        assert agent.get(PREFIX + ".2.4")[2] == "2"        # read again
        screen(unit, 6)
        set_clock(unit, start + 13)
        assert agent.get(PREFIX + ".2.4")[2] == "2"        # cached
        set_clock(unit, start + 22)
        assert agent.get(PREFIX + ".2.4")[2] == "7"        # read again
    finally:
        agent.close()
        screen(unit, 0)

    # A whole walk answers as it did in 2023.
    set_clock(unit, when)
    assert unit.sh(WALK).splitlines() == baseline_walk


def test_rtc_record_past_2038_is_taken_whole(unit):
    # One second past the end of 32-bit time: a clock that wrapped would
    # land in 1901, one cut at 32 bits would refuse it and keep the old time.
    set_clock(unit, 1700000000)
    unit.sh("echo '2147483648 1' >/var/lib/unit/rtc; /usr/sbin/setup -x")
    assert 2147483648 <= unit.clock() < 2147483648 + 30
    assert unit.sh("date -u +%Y").strip() == "2038"
