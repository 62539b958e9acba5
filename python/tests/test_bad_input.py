"""Refusals raise quexal.Refused with the library's code; frames the module
cannot hand over raise TypeError or ValueError. Either way the frame comes
back byte for byte as it was."""

import numpy as np
import pytest
import quexal
from conftest import read_mask

WIDTH, HEIGHT = 320, 240


@pytest.fixture
def session():
    with quexal.Session(WIDTH, HEIGHT) as s:
        yield s


@pytest.fixture
def photo(photos):
    return photos["astronaut_320x240"].copy()


def bad_frames(photo):
    """(frame, error, words the message must hold) for every way a frame can be wrong."""
    wide = np.ascontiguousarray(np.concatenate([photo, photo], axis=1))
    read_only = photo.copy()
    read_only.flags.writeable = False
    return [
        (photo.tolist(), TypeError, "numpy uint8 array of shape (240, 320, 3)"),
        (photo.astype(np.float32), TypeError, "dtype float32"),
        (photo.astype(np.uint16), TypeError, "dtype uint16"),
        (photo[:, :, 0].copy(), ValueError, "got (240, 320)"),
        (np.dstack([photo, photo[:, :, :1]]), ValueError, "got (240, 320, 4)"),
        (photo[:120].copy(), ValueError, "got (120, 320, 3)"),
        (wide[:, ::2], ValueError, "C-contiguous"),
        (np.asfortranarray(photo), ValueError, "C-contiguous"),
        (read_only, ValueError, "writable"),
    ]


EFFECTS = [
    lambda s, f: s.colour(f, quexal.Colour.SEPIA),
    lambda s, f: s.lens(f, quexal.Lens.SWIRL),
    lambda s, f: s.fire(f),
    lambda s, f: s.mask(f, quexal.Eyes.PIXELATE),
    lambda s, f: s.background(f),
]


def test_bad_frames_raise_and_stay_untouched(session, photo):
    session.set_mask_picture(read_mask("hat_200x190.png"), quexal.MaskKind.ABOVE_FACE)
    session.snapshot(photo)
    session.set_background(photo)
    for effect in EFFECTS:
        for frame, error, words in bad_frames(photo):
            before = np.array(frame, copy=True)
            with pytest.raises(error, match=words.replace("(", r"\(").replace(")", r"\)")):
                effect(session, frame)
            np.testing.assert_array_equal(np.asarray(frame), before)


def test_refusals_carry_the_library_code_and_leave_the_frame(session, photo):
    cases = [
        (lambda f: session.lens(f, 8), -1, "lens mode 8"),
        (lambda f: session.lens(f, quexal.Colour.SEPIA), -1, "lens mode 25"),
        (lambda f: session.colour(f, 19), -1, "colour mode 19"),
        (lambda f: session.mask(f), 0, "set_mask_picture"),
        (lambda f: session.background(f), -2, "snapshot"),
    ]
    for call, code, words in cases:
        frame = photo.copy()
        with pytest.raises(quexal.Refused, match=words) as refusal:
            call(frame)
        assert refusal.value.code == code and words in refusal.value.reason
        np.testing.assert_array_equal(frame, photo)

    with pytest.raises(quexal.Refused, match="snapshot") as refusal:
        session.set_background(photo)
    assert refusal.value.code == 0
    session.snapshot(photo)
    frame = photo.copy()
    with pytest.raises(quexal.Refused, match="set_background") as refusal:
        session.background(frame)
    assert refusal.value.code == -1
    np.testing.assert_array_equal(frame, photo)


def test_sources_and_pictures_refused_by_the_library(session, photo, tmp_path):
    session.snapshot(photo)
    not_a_video = tmp_path / "clip.avi"
    not_a_video.write_bytes(b"not a video at all")
    with pytest.raises(quexal.Refused, match="clip.avi") as refusal:
        session.set_background(not_a_video)
    assert refusal.value.code == 0

    hat = read_mask("hat_200x190.png")
    with pytest.raises(quexal.Refused, match="must be 100x90") as refusal:
        session.set_mask_picture(hat, quexal.MaskKind.ON_EYES)
    assert refusal.value.code == -2
    with pytest.raises(quexal.Refused, match="mask kind 5") as refusal:
        session.set_mask_picture(hat, 5)
    assert refusal.value.code == -2
    with pytest.raises(ValueError, match="got \\(190, 200, 3\\)"):
        session.set_mask_picture(np.ascontiguousarray(hat[:, :, :3]), 1)


def test_arguments_out_of_range_raise_before_the_library_runs(session, photo):
    session.set_mask_picture(read_mask("hat_200x190.png"), quexal.MaskKind.ABOVE_FACE)
    frame = photo.copy()
    with pytest.raises(ValueError, match="eyes"):
        session.mask(frame, eyes=3)
    with pytest.raises(TypeError, match="eyes"):
        session.mask(frame, eyes="blur")
    with pytest.raises(ValueError, match="0xRRGGBB"):
        session.background(frame, halo=0x1000000)
    with pytest.raises(TypeError, match="0xRRGGBB"):
        session.background(frame, halo="yellow")
    with pytest.raises(ValueError, match="cut_line"):
        session.background(frame, cut_line=101)
    with pytest.raises(TypeError, match="numpy BGR picture"):
        session.set_background(42)
    with pytest.raises(ValueError, match="unknown option"):
        session.set_option("exposure", 1)
    with pytest.raises(ValueError, match="out of range"):
        session.set_option("exposure_compensation", 2)
    session.set_option("exposure_compensation", 1)
    np.testing.assert_array_equal(frame, photo)


def test_sessions_refuse_what_they_cannot_be(tmp_path):
    with pytest.raises(quexal.Refused, match="QXdata") as refusal:
        quexal.Session(WIDTH, HEIGHT, data=tmp_path)
    assert refusal.value.code == 0
    with pytest.raises(ValueError, match="positive"):
        quexal.Session(0, HEIGHT)
    with pytest.raises(quexal.Refused):
        quexal.Session(40000, 40000)  # more pixels than the library takes


def test_closed_sessions_raise_and_close_twice(photo):
    session = quexal.Session(WIDTH, HEIGHT)
    with session as entered:
        assert entered is session and not session.closed
    assert session.closed
    session.close()
    frame = photo.copy()
    with pytest.raises(ValueError, match="closed"):
        session.colour(frame, quexal.Colour.GREY)
    np.testing.assert_array_equal(frame, photo)
