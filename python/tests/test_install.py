"""The package as cmake --install and pip lay it out: Debian's interpreter
imports it with nothing but the site folder on its path, finds the library
through the RPATH and the data folder by itself."""

import os
import shutil
import subprocess
import sys

import pytest
from conftest import BUILD, TOP

PROBE = ("import quexal, numpy; s = quexal.Session(64, 48); "
         "f = s.colour(numpy.full((48, 64, 3), 90, numpy.uint8), quexal.Colour.SEPIA); "
         "print(quexal.__file__); print(s.data); print(int(f.sum()))")


def probe(site, cwd):
    """Runs PROBE in a clean interpreter that sees only site; answers its lines."""
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "LD_LIBRARY_PATH")}
    env["PYTHONPATH"] = str(site)
    run = subprocess.run([sys.executable, "-c", PROBE], cwd=cwd, env=env, capture_output=True,
                         text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    return run.stdout.split()


def test_cmake_install_lays_out_a_package_that_finds_its_data(tmp_path):
    prefix = tmp_path / "prefix"
    install = subprocess.run(["cmake", "--install", str(BUILD), "--prefix", str(prefix)],
                             capture_output=True, text=True, timeout=120)
    assert install.returncode == 0, install.stdout + install.stderr
    [init] = prefix.glob("lib/python3*/*-packages/quexal/__init__.py")
    assert {"py.typed", "__init__.pyi"} <= {p.name for p in init.parent.iterdir()}
    module, data, _ = probe(init.parent.parent, tmp_path)
    assert module == str(init)
    assert data == str(prefix / "share" / "quexal")


@pytest.mark.skipif(subprocess.run([sys.executable, "-m", "pip", "--version"],
                                   capture_output=True).returncode != 0,
                    reason="no pip for this interpreter (python3-pip)")
def test_pip_builds_the_package_offline_against_the_built_library(tmp_path):
    # A copy of the package's sources, so that no build left in the source
    # tree is reused and none is left there.
    sources = tmp_path / "python"
    shutil.copytree(TOP / "python", sources,
                    ignore=shutil.ignore_patterns("build", "*.egg-info", "tests", "bench"))
    target = tmp_path / "site"
    env = dict(os.environ, QUEXAL_BUILD_DIR=str(BUILD), PIP_NO_CACHE_DIR="1")
    pip = subprocess.run(
        [sys.executable, "-m", "pip", "install", "--no-build-isolation", "--no-index",
         "--no-deps", "--quiet", "--target", str(target), str(sources)],
        env=env, capture_output=True, text=True, timeout=540)
    assert pip.returncode == 0, pip.stdout + pip.stderr
    module, data, _ = probe(target, tmp_path)
    assert module == str(target / "quexal" / "__init__.py")
    assert data == str(BUILD.resolve())
