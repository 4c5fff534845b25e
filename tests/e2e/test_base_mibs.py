"""tools/base-mibs without a reachable registry: it gives up within its
time-out, passes on npm's own words, and serves what it fetched before."""
import os
import shutil
import socket
import subprocess

import pytest

from unit import ROOT

TOOL = str(ROOT / "tools/base-mibs")


def base_mibs(cache, registry):
    env = dict(os.environ, BASE_MIBS_CACHE=str(cache), npm_config_registry=registry)
    # Well above the tool's own 15 s: it must end by itself.
    return subprocess.run([TOOL], env=env, capture_output=True, text=True, timeout=60)


@pytest.fixture(scope="module")
def registry_down():
    """A registry address where nothing listens."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return "http://127.0.0.1:%d/" % s.getsockname()[1]


def test_refused_connection_is_reported_with_npms_error(tmp_path, registry_down):
    r = base_mibs(tmp_path / "cache", registry_down)
    assert r.returncode == 1 and r.stdout == ""
    assert "could not fetch the npm package net-snmp from " + registry_down in r.stderr
    assert "ECONNREFUSED" in r.stderr
    # npm's stack trace is left out; nothing half-fetched is left behind.
    assert " at " not in r.stderr.replace("network timeout at", "")
    assert [p.name for p in (tmp_path / "cache").iterdir()] == ["npm"]


def test_a_registry_that_never_answers_ends_the_fetch(tmp_path):
    with socket.socket() as silent:
        silent.bind(("127.0.0.1", 0))
        silent.listen(8)   # connections are taken, never answered
        r = base_mibs(tmp_path / "cache", "http://127.0.0.1:%d/" % silent.getsockname()[1])
    assert r.returncode == 1
    assert "network timeout" in r.stderr or "within 15 s" in r.stderr, r.stderr


def test_a_fetched_cache_needs_no_registry(tmp_path, registry_down):
    # The modules fetched before (the tree's own cache, filled by the first
    # run of the tool) are served without asking the registry.
    here = subprocess.run([TOOL], capture_output=True, text=True)
    if here.returncode:
        pytest.skip("no base modules fetched here: " + here.stderr)
    cache = tmp_path / "cache"
    shutil.copytree(os.path.dirname(os.path.dirname(here.stdout.strip())),
                    cache / "package")
    r = base_mibs(cache, registry_down)
    assert r.returncode == 0, r.stderr
    assert r.stdout == "%s/package/lib/mibs\n" % cache
    assert (cache / "package/lib/mibs/SNMPv2-SMI.mib").exists()
