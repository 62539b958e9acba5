"""Every effect through the module writes the same bytes, and answers the
same code, as the C session API given the same calls on the same frames."""

import cv2
import numpy as np
import pytest
import quexal
from conftest import CSession, read_mask

WIDTH, HEIGHT = 320, 240
ROW_ORDERS = pytest.mark.parametrize("top_down", [True, False], ids=["top_down", "bottom_up"])


@pytest.fixture
def pair(clib, request):
    """A module session and a C session of the same size and row order."""
    top_down = request.param if hasattr(request, "param") else True
    module = quexal.Session(WIDTH, HEIGHT, top_down=top_down)
    reference = CSession(clib, WIDTH, HEIGHT, top_down)
    yield module, reference
    module.close()
    reference.close()


def run_both(pair, frame, module_call, c_call):
    """Runs one call on a copy of frame in each session; answers (module frame, result)."""
    module, reference = pair
    ours, theirs = frame.copy(), frame.copy()
    result = module_call(module, ours)
    code = c_call(reference, theirs)
    np.testing.assert_array_equal(ours, theirs)
    return ours, result, code


def person_in_scene(photos):
    """The empty launch pad with the middle of the portrait standing in it."""
    frame = photos["rocket_320x240"].copy()
    frame[60:, 110:230] = photos["astronaut_320x240"][60:, 110:230]
    return frame


def moving_face(photos, top_down, frames=6):
    """The face photo drifting right a few pixels a frame, as a tracker sees
    it; rows bottom first for a bottom-up session, so the face stays upright."""
    face = photos["solvay_face_320x240"] if top_down else photos["solvay_face_320x240"][::-1]
    return [np.ascontiguousarray(np.roll(face, 2 * i, axis=1)) for i in range(frames)]


@pytest.mark.parametrize("pair", [True, False], ids=["top_down", "bottom_up"], indirect=True)
def test_colour_lens_and_fire_match_the_c_api(pair, photos):
    changed = set()  # the modes that changed at least one photo
    for photo in photos.values():
        for mode in quexal.Colour:
            ours, result, code = run_both(pair, photo, lambda s, f: s.colour(f, mode),
                                          lambda c, f: c.colour(f, int(mode)))
            assert code == 1 and result is not None
            if not np.array_equal(ours, photo):
                changed.add(mode)
        for mode in quexal.Lens:
            ours, _, code = run_both(pair, photo, lambda s, f: s.lens(f, mode),
                                     lambda c, f: c.lens(f, int(mode)))
            assert code == 1
            if not np.array_equal(ours, photo):
                changed.add(mode)
        # Fire carries its flames from call to call: both sessions see the same sequence.
        for _ in range(3):
            ours, _, code = run_both(pair, photo, lambda s, f: s.fire(f), lambda c, f: c.fire(f))
            assert code == 1
    assert changed == set(quexal.Colour) | set(quexal.Lens)


def test_effects_return_the_frame_they_changed(photos):
    frame = photos["coffee_320x240"].copy()
    with quexal.Session(WIDTH, HEIGHT) as session:
        session.set_mask_picture(read_mask("hat_200x190.png"), quexal.MaskKind.ABOVE_FACE)
        assert session.colour(frame, quexal.Colour.SEPIA) is frame
        assert session.lens(frame, 1) is frame  # plain ints too
        assert session.fire(frame) is frame
        assert session.mask(frame, quexal.Eyes.BLUR) is frame
    assert not np.array_equal(frame, photos["coffee_320x240"])


@pytest.mark.parametrize("pair", [True, False], ids=["top_down", "bottom_up"], indirect=True)
@pytest.mark.parametrize("picture, kind", [("hat_200x190.png", quexal.MaskKind.ABOVE_FACE),
                                           ("nose_moustache_100x90.png", quexal.MaskKind.BELOW_EYES)])
def test_mask_pictures_match_the_c_api(pair, photos, picture, kind):
    module, reference = pair
    rgba = read_mask(picture)
    module.set_mask_picture(rgba, kind)
    assert reference.set_mask_picture(rgba, int(kind)) == 1
    drawn = 0
    for frame in moving_face(photos, pair[0].top_down):
        ours, _, code = run_both(pair, frame, lambda s, f: s.mask(f), lambda c, f: c.mask(f))
        assert code == 1
        drawn += not np.array_equal(ours, frame)
    assert drawn > 0, "the face was never found: the test proves nothing"


@pytest.mark.parametrize("pair", [True, False], ids=["top_down", "bottom_up"], indirect=True)
def test_eye_bands_match_the_c_api(pair, photos):
    # The eye bands, like the picture, wait for a registered mask picture.
    module, reference = pair
    glasses = read_mask("glasses_200x190.png")
    module.set_mask_picture(glasses, quexal.MaskKind.ON_FACE_POINT)
    assert reference.set_mask_picture(glasses, int(quexal.MaskKind.ON_FACE_POINT)) == 1
    for eyes in (quexal.Eyes.PIXELATE, quexal.Eyes.BLUR):
        drawn = 0
        for frame in moving_face(photos, pair[0].top_down):
            ours, _, code = run_both(pair, frame, lambda s, f: s.mask(f, eyes),
                                     lambda c, f: c.mask(f, int(eyes)))
            assert code == 1
            drawn += not np.array_equal(ours, frame)
        assert drawn > 0


@pytest.mark.parametrize("pair", [True, False], ids=["top_down", "bottom_up"], indirect=True)
def test_background_matches_the_c_api(pair, photos):
    module, reference = pair
    scene = photos["rocket_320x240"]
    module.snapshot(scene)
    assert reference.snapshot(scene) == 1
    # Any size of picture: it is stretched to the frame.
    beach = np.ascontiguousarray(photos["coffee_320x240"][20:170, 10:210])
    module.set_background(beach)
    assert reference.set_background_picture(beach) == 1

    frame = person_in_scene(photos)
    for halo, halo_bgr, cut_line in ((None, None, 0), (0x00FFFF, 0xFFFF00, 0), (0xFF0000, 0x0000FF, 60)):
        ours, result, code = run_both(
            pair, frame, lambda s, f: s.background(f, halo=halo, cut_line=cut_line),
            lambda c, f: c.background(f, halo_bgr, cut_line))
        assert result == code == quexal.BackgroundResult.DONE
        assert not np.array_equal(ours, frame)


def test_little_background_is_returned_not_raised(clib, photos):
    dark = np.zeros((HEIGHT, WIDTH, 3), np.uint8)
    frame = photos["astronaut_320x240"]
    with quexal.Session(WIDTH, HEIGHT) as session:
        reference = CSession(clib, WIDTH, HEIGHT)
        session.snapshot(dark)
        assert reference.snapshot(dark) == 1
        session.set_background(photos["coffee_320x240"])
        assert reference.set_background_picture(photos["coffee_320x240"]) == 1
        _, result, code = run_both((session, reference), frame, lambda s, f: s.background(f),
                                   lambda c, f: c.background(f))
        reference.close()
    assert result is quexal.BackgroundResult.LITTLE_BACKGROUND and code == 0


def test_video_backgrounds_play_behind_the_person(photos, tmp_path):
    clip = tmp_path / "waves.avi"
    writer = cv2.VideoWriter(str(clip), cv2.VideoWriter_fourcc(*"MJPG"), 10, (WIDTH, HEIGHT))
    for i in range(5):
        writer.write(np.roll(photos["coffee_320x240"], 10 * i, axis=0))
    writer.release()
    frame = person_in_scene(photos)
    with quexal.Session(WIDTH, HEIGHT) as session:
        session.snapshot(photos["rocket_320x240"])
        session.set_background(clip)  # a PathLike
        assert session.background(frame) == quexal.BackgroundResult.DONE
    assert not np.array_equal(frame, person_in_scene(photos))
