"""Quexal: real-time video effects on numpy frames.

    import cv2, quexal
    frame = cv2.imread("me.png")
    with quexal.Session(frame.shape[1], frame.shape[0]) as session:
        cv2.imshow("sepia", session.colour(frame, quexal.Colour.SEPIA))

A :class:`Session` is one stream of frames of one size: numpy ``uint8``
arrays of shape (height, width, 3), BGR, C-contiguous, as ``cv2`` gives
them. Effects change the frame in place and return it. A refused call
raises :class:`Refused`. Sessions are independent; each may run on its own
thread, and the library releases the GIL while it works on a frame.
"""

from ._types import BackgroundResult, Colour, Eyes, Lens, MaskKind, Refused
from ._quexal import Session

__all__ = ["Session", "Colour", "Lens", "Eyes", "MaskKind", "BackgroundResult", "Refused"]
__version__ = "0.1.0"

# Tracebacks and reprs name the classes where users find them.
for _public in (Session, Colour, Lens, Eyes, MaskKind, BackgroundResult, Refused):
    _public.__module__ = __name__
del _public
