# Type stub for the quexal package: the Session class lives in the compiled
# _quexal module, the rest in _types.py.
import os
from enum import IntEnum
from typing import Optional, Union

import numpy as np
import numpy.typing as npt

__version__: str

_Frame = npt.NDArray[np.uint8]
"""A BGR frame: uint8, shape (height, width, 3), C-contiguous."""

class Colour(IntEnum):
    NEGATIVE = 16
    GREY = 17
    GLOW = 18
    SOFT_GREY = 24
    SEPIA = 25

class Lens(IntEnum):
    SWIRL = 1
    MIRROR = 2
    FUNNEL = 3
    BULGE = 4
    MAGNIFY = 5
    STRETCH = 6
    PINCH = 7

class Eyes(IntEnum):
    PIXELATE = 1
    BLUR = 2

class MaskKind(IntEnum):
    ABOVE_FACE = 1
    ON_FACE_POINT = 2
    BELOW_EYES = 3
    ON_EYES = 4
    WIDE = 8

class BackgroundResult(IntEnum):
    DONE = 1
    LITTLE_BACKGROUND = 0

class Refused(RuntimeError):
    code: int
    reason: str
    def __init__(self, code: int, reason: str) -> None: ...

class Session:
    def __init__(
        self,
        width: int,
        height: int,
        top_down: bool = True,
        data: Union[str, os.PathLike[str], None] = None,
    ) -> None: ...
    def __enter__(self) -> "Session": ...
    def __exit__(self, *exc: object) -> None: ...
    def close(self) -> None: ...
    @property
    def width(self) -> int: ...
    @property
    def height(self) -> int: ...
    @property
    def top_down(self) -> bool: ...
    @property
    def closed(self) -> bool: ...
    @property
    def data(self) -> str: ...
    def colour(self, frame: _Frame, mode: Union[Colour, int]) -> _Frame: ...
    def lens(self, frame: _Frame, mode: Union[Lens, int]) -> _Frame: ...
    def fire(self, frame: _Frame) -> _Frame: ...
    def mask(self, frame: _Frame, eyes: Union[Eyes, int, None] = None) -> _Frame: ...
    def set_mask_picture(self, rgba: npt.NDArray[np.uint8], kind: Union[MaskKind, int]) -> None: ...
    def snapshot(self, frame: _Frame) -> None: ...
    def set_option(self, name: str, value: int) -> None: ...
    def set_background(
        self, picture_or_path: Union[npt.NDArray[np.uint8], str, os.PathLike[str]]
    ) -> None: ...
    def background(
        self, frame: _Frame, halo: Optional[int] = None, cut_line: int = 0
    ) -> BackgroundResult: ...
