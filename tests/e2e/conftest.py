import os
import shutil
import subprocess
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))

from snmp_agent import Snmpd  # noqa: E402
from unit import PY, ROOT, TOOL, Unit  # noqa: E402

# Every test has a time limit (pytest-timeout, Debian's python3-pytest-timeout):
# a test that hangs fails under its own name, and its fixtures still end
# what it started.  A test that needs longer says so with its own
# pytest.mark.timeout.
TEST_TIMEOUT = 120


def pytest_configure(config):
    if not config.pluginmanager.hasplugin("timeout"):
        raise pytest.UsageError("the end-to-end tests need pytest-timeout: "
                                "tools/install-deps test")


def pytest_collection_modifyitems(items):
    for item in items:
        if item.get_closest_marker("timeout") is None:
            item.add_marker(pytest.mark.timeout(TEST_TIMEOUT))


# The build under test: build/host, or the one UNIT_BUILD names (tools/unit
# runs its programs).
BUILD = ROOT / (os.environ.get("UNIT_BUILD") or "build/host")


@pytest.fixture(scope="session")
def unit_template(tmp_path_factory):
    """Factory state made once per session; every test copies it."""
    if not (BUILD / "setup").exists():
        pytest.fail("%s/setup is missing: build it first" % BUILD)
    d = tmp_path_factory.mktemp("template") / "unit"
    subprocess.run([PY, str(TOOL), "-d", str(d), "init"], check=True)
    return d


@pytest.fixture
def unit(unit_template, tmp_path):
    """A fresh simulated unit in factory state."""
    shutil.copytree(unit_template, tmp_path / "unit", symlinks=True)
    u = Unit(tmp_path / "unit")
    yield u
    u.close()



@pytest.fixture
def snmpd(unit, tmp_path):
    """snmpd on a port of 127.0.0.1, configured by the shipped snippet, with
    the unit's agent behind it."""
    d = Snmpd(unit, tmp_path)
    yield d
    d.close()
