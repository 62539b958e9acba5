"""Shared pieces of the package tests: the C session API through ctypes (the
reference every module call is compared with), the real photos, and the
build folder the tests run against (QUEXAL_BUILD_DIR, set by ctest)."""

import ctypes
import os
from pathlib import Path

import cv2
import numpy as np
import pytest

TOP = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("QUEXAL_BUILD_DIR", TOP / "build"))
PHOTOS = sorted((TOP / "tests" / "data").glob("*.png")) + sorted(
    (TOP / "data" / "sample").glob("*.png"))
MASKS = TOP / "data" / "masks"

_i32 = ctypes.c_int32
_ptr = ctypes.c_void_p
_SIGNATURES = {
    "qx_session_create": ([], _ptr),
    "qx_session_destroy": ([_ptr], None),
    "qx_init": ([_ptr, ctypes.c_char_p, _i32, _i32, _i32, _i32], _i32),
    "qx_process_color": ([_ptr, _ptr, _i32], _i32),
    "qx_process_lens": ([_ptr, _ptr, _i32], _i32),
    "qx_process_fire": ([_ptr, _ptr], _i32),
    "qx_process_mask": ([_ptr, _ptr, _i32, _i32], _i32),
    "qx_process_bkg": ([_ptr, _ptr, _i32, _i32, _i32, _i32], _i32),
    "qx_set_bkg": ([_ptr, _ptr, _i32, _i32, _i32, _i32], _i32),
    "qx_get_bkg_snapshot": ([_ptr, _ptr, _i32, _i32, _i32], _i32),
    "qx_set_mask_image": ([_ptr, _ptr, _i32, _i32, _i32, _i32, _i32, _i32], _i32),
}


def load_library():
    library = ctypes.CDLL(str(BUILD / "libquexal.so"))
    for name, (arguments, result) in _SIGNATURES.items():
        function = getattr(library, name)
        function.argtypes, function.restype = arguments, result
    return library


class CSession:
    """A QxSession driven through the C API, frame for frame as the module does."""

    def __init__(self, library, width, height, top_down=True):
        self.lib = library
        self.width, self.height = width, height
        self.handle = library.qx_session_create()
        signed = -height if top_down else height
        assert library.qx_init(self.handle, bytes(BUILD), width, signed, 0, 0) == 1

    def close(self):
        self.lib.qx_session_destroy(self.handle)

    def colour(self, frame, mode):
        return self.lib.qx_process_color(self.handle, frame.ctypes.data, mode)

    def lens(self, frame, mode):
        return self.lib.qx_process_lens(self.handle, frame.ctypes.data, mode)

    def fire(self, frame):
        return self.lib.qx_process_fire(self.handle, frame.ctypes.data)

    def mask(self, frame, mode=0):
        return self.lib.qx_process_mask(self.handle, frame.ctypes.data, mode, 0)

    def set_mask_picture(self, picture, kind):
        h, w = picture.shape[:2]
        return self.lib.qx_set_mask_image(self.handle, picture.ctypes.data, w, h, kind, 100, 0, 0)

    def snapshot(self, frame):
        return self.lib.qx_get_bkg_snapshot(self.handle, frame.ctypes.data, self.width,
                                            self.height, 0)

    def set_background_picture(self, picture):
        h, w = picture.shape[:2]
        return self.lib.qx_set_bkg(self.handle, picture.ctypes.data, 2, w, h, 0)

    def background(self, frame, halo_bgr=None, cut_line=0):
        on = 0 if halo_bgr is None else 1
        return self.lib.qx_process_bkg(self.handle, frame.ctypes.data, on, halo_bgr or 0,
                                       cut_line, 0)


@pytest.fixture(scope="session")
def clib():
    return load_library()


def read_photo(path, size=None):
    image = cv2.imread(str(path), cv2.IMREAD_COLOR)
    assert image is not None, path
    return np.ascontiguousarray(cv2.resize(image, size) if size else image)


@pytest.fixture(scope="session")
def photos():
    """The real photos, 320x240 BGR."""
    assert PHOTOS, "no test photos found"
    return {p.stem: read_photo(p) for p in PHOTOS}


def read_mask(name):
    picture = cv2.imread(str(MASKS / name), cv2.IMREAD_UNCHANGED)
    assert picture is not None and picture.shape[2] == 4, name
    return picture
