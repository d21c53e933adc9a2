"""The colour gain for pale webcams: chosen from the first frames, applied to a copy of each."""

import numpy as np
import pytest

import olvar
from conftest import SCENE_SIZE

OBSERVED = 30  # frames "auto" observes before it chooses


def pale(frame, chroma=0.3):
    """The frame with its chroma scaled about its luma, as a pale webcam renders a room."""
    f = frame.astype(np.float32)
    y = (f @ np.array([0.114, 0.587, 0.299], np.float32))[..., None]
    return np.clip(y + chroma * (f - y) + 0.5, 0, 255).astype(np.uint8)


def with_gain(frame, gain):
    """Reference arithmetic of the gain: each channel y + gain * (c - y), gain in 1/64 steps."""
    q = int(gain * 64 + 0.5)
    c = frame.astype(np.int32)
    y = (29 * c[..., 0] + 150 * c[..., 1] + 77 * c[..., 2] + 128) >> 8
    return np.clip(y[..., None] + ((q * (c - y[..., None]) + 32) >> 6), 0, 255).astype(np.uint8)


def seen_by_tracker(tracker):
    """The last frame as the tracker saw it, back in frame orientation and BGR order."""
    preview = tracker.preview()
    return np.ascontiguousarray(preview[:, ::-1, :0:-1])


def tracked_count(frames, **tracker_args):
    with olvar.Tracker(*SCENE_SIZE, **tracker_args) as tracker:
        return sum(1 for frame in frames if tracker.process(frame).users)


@pytest.fixture(scope="module")
def pale_frames(swipes):
    return [pale(frame) for frame in swipes.frames]


def test_auto_chooses_on_the_thirtieth_frame_and_keeps_the_gain(pale_frames):
    with olvar.Tracker(*SCENE_SIZE, colour_gain="auto") as tracker:
        for frame in pale_frames[:OBSERVED - 1]:
            tracker.process(frame)
            assert tracker.colour_gain is None
        tracker.process(pale_frames[OBSERVED - 1])
        gain = tracker.colour_gain
        assert 1.25 < gain <= olvar.MAX_COLOUR_GAIN
        # The frame that completes the observation already gets the gain.
        assert np.array_equal(seen_by_tracker(tracker), with_gain(pale_frames[OBSERVED - 1], gain))
        for frame in pale_frames[OBSERVED:OBSERVED + 10]:
            tracker.process(frame)
        assert tracker.colour_gain == gain


def test_a_rendered_scene_of_lively_colour_chooses_about_one(swipes):
    with olvar.Tracker(*SCENE_SIZE) as tracker:
        assert abs(tracker.choose_colour_gain(swipes.frames[:OBSERVED]) - 1.0) < 0.1
    with olvar.Tracker(*SCENE_SIZE) as tracker:
        for frame in swipes.frames[:OBSERVED]:
            tracker.process(frame)
        assert abs(tracker.colour_gain - 1.0) < 0.1


def test_warm_up_frames_choose_the_same_gain_as_processing_them(pale_frames):
    with olvar.Tracker(*SCENE_SIZE) as streamed, olvar.Tracker(*SCENE_SIZE) as warmed:
        for frame in pale_frames[:OBSERVED]:
            streamed.process(frame)
        assert warmed.choose_colour_gain(pale_frames[:OBSERVED]) == streamed.colour_gain
        assert warmed.colour_gain == streamed.colour_gain
        # From its first processed frame on, the warmed-up tracker sees the chosen gain.
        warmed.process(pale_frames[0])
        assert np.array_equal(seen_by_tracker(warmed),
                              with_gain(pale_frames[0], warmed.colour_gain))


def test_auto_tracks_a_pale_person_far_more_often_than_off(pale_frames):
    off = tracked_count(pale_frames, colour_gain="off")
    auto = tracked_count(pale_frames, colour_gain="auto")
    with olvar.Tracker(*SCENE_SIZE) as tracker:
        tracker.choose_colour_gain(pale_frames[:OBSERVED])
        warmed = sum(1 for frame in pale_frames if tracker.process(frame).users)
    frames = len(pale_frames)
    assert off < 0.2 * frames
    assert auto > off + 0.4 * frames
    assert warmed > off + 0.4 * frames


@pytest.mark.parametrize("gain", [0, 0.5, 1.5, 2])
def test_a_fixed_gain_changes_what_the_tracker_sees_never_the_callers_array(swipes, gain):
    frame = swipes.frames[OBSERVED]
    before = frame.copy()
    with olvar.Tracker(*SCENE_SIZE, colour_gain=gain) as tracker:
        tracker.process(frame)
        seen = seen_by_tracker(tracker)
    assert np.array_equal(frame, before)
    assert np.array_equal(seen, with_gain(frame, gain))
    assert not np.array_equal(seen, frame)


@pytest.mark.parametrize("gain", ["off", 1.0])
def test_off_and_unit_gain_leave_frames_untouched(pale_frames, gain):
    with olvar.Tracker(*SCENE_SIZE, colour_gain=gain) as tracker:
        for frame in pale_frames[:OBSERVED + 1]:
            tracker.process(frame)
        assert tracker.colour_gain == 1.0
        assert np.array_equal(seen_by_tracker(tracker), pale_frames[OBSERVED])


@pytest.mark.parametrize("gain, expected", [("off", 1.0), (1.5, 1.5), (0, 0.0)])
def test_warm_up_frames_leave_a_fixed_gain_alone(pale_frames, gain, expected):
    with olvar.Tracker(*SCENE_SIZE, colour_gain=gain) as tracker:
        assert tracker.choose_colour_gain(pale_frames[:OBSERVED]) == expected
        assert tracker.colour_gain == expected


def test_no_warm_up_frames_choose_one(tracker):
    assert tracker.choose_colour_gain([]) == 1.0
    assert tracker.colour_gain == 1.0


W, H = SCENE_SIZE
BAD_WARM_UPS = [
    ("not an array", [b"\0" * (W * H * 3)], TypeError),
    ("not iterable", 5, TypeError),
    ("wrong shape", [np.zeros((H, W - 1, 3), np.uint8)], ValueError),
    ("wrong dtype", [np.zeros((H, W, 3), np.float32)], ValueError),
    ("non-contiguous", [np.zeros((H, 2 * W, 3), np.uint8)[:, ::2]], ValueError),
    ("bad after good", [np.zeros((H, W, 3), np.uint8), np.zeros((H, W, 4), np.uint8)],
     ValueError),
]


@pytest.mark.parametrize("frames, exception", [c[1:] for c in BAD_WARM_UPS],
                         ids=[c[0] for c in BAD_WARM_UPS])
def test_bad_warm_up_frames_raise_and_leave_the_gain_unchosen(tracker, frames, exception):
    with pytest.raises(exception):
        tracker.choose_colour_gain(frames)
    assert tracker.colour_gain is None
    assert tracker.process(np.full((H, W, 3), 128, np.uint8)).status is not None
