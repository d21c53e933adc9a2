"""Shared fixtures: a rendered scene (frames and their truth) and small plain frames."""

import json
import os
import pathlib
import subprocess

import numpy as np
import pytest

import olvar

SCENE_SIZE = (320, 240)


class Scene:
    """Frames of a rendered script with the renderer's truth per frame."""

    def __init__(self, frames, truth):
        self.frames = frames
        self.truth = truth

    def person(self, index):
        return self.truth[index]["people"][0]


def render_scene(folder, script):
    tool = os.environ.get("OLVAR_SYNTH_DUMP")
    if not tool or not pathlib.Path(tool).exists():
        pytest.skip("the scene renderer (olvar-synth-dump) is not built")
    cv2 = pytest.importorskip("cv2")
    truth_path = folder / "truth.jsonl"
    subprocess.run([tool, "--script", script, "--size", "%dx%d" % SCENE_SIZE, "--every", "1",
                    "--truth-jsonl", str(truth_path), str(folder)], check=True,
                   stdout=subprocess.DEVNULL)
    truth = [json.loads(line) for line in truth_path.read_text().splitlines()]
    frames = [cv2.imread(str(folder / ("%s_%04d.png" % (script, t["index"])))) for t in truth]
    assert all(f is not None and f.shape == (SCENE_SIZE[1], SCENE_SIZE[0], 3) for f in frames)
    return Scene(frames, truth)


@pytest.fixture(scope="session")
def swipes(tmp_path_factory):
    """The renderer's swipe script: empty room, a person walks in, four swipes, rest."""
    return render_scene(tmp_path_factory.mktemp("swipes"), "swipes")


@pytest.fixture
def tracker():
    with olvar.Tracker(*SCENE_SIZE) as t:
        yield t


@pytest.fixture
def grey_frame():
    return np.full((SCENE_SIZE[1], SCENE_SIZE[0], 3), 128, np.uint8)
