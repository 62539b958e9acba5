#!/usr/bin/env python3
"""Applies one effect to every video in a folder; each result goes next to
its video, named after it and the effect (clip.avi -> clip-sepia.avi).

    python3 batch.py FOLDER EFFECT [--data DIR]

EFFECT is colour:NAME (negative, grey, glow, soft_grey, sepia),
lens:NAME (swirl, mirror, funnel, bulge, magnify, stretch, pinch), fire,
or eyes:NAME (pixelate, blur). Results are MJPG .avi files. batch_dask.py
runs the same work spread over a Dask cluster.
"""

import argparse
import re
from pathlib import Path

import cv2
import numpy as np
import quexal
from tqdm import tqdm

VIDEO_SUFFIXES = {".avi", ".mp4", ".mkv", ".mov", ".webm"}
FALLBACK_FPS = 25.0  # for files that do not say their rate

EFFECT_KINDS = {"colour": quexal.Colour, "lens": quexal.Lens, "eyes": quexal.Eyes}


def effect_names():
    """Every effect name this script takes."""
    names = ["fire"]
    for kind, modes in EFFECT_KINDS.items():
        names += [f"{kind}:{mode.name.lower()}" for mode in modes]
    return names


def make_effect(name):
    """The call effect(session, frame) for an effect name; ValueError for an unknown one."""
    if name == "fire":
        return lambda session, frame: session.fire(frame)
    kind, _, mode_name = name.partition(":")
    modes = EFFECT_KINDS.get(kind)
    if modes is None or mode_name.upper() not in modes.__members__:
        raise ValueError(f"unknown effect {name!r}; one of: {', '.join(effect_names())}")
    mode = modes[mode_name.upper()]
    if kind == "colour":
        return lambda session, frame: session.colour(frame, mode)
    if kind == "lens":
        return lambda session, frame: session.lens(frame, mode)
    return lambda session, frame: session.mask(frame, eyes=mode)


def open_session(width, height, effect, data=None):
    """A session ready for effect on frames of width x height."""
    session = quexal.Session(width, height, data=data)
    if effect.startswith("eyes:"):
        # The eye bands wait for a registered mask picture; a clear one draws nothing.
        clear = np.zeros((190, 200, 4), np.uint8)
        session.set_mask_picture(clear, quexal.MaskKind.ABOVE_FACE)
    return session


def output_path(video, effect):
    """Where the result of effect on video goes: beside it, the effect in its name."""
    video = Path(video)
    return video.with_name(f"{video.stem}-{effect.replace(':', '-')}.avi")


def videos_in(folder):
    """The videos of folder, sorted, leaving out results of an earlier run."""
    tags = "|".join(re.escape(name.replace(":", "-")) for name in effect_names())
    result = re.compile(rf".*-({tags})\.avi$")
    return sorted(p for p in Path(folder).iterdir()
                  if p.suffix.lower() in VIDEO_SUFFIXES and not result.match(p.name))


def process_video(video, effect, data=None, progress=None):
    """Applies effect to every frame of video with a session of its own.

    Writes output_path(video, effect) and returns (that path as a str, the
    number of frames). progress, if given, is called with 1 after each frame.
    """
    apply = make_effect(effect)
    capture = cv2.VideoCapture(str(video))
    ok, frame = capture.read()
    if not ok:
        raise OSError(f"cannot read a frame from {video}")
    height, width = frame.shape[:2]
    fps = capture.get(cv2.CAP_PROP_FPS) or FALLBACK_FPS
    out = output_path(video, effect)
    writer = cv2.VideoWriter(str(out), cv2.VideoWriter_fourcc(*"MJPG"), fps, (width, height))
    if not writer.isOpened():
        raise OSError(f"cannot write {out}")
    frames = 0
    with open_session(width, height, effect, data) as session:
        while ok:
            writer.write(apply(session, frame))
            frames += 1
            if progress:
                progress(1)
            ok, frame = capture.read()
    writer.release()
    capture.release()
    return str(out), frames


def frame_count(video):
    """The number of frames the file announces (0 when it does not say)."""
    capture = cv2.VideoCapture(str(video))
    count = int(capture.get(cv2.CAP_PROP_FRAME_COUNT))
    capture.release()
    return max(count, 0)


def arguments(description):
    """The command line both batch scripts share."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("folder", type=Path, help="folder of videos")
    parser.add_argument("effect", help="one of: " + ", ".join(effect_names()))
    parser.add_argument("--data", help="folder holding QXdata/ (found by itself if not given)")
    return parser


def parse(parser):
    """The parsed command line; an unknown effect or an empty folder stops here."""
    args = parser.parse_args()
    try:
        make_effect(args.effect)
        if not videos_in(args.folder):
            parser.error(f"no videos in {args.folder}")
    except (ValueError, OSError) as error:
        parser.error(str(error))
    return args


def main():
    args = parse(arguments("Applies one effect to every video in a folder."))
    videos = videos_in(args.folder)
    with tqdm(total=sum(map(frame_count, videos)), unit="frame") as bar:
        for video in videos:
            bar.set_description(video.name)
            out, frames = process_video(video, args.effect, args.data, bar.update)
            bar.write(f"{out}: {frames} frames")


if __name__ == "__main__":
    main()
