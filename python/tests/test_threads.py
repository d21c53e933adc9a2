"""The library runs with the GIL released; trackers in threads neither crash nor race."""

import sys
import threading

import numpy as np

import olvar
from conftest import SCENE_SIZE


def run_in_threads(targets):
    errors = []

    def guarded(target):
        try:
            target()
        except BaseException as error:  # reported to the test below
            errors.append(error)

    threads = [threading.Thread(target=guarded, args=(t,)) for t in targets]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert errors == []


def test_two_trackers_in_two_threads_both_track_the_scene(swipes):
    tracked = {}

    def follow(name):
        def target():
            with olvar.Tracker(*SCENE_SIZE) as tracker:
                tracked[name] = sum(bool(tracker.process(f).users) for f in swipes.frames)
        return target

    run_in_threads([follow("a"), follow("b")])
    visible = sum(t["people"][0]["visible"] for t in swipes.truth)
    assert tracked["a"] > 0.6 * visible and tracked["b"] > 0.6 * visible


def test_other_threads_run_while_a_frame_is_processed(swipes):
    # With a switch interval of minutes the interpreter never takes the GIL from the main
    # thread: the counting thread can only run while process() has released it.
    counted = [0]
    stop = threading.Event()

    def count():
        while not stop.is_set():
            counted[0] += 1
            stop.wait(0.0001)

    previous = sys.getswitchinterval()
    sys.setswitchinterval(300.0)
    counter = threading.Thread(target=count)
    try:
        with olvar.Tracker(*SCENE_SIZE) as tracker:
            counter.start()  # start() waits for the thread, which counts once meanwhile
            before = counted[0]
            for frame in swipes.frames[:150]:
                tracker.process(frame)
            seen = counted[0] - before
    finally:
        stop.set()
        sys.setswitchinterval(previous)
        counter.join()
    assert seen > 0


def test_one_tracker_shared_by_two_threads_serves_them_in_turn(swipes):
    statuses = []
    with olvar.Tracker(*SCENE_SIZE) as tracker:
        def feed(frames):
            def target():
                for frame in frames:
                    statuses.append(tracker.process(frame).status)
                    tracker.options = tracker.options
                    tracker.preview(64, 48)
            return target

        run_in_threads([feed(swipes.frames[:120]), feed(swipes.frames[:120])])
        tracker.process(np.zeros((SCENE_SIZE[1], SCENE_SIZE[0], 3), np.uint8))
    assert len(statuses) == 240
    assert all(isinstance(s, olvar.Status) for s in statuses)
