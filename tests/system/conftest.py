import os
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))

from guest import PPC_BUILD, System, build_initramfs, make_disk, system_image  # noqa: E402


@pytest.fixture(scope="session")
def images(tmp_path_factory):
    """Kernel, BusyBox (cached) and this build's initramfs."""
    for prog in ("setup", "unitcfg"):
        if not (PPC_BUILD / prog).exists():
            pytest.fail("%s/%s is missing: cmake --build --preset ppc" % (PPC_BUILD, prog))
    parts = system_image()
    # A kernel of one's own (a firmware candidate, one built without an
    # option) in place of the cached one.
    parts["kernel"] = os.environ.get("SYSTEM_KERNEL") or parts["kernel"]
    initramfs = tmp_path_factory.mktemp("image") / "initramfs.cpio"
    initramfs.write_bytes(build_initramfs(parts["busybox"]))
    return {"kernel": parts["kernel"], "initramfs": initramfs}


def boot(images, workdir, disk=None, uart1="ttyS2"):
    """A fresh unit (or one booting from an existing disk), up to its
    harness shell."""
    workdir.mkdir(parents=True, exist_ok=True)
    if disk is None:
        disk = workdir / "unit.img"
        make_disk(disk)
    s = System(workdir, images["kernel"], images["initramfs"], disk, uart1)
    try:
        return s.start()
    except BaseException:
        s.close()
        raise


@pytest.fixture(scope="module")
def unit(images, tmp_path_factory):
    """One booted unit shared by a module's tests, which run in order."""
    s = boot(images, tmp_path_factory.mktemp("unit"))
    yield s
    s.close()
    assert not s.kernel_troubles(), s.kernel_troubles()
