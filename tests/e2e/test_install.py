"""What `cmake --install` puts into an image or a package, for this
machine's build and for the appliance's."""
import json
import subprocess

import pytest

from unit import ROOT

DOC = "usr/share/doc/setup/"
TREE = {"usr/sbin/setup", "usr/share/snmp/mibs/REMOTE-CONSOLE-SETUP-MIB.txt",
        "usr/share/man/man8/setup.8", DOC + "README.md", DOC + "CHANGELOG.md",
        DOC + "examples/snmpd.conf", DOC + "examples/inittab",
        DOC + "examples/setup-getty@.service"} | {
            DOC + "examples/prometheus/" + f for f in (
                "generator.yml", "snmp.yml", "prometheus.yml", "units.yml", "rules.yml",
                "rules_test.yml")}
# ELF machine numbers and byte orders (1 little, 2 big endian).
BUILDS = [pytest.param("host", (62, 1), id="host"),
          pytest.param("ppc", (20, 2), id="ppc", marks=pytest.mark.skipif(
              not (ROOT / "build/ppc/setup").exists(),
              reason="no appliance build (make ppc-test)"))]


@pytest.mark.parametrize("build, machine", BUILDS)
def test_install_tree(tmp_path, build, machine):
    dest = tmp_path / "root"
    r = subprocess.run(["cmake", "--install", str(ROOT / "build" / build), "--prefix", "/usr"],
                       env={"DESTDIR": str(dest), "PATH": "/usr/bin:/bin"},
                       capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    files = {str(p.relative_to(dest)) for p in dest.rglob("*") if not p.is_dir()}
    assert files == TREE  # nothing of the simulated unit or the tests
    elf = (dest / "usr/sbin/setup").read_bytes()[:20]
    order = elf[5]
    assert (int.from_bytes(elf[18:20], "little" if order == 1 else "big"), order) == machine
    assert (dest / "usr/sbin/setup").stat().st_mode & 0o111
    assert (dest / "usr/share/man/man8/setup.8").read_bytes() == \
        (ROOT / "doc/setup.8").read_bytes()


def test_warnings_stop_only_the_preset_builds(tmp_path):
    # A user's own configure, perhaps with a newer compiler, must not turn
    # warnings into errors; the presets behind `make build` and CI must.
    build = tmp_path / "build"
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DSETUP_TESTS=OFF"],
                   check=True, capture_output=True)

    def werror(d):
        return ["-Werror" in c["command"].split() for c in json.loads(
            (d / "compile_commands.json").read_text())]
    assert set(werror(build)) == {False}
    assert set(werror(ROOT / "build/host")) == {True}
