#!/usr/bin/env python3
"""Wall time of lens frames at 1280x720: one session on one thread against
four sessions on four threads, the same number of frames in all; and the
same through the bare C API (ctypes releases the GIL too), the ceiling the
module can reach on this machine.

    PYTHONPATH=build/python python3 python/bench/threads.py [--mode BULGE] [--frames 40]

The module releases the GIL while the library works on a frame, so the
speed-up is bounded by the cores (2 on the reference machine: the goal is
at least 1.6x there). OpenCV's own thread pool would spread a single
session's frame over the cores already and hide what sessions on threads
do; it is held to one thread unless --opencv-threads says otherwise (the
library shares OpenCV with cv2 in the process).
"""

import argparse
import os
import threading
import time
from pathlib import Path

import cv2
import numpy as np
import quexal
from overhead import c_library

SIZE = (1280, 720)
THREADS = 4
GOAL = 1.6
TOP = Path(__file__).resolve().parents[2]
PHOTO = TOP / "data" / "sample" / "astronaut_320x240.png"


class ModuleSession:
    """A quexal.Session, the way a Python user runs it."""

    def __init__(self, mode, build):
        self.session = quexal.Session(*SIZE, data=build)
        self.mode = mode

    def __call__(self, frame):
        self.session.lens(frame, self.mode)


class CSession:
    """The same session through the C API, for the ceiling."""

    def __init__(self, mode, build):
        self.lib = c_library(build)
        self.handle = self.lib.qx_session_create()
        assert self.lib.qx_init(self.handle, bytes(build), SIZE[0], -SIZE[1], 0, 0) == 1
        self.mode = int(mode)

    def __call__(self, frame):
        self.lib.qx_process_lens(self.handle, frame.ctypes.data, self.mode)


def run(make_session, frames, barrier):
    """Processes frames lens frames with a session of its own."""
    photo = np.ascontiguousarray(cv2.resize(cv2.imread(str(PHOTO)), SIZE))
    process = make_session()
    frame = photo.copy()
    barrier.wait()
    for _ in range(frames):
        np.copyto(frame, photo)
        process(frame)


def timed(make_session, threads, frames_each):
    """(wall time, cores busy on average) of threads sessions on threads of their own."""
    barrier = threading.Barrier(threads + 1)
    workers = [threading.Thread(target=run, args=(make_session, frames_each, barrier))
               for _ in range(threads)]
    for w in workers:
        w.start()
    barrier.wait()  # sessions are ready: time the frames only
    start, cpu = time.perf_counter(), time.process_time()
    for w in workers:
        w.join()
    wall = time.perf_counter() - start
    return wall, (time.process_time() - cpu) / wall


def report(name, make_session, frames, rounds):
    total = frames * THREADS
    one, one_busy = min(timed(make_session, 1, total) for _ in range(rounds))
    four, four_busy = min(timed(make_session, THREADS, frames) for _ in range(rounds))
    # Cores busy well under the thread count means the machine is shared
    # with other work and the figures say little.
    print(f"{name}: 1 thread {one:.3f} s ({total / one:.0f} frames/s, {one_busy:.2f} cores busy); "
          f"{THREADS} threads {four:.3f} s ({total / four:.0f} frames/s, {four_busy:.2f} cores busy); "
          f"speed-up {one / four:.2f}x")
    return one / four


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--mode", default="BULGE", choices=[m.name for m in quexal.Lens])
    parser.add_argument("--frames", type=int, default=40, help="frames per thread of the 4")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--opencv-threads", type=int, default=1,
                        help="OpenCV's thread pool (0: OpenCV's default)")
    parser.add_argument("--build", type=Path, default=TOP / "build")
    args = parser.parse_args()
    cv2.setNumThreads(args.opencv_threads if args.opencv_threads > 0 else -1)
    mode = quexal.Lens[args.mode]
    print(f"lens {mode.name} at {SIZE[0]}x{SIZE[1]}, {args.frames * THREADS} frames, "
          f"{os.cpu_count()} cores, OpenCV threads {cv2.getNumThreads()}, best of {args.rounds}")
    speedup = report("module", lambda: ModuleSession(mode, args.build), args.frames, args.rounds)
    ceiling = report("C API ", lambda: CSession(mode, args.build), args.frames, args.rounds)
    print(f"module speed-up {speedup:.2f}x, C API {ceiling:.2f}x (goal on 2 free cores: {GOAL}x)")


if __name__ == "__main__":
    main()
