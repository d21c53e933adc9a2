#!/usr/bin/env python3
"""Cost of Tracker.process against a plain C++ ProcessFrame host on the same frames.

    PYTHONPATH=build/python python3 python/bench/overhead.py [--frames-dir DIR] [--rounds N]

Renders the swipe scene at 640 x 480 with olvar-synth-dump (or reads DIR/*.png). Two trackers
follow the scene in lockstep: for every frame the C++ host's ProcessFrame and the Python
tracker's process() are timed on the same frame, taking turns at going first (the second finds
the frame in the cache). Pairing frame by frame charges a machine whose load
changes during the run to both sides alike. Prints the medians, their ratio and the median
per-frame difference.
"""

import argparse
import glob
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

import olvar
from olvar import _olvar


def load_frames(folder, dump):
    if not glob.glob(os.path.join(folder, "*.png")):
        subprocess.run([dump, "--script", "swipes", "--size", "640x480", "--every", "1", folder],
                       check=True, stdout=subprocess.DEVNULL)
    import cv2
    return [cv2.imread(p) for p in sorted(glob.glob(os.path.join(folder, "*.png")))]


def lockstep_round(frames, parse):
    height, width = frames[0].shape[:2]
    cpp, python = [], []
    plain = _olvar.PlainHost(width, height)
    with olvar.Tracker(width, height) as tracker:
        for i, frame in enumerate(frames):
            if i % 2 == 0:
                cpp.append(plain.process(frame))
            start = time.perf_counter_ns()
            result = tracker.process(frame)
            if parse:
                result.users
            python.append(time.perf_counter_ns() - start)
            if i % 2 == 1:
                cpp.append(plain.process(frame))
    return cpp, python


def report(name, cpp, python):
    ratio = statistics.median(python) / statistics.median(cpp)
    difference = statistics.median(p - c for p, c in zip(python, cpp))
    print(f"{name:24s} C++ median {statistics.median(cpp) / 1e3:7.1f} us   Python median "
          f"{statistics.median(python) / 1e3:7.1f} us   ratio {ratio:.3f}   per-frame "
          f"difference (median) {difference / 1e3:6.1f} us")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--frames-dir")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--dump", default=str(pathlib.Path(__file__).parents[2] / "build" /
                                              "tools" / "synth" / "olvar-synth-dump"))
    args = parser.parse_args()
    frames = load_frames(args.frames_dir or tempfile.mkdtemp(prefix="olvar-overhead-"), args.dump)
    # The library's warm-up counter is process-wide: spend it before measuring.
    warm = _olvar.PlainHost(frames[0].shape[1], frames[0].shape[0])
    for frame in frames[:40]:
        warm.process(frame)
    del warm

    print(f"{len(frames)} frames of {frames[0].shape[1]}x{frames[0].shape[0]}, "
          f"{args.rounds} rounds")
    for parse, name in ((False, "process()"), (True, "process() + users")):
        cpp, python = [], []
        for _ in range(args.rounds):
            c, p = lockstep_round(frames, parse)
            cpp += c
            python += p
        report(name, cpp, python)
    return 0


if __name__ == "__main__":
    sys.exit(main())
