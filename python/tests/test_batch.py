"""The batch examples: the Dask version, over two short clips on a local
cluster of two workers, writes the same bytes as the plain loop."""

import shutil
import sys

import cv2
import numpy as np
import pytest
from conftest import PHOTOS, TOP, read_photo

sys.path.insert(0, str(TOP / "examples" / "python"))
import batch  # noqa: E402

CLIP_FRAMES = 8


def write_clip(path, photo, step):
    writer = cv2.VideoWriter(str(path), cv2.VideoWriter_fourcc(*"MJPG"), 10, photo.shape[1::-1])
    for i in range(CLIP_FRAMES):
        writer.write(np.ascontiguousarray(np.roll(photo, step * i, axis=1)))
    writer.release()


@pytest.fixture
def clips(tmp_path):
    """Two short clips from the photos, and a copy of the folder for the second run."""
    plain = tmp_path / "plain"
    plain.mkdir()
    write_clip(plain / "face.avi", read_photo(PHOTOS[-1]), 3)
    write_clip(plain / "rocket.avi", read_photo(TOP / "data" / "sample" / "rocket_320x240.png"), 5)
    dask = tmp_path / "dask"
    shutil.copytree(plain, dask)
    return plain, dask


def outputs(folder):
    return {p.name: p.read_bytes() for p in sorted(folder.glob("*-fire.avi"))}


def test_plain_batch_writes_one_result_per_video_and_skips_results(clips):
    plain, _ = clips
    for video in batch.videos_in(plain):
        assert batch.process_video(video, "fire")[1] == CLIP_FRAMES
    assert [v.name for v in batch.videos_in(plain)] == ["face.avi", "rocket.avi"]
    written = cv2.VideoCapture(str(plain / "face-fire.avi"))
    assert int(written.get(cv2.CAP_PROP_FRAME_COUNT)) == CLIP_FRAMES


@pytest.mark.filterwarnings("ignore:make_current is deprecated")  # tornado, inside distributed
def test_dask_batch_writes_the_bytes_of_the_plain_batch(clips):
    distributed = pytest.importorskip("dask.distributed")
    import batch_dask

    plain, dask = clips
    for video in batch.videos_in(plain):
        batch.process_video(video, "fire")
    with distributed.Client(n_workers=2, threads_per_worker=1, dashboard_address=None) as client:
        done = batch_dask.run(client, dask, "fire")
    assert sorted(done.values()) == [CLIP_FRAMES, CLIP_FRAMES]
    assert outputs(dask) == outputs(plain) and len(outputs(plain)) == 2


def test_unknown_effects_are_named():
    with pytest.raises(ValueError, match="colour:sepia"):
        batch.make_effect("colour:purple")
