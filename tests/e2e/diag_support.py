"""Running setup in a simulated unit with its hardware fitted: the stand-in
drivers of tools/devices.py behind the unit's device nodes."""

import sys

import pytest

from unit import ROOT

sys.path.insert(0, str(ROOT / "tools"))

import devices  # noqa: E402
from devices import Devices  # noqa: E402,F401


@pytest.fixture
def hardware():
    """All device nodes fitted; tests script them before running setup."""
    with Devices() as hw:
        yield hw


def run(unit, hw, *args):
    """setup with args in the unit, with hw's nodes (None: no nodes at all).
    Returns (exit status, stdout text, stderr text)."""
    kw = {} if hw is None else {"env": hw.env(), "binds": hw.binds()}
    r = unit.run(*args, **kw)
    return r.returncode, r.stdout.decode(), r.stderr.decode()
