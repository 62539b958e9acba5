#!/usr/bin/env python3
"""Per-call overhead of the quexal module over the bare C call, 640x480.

    PYTHONPATH=build/python python3 python/bench/overhead.py [--build build]

For each effect it times the module call, the same C function called
through ctypes, and a ctypes call of a C function that does nothing (the
cost ctypes itself adds). The C call alone is ctypes minus that; the
module's overhead is the module time minus the C call alone. Timings are
the best of several rounds, the rounds of the three interleaved.
"""

import argparse
import ctypes
import sys
import time
from pathlib import Path

import numpy as np
import quexal

WIDTH, HEIGHT = 640, 480
CALLS = 50
ROUNDS = 80  # many short rounds: the best of them escapes a busy machine's noise
GOAL_US = 20.0


def per_call_us(call):
    start = time.perf_counter_ns()
    for _ in range(CALLS):
        call()
    return (time.perf_counter_ns() - start) / CALLS / 1000


def best_of(calls):
    """The best per-call time of each call, the rounds interleaved."""
    best = [float("inf")] * len(calls)
    for _ in range(ROUNDS):
        for i, call in enumerate(calls):
            best[i] = min(best[i], per_call_us(call))
    return best


def c_library(build):
    lib = ctypes.CDLL(str(build / "libquexal.so"))
    p, i32 = ctypes.c_void_p, ctypes.c_int32
    lib.qx_session_create.restype = p
    lib.qx_init.argtypes = [p, ctypes.c_char_p, i32, i32, i32, i32]
    for name in ("qx_process_color", "qx_process_lens"):
        getattr(lib, name).argtypes = [p, p, i32]
    lib.qx_process_fire.argtypes = [p, p]
    lib.qx_check_dinamic_bkg.argtypes = [p, i32]
    return lib


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", type=Path, default=Path(__file__).resolve().parents[2] / "build")
    build = parser.parse_args().build
    lib = c_library(build)
    handle = lib.qx_session_create()
    if lib.qx_init(handle, bytes(build), WIDTH, -HEIGHT, 0, 0) != 1:
        sys.exit(f"overhead.py: the library refused {WIDTH}x{HEIGHT} with data {build}")
    session = quexal.Session(WIDTH, HEIGHT, data=build)
    rng = np.random.default_rng(1)
    frame = rng.integers(0, 256, (HEIGHT, WIDTH, 3), np.uint8)
    address = frame.ctypes.data

    cases = {
        "colour NEGATIVE": (lambda: session.colour(frame, quexal.Colour.NEGATIVE),
                            lambda: lib.qx_process_color(handle, address, 16)),
        "colour SEPIA": (lambda: session.colour(frame, quexal.Colour.SEPIA),
                         lambda: lib.qx_process_color(handle, address, 25)),
        "lens SWIRL": (lambda: session.lens(frame, quexal.Lens.SWIRL),
                       lambda: lib.qx_process_lens(handle, address, 1)),
        "fire": (lambda: session.fire(frame), lambda: lib.qx_process_fire(handle, address)),
    }
    noop = lambda: lib.qx_check_dinamic_bkg(handle, 0)  # noqa: E731
    print(f"{WIDTH}x{HEIGHT}, best of {ROUNDS} rounds of {CALLS} calls, microseconds a call")
    print(f"{'effect':16} {'module':>9} {'C call':>9} {'overhead':>9}")
    worst = 0.0
    for name, (module_call, c_call) in cases.items():
        module_us, ctypes_us, noop_us = best_of([module_call, c_call, noop])
        c_us = ctypes_us - noop_us
        overhead = module_us - c_us
        worst = max(worst, overhead)
        print(f"{name:16} {module_us:9.1f} {c_us:9.1f} {overhead:9.2f}")
    print(f"ctypes alone: {noop_us:.2f} us a call")
    print(f"worst overhead {worst:.2f} us; goal at most {GOAL_US:.0f} us: "
          f"{'met' if worst <= GOAL_US else 'NOT met'}")
    session.close()
    lib.qx_session_destroy.argtypes = [ctypes.c_void_p]
    lib.qx_session_destroy(handle)


if __name__ == "__main__":
    main()
