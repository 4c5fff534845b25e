"""The getty examples as their init systems read them."""
import shutil
import subprocess

import pytest

from unit import ROOT


@pytest.mark.skipif(not shutil.which("systemd-analyze"), reason="no systemd-analyze here")
def test_systemd_unit_is_accepted_and_ends_a_console_shell_with_it(tmp_path):
    text = (ROOT / "examples/setup-getty@.service").read_text()
    assert text.count("/usr/sbin/setup -I") == 1
    # The program at a path that exists here; nothing else changed.
    (tmp_path / "setup-getty@.service").write_text(
        text.replace("/usr/sbin/setup", str(ROOT / "build/host/setup")))
    r = subprocess.run(["systemd-analyze", "verify", "--man=no",
                        str(tmp_path / "setup-getty@ttyS2.service")],
                       capture_output=True, text=True, cwd=tmp_path)
    assert r.returncode == 0 and r.stderr == "", r.stderr
    settings = [line.split("=", 1) for line in text.splitlines()
                if "=" in line and not line.startswith("#")]
    # A console's ! shell would outlive a stop under KillMode=process.
    assert ["KillMode", "mixed"] in settings and ["Restart", "always"] in settings


def test_inittab_lines_start_getty_mode_explicitly():
    lines = [line for line in (ROOT / "examples/inittab").read_text().splitlines()
             if line and not line.startswith("#")]
    assert lines and all(line.endswith(":/usr/sbin/setup -I") for line in lines)
