"""Sessions on threads of their own give the bytes they give alone; the
speed of that is measured by python/bench/threads.py, not here."""

from concurrent.futures import ThreadPoolExecutor

import numpy as np
import quexal
from conftest import PHOTOS, read_photo

SIZE = (1280, 720)
THREADS = 4


def frames():
    """A stream: the photos at 1280x720 in turn, each frame under the next lens
    mode and then the fire, which carries state from frame to frame."""
    photos = [read_photo(p, SIZE) for p in PHOTOS]
    return [(photos[i % len(photos)], mode) for i, mode in enumerate(quexal.Lens)]


def run_stream(stream, session=None):
    """Runs the stream through a session (its own unless given); answers the frames."""
    own = session is None
    session = session or quexal.Session(*SIZE)
    try:
        out = []
        for photo, mode in stream:
            frame = session.lens(photo.copy(), mode)
            out.append(session.fire(frame))
        return out
    finally:
        if own:
            session.close()


def test_four_sessions_on_four_threads_give_solo_bytes():
    stream = frames()
    solo = run_stream(stream)
    with ThreadPoolExecutor(THREADS) as pool:
        results = list(pool.map(run_stream, [stream] * THREADS))
    for result in results:
        for ours, alone in zip(result, solo):
            np.testing.assert_array_equal(ours, alone)


def test_one_session_shared_by_threads_takes_turns():
    # The session's lock serialises the calls; a lens holds no state from
    # frame to frame, so every thread gets the bytes of a solo run.
    photo = read_photo(PHOTOS[0], SIZE)
    with quexal.Session(*SIZE) as session:
        alone = session.lens(photo.copy(), quexal.Lens.BULGE)
        with ThreadPoolExecutor(THREADS) as pool:
            results = list(pool.map(lambda _: session.lens(photo.copy(), quexal.Lens.BULGE),
                                    range(4 * THREADS)))
    for result in results:
        np.testing.assert_array_equal(result, alone)
