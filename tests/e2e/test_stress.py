"""The history checker of tools/stress: what it must call a violation and
what it must let pass, on small histories made by hand; and a short run of
the tool itself on a simulated unit."""
import importlib.machinery
import importlib.util
import re
import subprocess
import sys

from unit import PY, ROOT

sys.path.insert(0, str(ROOT / "tools"))
import history  # noqa: E402
from history import FAILED, OK, UNKNOWN, History  # noqa: E402


def stress_tool():
    """tools/stress as a module, for its helpers."""
    loader = importlib.machinery.SourceFileLoader("stress", str(ROOT / "tools/stress"))
    loaded = importlib.util.spec_from_loader("stress", loader)
    module = importlib.util.module_from_spec(loaded)
    loader.exec_module(module)
    return module


INITIAL = {"location": "", "ip": "167772162", "netmask": "4278190080",
           "bcast": "184549375", "hostname": "start", "numusers": "0"}


def make(*ops, samples=()):
    """A history from (program, writes, invoke, end, outcome) and samples
    (start, end, changes to the initial configuration)."""
    h = History(INITIAL, 0.0)
    for program, writes, invoke, end, outcome in ops:
        h.begin(program, "test", writes, invoke).finish(outcome, end)
    for start, end, changes in samples:
        h.sample(start, end, dict(INITIAL, **changes))
    return h


def violations(h):
    return history.check(h)[0]


def test_an_acknowledged_value_must_stay_until_a_newer_write_replaces_it():
    written = ("agent", {"location": "a1"}, 1, 2, OK)
    assert violations(make(written, samples=[(3, 4, {"location": "a1"})])) == []
    lost = violations(make(written, samples=[(3, 4, {})]))
    assert len(lost) == 1 and "acknowledged before" in lost[0]
    # A write that overlapped it may win; one that ended before it began may not.
    overlapping = ("unitcfg", {"location": "u2"}, 1.5, 2.5, OK)
    assert violations(make(written, overlapping, samples=[(3, 4, {"location": "a1"})])) == []
    older = ("unitcfg", {"location": "u0"}, 0.1, 0.5, OK)
    assert violations(make(older, written, samples=[(3, 4, {"location": "u0"})]))
    # Read while the write was still unanswered: either value is fine.
    assert violations(make(written, samples=[(1.5, 1.8, {})])) == []


def test_only_values_of_started_writes_that_did_not_fail_may_show():
    failed = ("unitcfg", {"location": "u1"}, 1, 2, FAILED)
    killed = ("unitcfg", {"location": "u1"}, 1, 2, UNKNOWN)
    [v] = violations(make(failed, samples=[(3, 4, {"location": "u1"})]))
    assert "a failed write's value" in v
    assert violations(make(killed, samples=[(3, 4, {"location": "u1"})])) == []
    [v] = violations(make(killed, samples=[(0.2, 0.5, {"location": "u1"})]))
    assert "before its write started" in v
    [v] = violations(make(samples=[(3, 4, {"location": "nobody"})]))
    assert "nobody wrote" in v


def test_a_replaced_value_does_not_come_back():
    # Neither write was acknowledged, but u1 was done before u2 showed.
    ops = (("unitcfg", {"location": "u1"}, 1, 2, UNKNOWN),
           ("unitcfg", {"location": "u2"}, 1, 3, UNKNOWN))
    seen = [(4, 5, {"location": "u2"}), (6, 7, {"location": "u1"})]
    [v] = violations(make(*ops, samples=seen))
    assert "came back" in v
    # Still running when u2 was seen: u1 may land after it.
    ops = (ops[0][:3] + (8, UNKNOWN), ops[1])
    assert violations(make(*ops, samples=seen)) == []


def test_a_write_of_several_keys_shows_whole():
    move = ("console", {"ip": "167772165", "netmask": "4294901760",
                        "bcast": "167837695"}, 1, 2, OK)
    whole = {"ip": "167772165", "netmask": "4294901760", "bcast": "167837695"}
    assert violations(make(move, samples=[(3, 4, whole)])) == []
    # Read while it was being saved: the new address with the old broadcast.
    torn = violations(make(move, samples=[(1.5, 1.8, dict(whole, bcast="184549375"))]))
    assert len(torn) == 1 and "older than it" in torn[0]
    # A newer write of the broadcast address alone is no tear.
    newer = ("unitcfg", {"bcast": "167772415"}, 1.5, 2.5, OK)
    assert violations(make(move, newer,
                           samples=[(3, 4, dict(whole, bcast="167772415"))])) == []


def test_every_saved_configuration_passes_the_network_check():
    h = make(samples=[(1, 2, {}), (3, 4, {})])
    h.samples[0]["verdict"] = "ok"
    h.samples[1]["verdict"] = "Default gateway 172.16.0.1 is not a host of the LAN subnet."
    [v] = violations(h)
    assert "network check: Default gateway 172.16.0.1" in v


NETWORK = """\
# Network settings of the unit, written from its configuration.
HOSTNAME='%s'
LAN_DHCP=0
LAN_IP=10.0.0.2
LAN_NETMASK=255.0.0.0
LAN_GATEWAY=0.0.0.0
LAN_BROADCAST=10.255.255.255
WAN_PRESENT=1
WAN_IP=0.0.0.0
WAN_NETMASK=0.0.0.0
WAN_GATEWAY=0.0.0.0
WAN_BROADCAST=0.0.0.0
BRIDGE=0
DEFAULT_GATEWAY=0.0.0.0
DNS=0.0.0.0
DNS_DOMAIN=''
"""


def test_rendered_files_are_whole_and_show_only_written_values():
    h = make(("console", {"hostname": "c1"}, 1, 2, OK),
             ("agent", {"hostname": "a2"}, 1, 2, FAILED))
    h.files.append(dict(at=3, files={"etc/network.conf": NETWORK % "c1",
                                     "etc/hostname": "c1\n"}))
    assert violations(h) == []
    # Two renderings through one file: one text, then the tail of a longer.
    garbled = NETWORK % "c1" + (NETWORK % "start")[-40:]
    h.files.append(dict(at=4, files={"etc/network.conf": garbled, "etc/hostname": ""}))
    h.files.append(dict(at=5, files={"etc/hostname": "a2\n"}))
    h.files.append(dict(at=6, files={"etc/unit/accounts": "admin:admin:\nghost:0:!\n"}))
    found = violations(h)
    assert len(found) == 4, found
    assert [bool(re.search(p, v)) for p, v in zip(
        ["etc/hostname .*not whole", "network.conf .*not whole",
         "hostname='a2' is a failed write's value", "'ghost' was never stored"],
        found)] == [True] * 4


def quiet_history(render_start):
    h = make(("unitcfg", {"hostname": "u1"}, 1, 2, OK),
             ("-x", {}, render_start, 3, OK))
    h.quiet.append(dict(at=4, config=dict(INITIAL, hostname="u1"),
                        files={"etc/hostname": "start\n"}, fresh={"etc/hostname": "u1\n"}))
    return h


def test_at_rest_the_files_are_a_fresh_rendering_once_one_began_after_the_saves():
    [v] = violations(quiet_history(2.5))
    assert "etc/hostname differs from a fresh rendering" in v
    # Begun before the save ended, the rendering may have missed it.
    v, checker = history.check(quiet_history(1.5))
    assert v == [] and checker.quiet_checked == 0


def test_accounts_files_differ_only_in_their_salts():
    config = {"passwd": "secret", "user_0_pass": "other"}
    a = "admin:admin:%s\nbob:2:!\n" % history.crypt.crypt("secret", "$5$rounds=5000$aaaa$")
    b = "admin:admin:%s\nbob:2:!\n" % history.crypt.crypt("secret", "$5$rounds=5000$bbbb$")
    c = "admin:admin:%s\nbob:2:!\n" % history.crypt.crypt("other", "$5$rounds=5000$cccc$")
    assert history.account_differences(a, b, config) == []
    assert history.account_differences(c, b, config) == [
        "account admin:admin: the hash is not one of its stored password"]
    assert history.account_differences(a, b.replace("bob:2", "bob:3"), config)


def test_what_network_conf_shows_is_checked_like_a_sample():
    move = ("console", {"ip": "167772165", "bcast": "167837695",
                        "netmask": "4294901760"}, 1, 2, OK)
    h = make(move)
    moved = (NETWORK % "start").replace("10.0.0.2", "10.0.0.5").replace(
        "MASK=255.0.0.0", "MASK=255.255.0.0")
    h.files.append(dict(at=3, files={"etc/network.conf": moved.replace(
        "10.255.255.255", "10.0.255.255")}))
    assert violations(h) == []
    # Rendered from a configuration holding half the move.
    h.files.append(dict(at=4, files={"etc/network.conf": moved}))
    [v] = violations(h)
    assert "shows in ip but bcast='184549375' is older" in v


def test_what_the_unit_renders_reads_as_whole_and_as_stored(unit):
    """The checker's idea of the files is the renderer's: every network
    setting the stress writes passes the unit's check, and what -x renders
    from it, here and in a scratch copy, reads back as stored."""
    stress = stress_tool()
    for n, net in enumerate(stress.SUBNETS):
        writes = dict(stress.network_writes(net, stress.host(net, 7 + n),
                                            stress.host(net, 9 + n)), gateway1="0")
        unit.set_config(hostname="h%d" % n, sshdPort=str(2000 + n), numusers="1",
                        user_0_name="bob", user_0_pass="secret%d" % n, passwd="p%d" % n,
                        **{k: stress.ipaddress.IPv4Address(int(v)) for k, v in writes.items()})
        saved = unit.config()
        assert all(saved[k] == v for k, v in writes.items())
        r = unit.run_cmd(["/bin/unitcfg", "verify"],
                         input="".join("%s=%s\n" % kv for kv in saved.items()).encode())
        assert r.stdout == b"ok\n"
        assert unit.run("-x").returncode == 0
        files = {name: unit.path(name).read_text() for name in history.FILES}
        seen = {}
        for name, text in files.items():
            assert history.WHOLE[name].fullmatch(text), (name, text)
            seen.update(history.rendered_values(name, text))
        assert seen.pop("account") == ["bob"]
        assert seen == {k: saved[k] for k in seen}
        assert set(seen) >= {"hostname", "ip", "netmask", "bcast", "gateway", "sshdPort"}
        rc, fresh = stress.fresh_rendering(unit)
        assert rc == 0
        assert history.account_differences(files.pop("etc/unit/accounts"),
                                           fresh.pop("etc/unit/accounts"), saved) == []
        assert files == fresh


def test_each_sample_gets_the_verdict_of_its_own_configuration(unit):
    saved = unit.config()
    h = History(saved, 0.0)
    stray = dict(saved, gateway=str(172 << 24 | 16 << 16 | 1))
    for n, config in enumerate([saved, stray, saved, dict(stray, hostname="x\\y\nz")]):
        h.sample(n, n + 0.5, config)
    stress_tool().verdicts(unit, h.samples)
    refused = "Default gateway 172.16.0.1 is not a host of the LAN subnet."
    assert [s["verdict"] for s in h.samples] == ["ok", refused, "ok", refused]


def test_a_short_stress_run_finds_nothing(tmp_path):
    """About a minute of all programs at once with kills; `make stress`
    runs the long one."""
    r = subprocess.run([PY, str(ROOT / "tools/stress"), "-t", "50", "-r", "2",
                        "-d", str(tmp_path), "--history", str(tmp_path / "history.json")],
                       capture_output=True, text=True, timeout=900)
    figures = re.search(r"operations (\d+), programs started (\d+), kills (\d+);.*"
                        r"\((\d+) compared with a fresh rendering\); violations (\d+)",
                        r.stdout)
    assert figures, r.stdout + r.stderr
    ops, programs, kills, compared, found = map(int, figures.groups())
    assert (r.returncode, found) == (0, 0), r.stdout[-6000:]
    # It did what it is there for: every program did its part, some were
    # killed, and the files were compared at rest.
    assert ops > 150 and kills > 5 and compared >= 1, r.stdout
    for program in ("agent", "console", "unitcfg", "-W", "-x"):
        row = re.search(r"^%s +(\d+) " % re.escape(program), r.stdout, re.M)
        assert row and int(row.group(1)) > 0, (program, r.stdout)

