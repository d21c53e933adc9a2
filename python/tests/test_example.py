"""examples/webcam.py runs headless on a video file and writes the annotated video."""

import os
import pathlib
import subprocess
import sys

import numpy as np
import pytest

cv2 = pytest.importorskip("cv2")

EXAMPLE = pathlib.Path(os.environ.get("OLVAR_EXAMPLES_DIR", pathlib.Path(__file__).parents[2]
                                      / "examples")) / "webcam.py"


def read_video(path):
    capture = cv2.VideoCapture(str(path))
    frames = []
    ok, frame = capture.read()
    while ok:
        frames.append(frame)
        ok, frame = capture.read()
    return frames


def test_webcam_example_writes_an_annotated_video(swipes, tmp_path):
    clip, plate, out = tmp_path / "clip.avi", tmp_path / "plate.png", tmp_path / "annotated.avi"
    height, width = swipes.frames[0].shape[:2]
    writer = cv2.VideoWriter(str(clip), cv2.VideoWriter_fourcc(*"MJPG"), 25.0, (width, height))
    # The clip starts where the person walks in; the empty room is the plate.
    first_visible = next(i for i, t in enumerate(swipes.truth) if t["people"][0]["visible"])
    for frame in swipes.frames[first_visible:]:
        writer.write(frame)
    writer.release()
    cv2.imwrite(str(plate), swipes.frames[0])

    run = subprocess.run([sys.executable, str(EXAMPLE), str(clip), "--plate", str(plate),
                          "--out", str(out)], capture_output=True, text=True, check=True)
    lines = dict(line.split(" ", 1) for line in run.stdout.splitlines() if " " in line)
    assert "tracked frames" in run.stdout
    frames = int(run.stdout.split("frames ")[1].split()[0])
    tracked = int(run.stdout.split("tracked frames ")[1].split()[0])
    assert frames == len(swipes.frames) - first_visible
    assert tracked > frames // 2, run.stdout
    assert lines["wrote"] == str(out)

    written, source = read_video(out), read_video(clip)
    assert len(written) == frames
    # The drawing shows: the tracked frames differ from the input far beyond compression noise.
    last = np.abs(written[-1].astype(int) - source[-1].astype(int))
    assert (last.max(axis=2) > 60).sum() > 200


@pytest.mark.parametrize("args, message", [
    (["missing.avi"], "cannot open missing.avi"),
    (["--mode", "modeNothing", "missing.avi"], "unknown mode 'modeNothing'"),
    (["missing.avi", "--plate", "missing.png"], "cannot open missing.avi"),
])
def test_webcam_example_reports_bad_arguments(tmp_path, args, message):
    run = subprocess.run([sys.executable, str(EXAMPLE)] + args, capture_output=True, text=True,
                         cwd=tmp_path)
    assert run.returncode != 0
    assert message in run.stderr
