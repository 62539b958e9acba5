"""The named modes, kinds and results of the library, and the refusal error.

The values are the library's own (include/quexal/quexal.h), so a plain int
works wherever one of these is expected.
"""

from enum import IntEnum


class Colour(IntEnum):
    """Colour tones for :meth:`Session.colour`."""

    NEGATIVE = 16
    GREY = 17
    GLOW = 18
    SOFT_GREY = 24  #: a soft grey glow over the picture
    SEPIA = 25


class Lens(IntEnum):
    """Lens distortions for :meth:`Session.lens`."""

    SWIRL = 1
    MIRROR = 2
    FUNNEL = 3   #: the middle drawn inwards, sharply
    BULGE = 4    #: the middle swells, as through a fisheye
    MAGNIFY = 5  #: the middle swells strongly, as under a magnifier
    STRETCH = 6  #: the middle stretched along each axis into a square block
    PINCH = 7    #: the middle drawn inwards, gently


class Eyes(IntEnum):
    """How :meth:`Session.mask` obscures the eye band instead of drawing the picture."""

    PIXELATE = 1
    BLUR = 2


class MaskKind(IntEnum):
    """Where a mask picture sits on the face (:meth:`Session.set_mask_picture`).

    ABOVE_FACE, ON_FACE_POINT and WIDE take a 200x190 picture; BELOW_EYES and
    ON_EYES a 100x90 one.
    """

    ABOVE_FACE = 1     #: a hat: above the face point, swung with the head
    ON_FACE_POINT = 2  #: a full-face mask: on the face point, not swung
    BELOW_EYES = 3     #: a nose or moustache: below the eye line
    ON_EYES = 4        #: glasses, an eye mask: on the eye line
    WIDE = 8           #: wider than the face, just above the face point


class BackgroundResult(IntEnum):
    """What :meth:`Session.background` wrote; refusals raise :class:`Refused` instead."""

    DONE = 1
    LITTLE_BACKGROUND = 0  #: written, but under 15 % of the frame was background


class Refused(RuntimeError):
    """The library refused a call; the frame (if any) is untouched.

    ``code`` is the library's result code (see quexal.h), ``reason`` says
    why in words.
    """

    def __init__(self, code: int, reason: str) -> None:
        super().__init__(f"{reason} (code {code})")
        self.code = code
        self.reason = reason
