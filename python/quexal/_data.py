"""Finds the data folder (the one holding QXdata/ with the two cascades).

Each copy of the package is built with a list of places to look, written
into ``_config.py``: the build folder for the copy in a build tree, the
installed ``share/quexal`` (relative to the package) for an installed one.
"""

from pathlib import Path

CASCADES = ("haarcascade_frontalface_alt.xml", "eye_8.xml")


def holds_cascades(root: Path) -> bool:
    """Whether ``root/QXdata`` holds both cascade files."""
    return all((root / "QXdata" / name).is_file() for name in CASCADES)


def candidates() -> list:
    """The places this copy of the package looks, in order."""
    try:
        from ._config import DATA_ROOTS
    except ImportError:  # a source checkout used as is: no build has run
        DATA_ROOTS = ()
    here = Path(__file__).resolve().parent
    return [(here / root).resolve() for root in DATA_ROOTS]


def data_root() -> str:
    """The first candidate that holds the cascades; FileNotFoundError if none does."""
    places = candidates()
    for root in places:
        if holds_cascades(root):
            return str(root)
    looked = ", ".join(str(p) for p in places) or "nowhere (no _config.py)"
    raise FileNotFoundError(
        f"no data folder with QXdata/ found (looked in {looked}); pass data=DIR to Session")
