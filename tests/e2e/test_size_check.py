"""The check after every link of setup (cmake/size_check.cmake): it must stop
a build without test hooks that carries one, and a binary that needs a newer
C library than the appliance has.  Run on a copy of this machine's test
build, which carries the hooks and needs what the appliance's build needs."""
import shutil
import subprocess

import pytest

from unit import ROOT

BUILD = ROOT / "build/host"


@pytest.fixture
def binary(tmp_path):
    if not (BUILD / "setup").exists():
        pytest.fail("build/host/setup is missing: make build")
    copy = tmp_path / "setup"
    shutil.copy(BUILD / "setup", copy)
    return copy


def check(binary, hooks, ceiling=""):
    r = subprocess.run(["cmake", "-DBINARY=%s" % binary, "-DSTRIP=strip", "-DNM=nm",
                        "-DPROCESSOR=x86_64", "-DTEST_HOOKS=%s" % hooks,
                        "-DGLIBC_CEILING=%s" % ceiling, "-DOBJECTS=",
                        "-P", str(ROOT / "cmake/size_check.cmake")],
                       capture_output=True, text=True)
    return r.returncode, r.stdout + r.stderr


def glibc_needed(out):
    line = next(x for x in out.splitlines() if "needs glibc" in x)
    return line.split("needs glibc ")[1].split()[0]


def test_a_hook_in_a_build_without_hooks_fails_the_build(binary):
    status, out = check(binary, "ON")
    assert status == 0, out
    status, out = check(binary, "OFF")
    assert status != 0
    assert "built without test hooks, carries one" in out and "eeprom.fault" in out


def test_the_c_library_version_is_printed_and_held(binary):
    status, out = check(binary, "ON")
    needed = glibc_needed(out)
    assert status == 0 and needed.startswith("2.")
    assert check(binary, "ON", needed)[0] == 0
    older = "2.%d" % (int(needed.split(".")[1]) - 1)
    status, out = check(binary, "ON", older)
    assert status != 0 and "now needs glibc %s" % needed in out
