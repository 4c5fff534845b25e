import os
import shutil
import subprocess
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))

from snmp_agent import Snmpd  # noqa: E402
from unit import PY, ROOT, TOOL, Unit  # noqa: E402


@pytest.fixture(scope="session")
def unit_template(tmp_path_factory):
    """Factory state made once per session; every test copies it."""
    if not (ROOT / "build/host/setup").exists():
        pytest.fail("build/host/setup is missing: run `make build` first")
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
