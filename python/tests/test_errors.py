"""Bad input raises the documented exception, never crashes, and leaves the tracker usable."""

import math

import numpy as np
import pytest

import olvar
from conftest import SCENE_SIZE

W, H = SCENE_SIZE


def still_usable(tracker):
    result = tracker.process(np.full((H, W, 3), 90, np.uint8))
    assert isinstance(result.status, olvar.Status)


BAD_FRAMES = [
    ("float32", lambda: np.zeros((H, W, 3), np.float32), "dtype float32"),
    ("uint16", lambda: np.zeros((H, W, 3), np.uint16), "dtype uint16"),
    ("int8", lambda: np.zeros((H, W, 3), np.int8), "dtype int8"),
    ("grey 2-d", lambda: np.zeros((H, W), np.uint8), "shape (%d, %d)" % (H, W)),
    ("four channels for bgr", lambda: np.zeros((H, W, 4), np.uint8), "shape"),
    ("transposed", lambda: np.zeros((W, H, 3), np.uint8), "shape (%d, %d, 3)" % (W, H)),
    ("one row short", lambda: np.zeros((H - 1, W, 3), np.uint8), "shape"),
    ("flat bytes", lambda: np.zeros(H * W * 3, np.uint8), "shape (%d,)" % (H * W * 3)),
    ("empty", lambda: np.zeros((0, 0, 3), np.uint8), "shape"),
    ("every other column", lambda: np.zeros((H, 2 * W, 3), np.uint8)[:, ::2], "non-contiguous"),
    ("Fortran order", lambda: np.asfortranarray(np.zeros((H, W, 3), np.uint8)), "non-contiguous"),
    ("cropped rows", lambda: np.zeros((H, W + 8, 3), np.uint8)[:, :W], "non-contiguous"),
    ("flipped view", lambda: np.zeros((H, W, 3), np.uint8)[::-1], "non-contiguous"),
]


@pytest.mark.parametrize("make, detail", [c[1:] for c in BAD_FRAMES],
                         ids=[c[0] for c in BAD_FRAMES])
def test_bad_frames_raise_value_error_naming_what_was_expected(tracker, make, detail):
    with pytest.raises(ValueError) as error:
        tracker.process(make())
    message = str(error.value)
    assert "%dx%dx3 uint8 array (bgr)" % (H, W) in message
    assert detail in message
    still_usable(tracker)


# Named ids: pytest would otherwise escape the 230 KB of bytes into the test's name, which takes
# minutes under AddressSanitizer (every growth of the string is a fresh mapping there).
@pytest.mark.parametrize("frame", [None, b"\0" * (H * W * 3), [[0, 0, 0]] * 10, 3.5],
                         ids=["none", "frame-sized-bytes", "nested-list", "float"])
def test_non_arrays_raise_type_error(tracker, frame):
    with pytest.raises(TypeError):
        tracker.process(frame)
    still_usable(tracker)


def test_a_read_only_frame_is_read_in_place_and_left_unchanged(tracker):
    frame = np.random.default_rng(3).integers(0, 256, (H, W, 3), dtype=np.uint8)
    before = frame.copy()
    frame.setflags(write=False)
    tracker.process(frame)
    assert np.array_equal(frame, before)


def test_a_bgra_tracker_wants_four_channels():
    with olvar.Tracker(W, H, pixel_format="bgra") as tracker:
        with pytest.raises(ValueError, match=r"%dx%dx4 uint8 array \(bgra\)" % (H, W)):
            tracker.process(np.zeros((H, W, 3), np.uint8))
        tracker.process(np.zeros((H, W, 4), np.uint8))


BAD_CONSTRUCTIONS = [
    ("too narrow", dict(width=119, height=240), ValueError),
    ("too tall", dict(width=320, height=2049), ValueError),
    ("zero", dict(width=0, height=0), ValueError),
    ("negative", dict(width=-320, height=240), ValueError),
    ("huge", dict(width=2 ** 40, height=240), ValueError),
    ("float size", dict(width=320.0, height=240), ValueError),
    ("bool size", dict(width=True, height=240), ValueError),
    ("rgb", dict(width=320, height=240, pixel_format="rgb"), ValueError),
    ("users 0", dict(width=320, height=240, users=0), ValueError),
    ("users 3", dict(width=320, height=240, users=3), ValueError),
    ("mode 3", dict(width=320, height=240, mode=3), ValueError),
    ("mode 15", dict(width=320, height=240, mode=15), ValueError),
    ("gain word", dict(width=320, height=240, colour_gain="bright"), ValueError),
    ("gain negative", dict(width=320, height=240, colour_gain=-0.1), ValueError),
    ("gain above 2", dict(width=320, height=240, colour_gain=2.01), ValueError),
    ("gain huge int", dict(width=320, height=240, colour_gain=10 ** 400), ValueError),
    ("gain inf", dict(width=320, height=240, colour_gain=math.inf), ValueError),
    ("gain nan", dict(width=320, height=240, colour_gain=math.nan), ValueError),
    ("gain bool", dict(width=320, height=240, colour_gain=True), ValueError),
]


@pytest.mark.parametrize("args, exception", [c[1:] for c in BAD_CONSTRUCTIONS],
                         ids=[c[0] for c in BAD_CONSTRUCTIONS])
def test_bad_construction_arguments_raise(args, exception):
    width, height = args.pop("width"), args.pop("height")
    with pytest.raises(exception):
        olvar.Tracker(width, height, **args)


@pytest.mark.parametrize("mode", [3, 15, -1, -2, 2 ** 40, "modeMotion", 4.0, None, True])
def test_an_invalid_mode_raises_and_keeps_the_mode(tracker, mode):
    tracker.mode = olvar.Mode.modeMouse
    with pytest.raises(ValueError):
        tracker.mode = mode
    assert tracker.mode == olvar.Mode.modeMouse
    still_usable(tracker)


@pytest.mark.parametrize("users", [0, 3, -1, 1.0, "2", None])
def test_an_invalid_user_count_raises_and_keeps_the_count(tracker, users):
    tracker.users = 2
    with pytest.raises(ValueError):
        tracker.users = users
    assert tracker.users == 2
    still_usable(tracker)


@pytest.mark.parametrize("size", [(0, 10), (10, 0), (-5, 10), (100000, 10), (2.5, 10)])
def test_an_invalid_preview_size_raises(tracker, size):
    with pytest.raises(ValueError):
        tracker.preview(*size)
    still_usable(tracker)


@pytest.mark.parametrize("user", [-1, 2, 1.0])
def test_face_region_of_an_invalid_user_raises(tracker, user):
    with pytest.raises(ValueError):
        tracker.face_region(user)


def test_options_must_be_an_options_object(tracker):
    with pytest.raises(ValueError):
        tracker.options = (True,) * 6
    assert tracker.options == olvar.Options()


CLOSED_CALLS = [
    ("process", lambda t: t.process(np.zeros((H, W, 3), np.uint8))),
    ("preview", lambda t: t.preview()),
    ("face_region", lambda t: t.face_region(0)),
    ("options", lambda t: t.options),
    ("set options", lambda t: setattr(t, "options", olvar.Options())),
    ("users", lambda t: t.users),
    ("set users", lambda t: setattr(t, "users", 1)),
    ("mode", lambda t: t.mode),
    ("set mode", lambda t: setattr(t, "mode", 4)),
    ("palm", lambda t: t.enable_palm()),
    ("legs", lambda t: t.enable_legs()),
    ("colour gain", lambda t: t.colour_gain),
    ("choose colour gain", lambda t: t.choose_colour_gain([np.zeros((H, W, 3), np.uint8)])),
    ("with", lambda t: t.__enter__()),
]


@pytest.mark.parametrize("call", [c[1] for c in CLOSED_CALLS], ids=[c[0] for c in CLOSED_CALLS])
def test_every_call_on_a_closed_tracker_raises(call):
    tracker = olvar.Tracker(W, H)
    tracker.close()
    tracker.close()  # twice is harmless
    assert tracker.closed
    with pytest.raises(ValueError, match="closed"):
        call(tracker)


def test_the_with_block_closes_the_tracker_even_on_an_exception():
    with pytest.raises(RuntimeError):
        with olvar.Tracker(W, H) as tracker:
            raise RuntimeError("host failure")
    assert tracker.closed
