#!/usr/bin/env python3
"""Wall time of lens frames at 1280x720: one session on one thread against
four sessions on four threads, the same number of frames in all.

    PYTHONPATH=build/python python3 python/bench/threads.py [--mode BULGE] [--frames 40]

The module releases the GIL while the library works on a frame, so the
speed-up is bounded by the cores (2 on the reference machine: the goal is
at least 1.6x there).
"""

import argparse
import os
import threading
import time
from pathlib import Path

import cv2
import numpy as np
import quexal

SIZE = (1280, 720)
THREADS = 4
GOAL = 1.6
PHOTO = Path(__file__).resolve().parents[2] / "data" / "sample" / "astronaut_320x240.png"


def run(frames, mode, barrier=None):
    """Processes frames lens frames with a session of its own."""
    photo = np.ascontiguousarray(cv2.resize(cv2.imread(str(PHOTO)), SIZE))
    with quexal.Session(*SIZE) as session:
        frame = photo.copy()
        if barrier:
            barrier.wait()
        for _ in range(frames):
            np.copyto(frame, photo)
            session.lens(frame, mode)


def wall_time(threads, frames_each, mode):
    barrier = threading.Barrier(threads + 1)
    workers = [threading.Thread(target=run, args=(frames_each, mode, barrier))
               for _ in range(threads)]
    for w in workers:
        w.start()
    barrier.wait()  # sessions are ready: time the frames only
    start = time.perf_counter()
    for w in workers:
        w.join()
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--mode", default="BULGE", choices=[m.name for m in quexal.Lens])
    parser.add_argument("--frames", type=int, default=40, help="frames per thread of the 4")
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    mode = quexal.Lens[args.mode]
    total = args.frames * THREADS
    one = min(wall_time(1, total, mode) for _ in range(args.rounds))
    four = min(wall_time(THREADS, args.frames, mode) for _ in range(args.rounds))
    print(f"lens {mode.name} at {SIZE[0]}x{SIZE[1]}, {total} frames, {os.cpu_count()} cores, "
          f"best of {args.rounds}")
    print(f"1 thread : {one:.3f} s ({total / one:.1f} frames/s)")
    print(f"{THREADS} threads: {four:.3f} s ({total / four:.1f} frames/s)")
    print(f"speed-up {one / four:.2f}x (goal on 2 cores: {GOAL}x)")


if __name__ == "__main__":
    main()
