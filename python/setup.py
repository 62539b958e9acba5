"""Builds the quexal package against a libquexal that is already built.

    pip install --no-build-isolation ./python

The library is looked for, in this order, in QUEXAL_BUILD_DIR (a CMake
build folder of this source tree), QUEXAL_PREFIX (an installation prefix,
as cmake --install makes), pkg-config's quexal, and the build/ folder of
this source tree. The extension finds the library through an RPATH, and
the package finds the data folder (QXdata/) that belongs to it: the build
folder, or share/quexal of the installation.
"""

import os
import subprocess
from dataclasses import dataclass
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_py import build_py

HERE = Path(__file__).resolve().parent
TOP = HERE.parent


@dataclass
class Library:
    include_dir: Path
    library_dir: Path
    data_root: Path

    def usable(self):
        return (self.include_dir / "quexal" / "quexal.h").is_file() and (
            self.library_dir / "libquexal.so").exists()


def source_dir_of(build):
    """The source tree a CMake build folder was configured from (its headers)."""
    cache = build / "CMakeCache.txt"
    if cache.is_file():
        for line in cache.read_text(errors="replace").splitlines():
            if line.startswith("Quexal_SOURCE_DIR:"):
                return Path(line.partition("=")[2])
    return TOP


def from_build_dir(build):
    build = Path(build).resolve()
    return Library(source_dir_of(build) / "include", build, build)


def from_prefix(prefix):
    prefix = Path(prefix).resolve()
    libdirs = [prefix / d for d in ("lib", "lib64")] + sorted(prefix.glob("lib/*-linux-gnu"))
    libdir = next((d for d in libdirs if (d / "libquexal.so").exists()), prefix / "lib")
    return Library(prefix / "include", libdir, prefix / "share" / "quexal")


def from_pkg_config():
    def variable(name):
        return subprocess.run(["pkg-config", f"--variable={name}", "quexal"], check=True,
                              capture_output=True, text=True).stdout.strip()
    try:
        return Library(Path(variable("includedir")), Path(variable("libdir")),
                       Path(variable("datadir")).parent)
    except (OSError, subprocess.CalledProcessError):
        return None


def find_library():
    if os.environ.get("QUEXAL_BUILD_DIR"):
        choices = [from_build_dir(os.environ["QUEXAL_BUILD_DIR"])]
    elif os.environ.get("QUEXAL_PREFIX"):
        choices = [from_prefix(os.environ["QUEXAL_PREFIX"])]
    else:
        choices = [from_pkg_config(), from_build_dir(TOP / "build")]
    for library in choices:
        if library and library.usable():
            return library
    raise SystemExit("setup.py: libquexal not found; build the project (cmake) or install it, "
                     "or set QUEXAL_BUILD_DIR or QUEXAL_PREFIX")


def pybind11_includes():
    try:
        import pybind11  # python3-pybind11; Debian's pybind11-dev puts them in /usr/include
        return [pybind11.get_include()]
    except ImportError:
        return []


LIBRARY = find_library()


class build_py_with_config(build_py):
    """Also writes quexal/_config.py: where this copy finds the data folder."""

    def run(self):
        super().run()
        config = Path(self.build_lib) / "quexal" / "_config.py"
        config.write_text("# Written by setup.py: where this copy of the package looks for "
                          f"the data folder.\nDATA_ROOTS = ({str(LIBRARY.data_root)!r},)\n")


extension = Extension(
    "quexal._quexal",
    sources=[f"src/{name}.cpp" for name in ("arrays", "module", "session")],
    depends=["src/arrays.h", "src/session.h"],
    include_dirs=[str(LIBRARY.include_dir)] + pybind11_includes(),
    library_dirs=[str(LIBRARY.library_dir)],
    runtime_library_dirs=[str(LIBRARY.library_dir)],
    libraries=["quexal"],
    extra_compile_args=["-std=c++17", "-fvisibility=hidden", "-g0"],
    language="c++",
)

setup(
    name="quexal",
    version="0.1.0",
    description="Real-time video effects on numpy frames",
    packages=["quexal"],
    package_data={"quexal": ["py.typed", "__init__.pyi"]},
    ext_modules=[extension],
    cmdclass={"build_py": build_py_with_config},
    python_requires=">=3.8",
    install_requires=["numpy"],
    zip_safe=False,
)
