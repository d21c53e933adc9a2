"""The record layout, the parsing of records into users, and the settings round trips."""

import struct

import numpy as np
import pytest

import olvar
from conftest import SCENE_SIZE

# Offsets of the public header's tracking record.
RECORD_OFFSETS = [
    ("userIndex", 0), ("torsoHalfWidth", 4), ("heightEstimate", 8), ("faceX", 16),
    ("faceY", 20), ("faceSize", 24), ("torsoX", 36), ("torsoY", 40), ("torsoValue", 44),
    ("hand0X", 264), ("hand0Y", 268), ("hand0Size", 272), ("palmRadius", 304),
    ("fingertips", 312), ("fingerBases", 412), ("hand1X", 512), ("hand1Y", 516),
    ("hand1Size", 520), ("fingerEvent", 548), ("joints", 552), ("legJoints", 692),
]


def test_record_dtype_follows_the_header_layout():
    dtype = olvar.RECORD_DTYPE
    assert dtype.itemsize == 816
    assert [(name, dtype.fields[name][1]) for name, _ in RECORD_OFFSETS] == RECORD_OFFSETS
    point = dtype.fields["joints"][0].base
    assert point.itemsize == 20 and point.fields["y"][1] == 4
    assert dtype.fields["fingertips"][0].shape == (5,)
    assert dtype.fields["legJoints"][0].shape == (6,)
    assert olvar.GESTURE_DTYPE.itemsize == 12
    assert [olvar.GESTURE_DTYPE.fields[n][1] for n in ("gesture", "x", "y")] == [0, 4, 8]


def record_bytes(index=0, half_width=30, height=-1.0, finger_event=-1, palm_radius=1.0,
                 legs=None, fingertips=None):
    """One record laid out by hand at the header's offsets."""
    raw = bytearray(816)
    struct.pack_into("<iid", raw, 0, index, half_width, height)
    struct.pack_into("<fff", raw, 16, 100.5, 60.25, 40.0)
    struct.pack_into("<fff", raw, 36, 101.0, 110.0, 30.0)
    struct.pack_into("<fff", raw, 264, 150.0, 160.0, 15.0)
    struct.pack_into("<d", raw, 304, palm_radius)
    struct.pack_into("<fff", raw, 512, 50.0, 165.0, 14.0)
    struct.pack_into("<i", raw, 548, finger_event)
    for k in range(7):
        struct.pack_into("<ff", raw, 552 + 20 * k, 10.0 * k, 5.0 * k + 1)
    for k, (x, y) in enumerate(legs or []):
        struct.pack_into("<ff", raw, 692 + 20 * k, x, y)
    for k, (x, y) in enumerate(fingertips or []):
        struct.pack_into("<ff", raw, 312 + 20 * k, x, y)
        struct.pack_into("<ff", raw, 412 + 20 * k, x - 1, y + 2)
    return bytes(raw)


def result_of(records, gestures=None, status=0):
    recs = np.frombuffer(b"".join(records), olvar.RECORD_DTYPE)
    gestures = gestures or [(-1, 0.0, 0.0)] * len(records)
    gests = np.array(gestures, olvar.GESTURE_DTYPE)
    return olvar.Result(status, len(records), recs, gests)


def test_a_hand_laid_record_parses_into_its_fields():
    result = result_of([record_bytes(height=172.5)], [(35, 0.25, -3.0)])
    (user,) = result.users
    assert user.index == 0
    assert user.face == (100.5, 60.25, 40.0)
    assert user.torso == (101.0, 110.0, 30)
    assert user.hands == ((150.0, 160.0, 15.0), (50.0, 165.0, 14.0))
    assert list(user.joints) == list(olvar.JOINT_NAMES)
    assert user.joints["right_elbow"] == (0.0, 1.0)
    assert user.joints["hip_centre"] == (60.0, 31.0)
    assert user.height == 172.5
    assert user.gesture == olvar.GestureEvent(35, "gesBothUp", 0.25, -3.0)
    assert user.palm is None and user.legs is None


@pytest.mark.parametrize("finger_event", [0, 1, 3])
def test_palm_data_is_present_exactly_when_the_event_is_set(finger_event):
    tips = [(float(k), 2.0 * k) for k in range(1, 6)]
    present = result_of([record_bytes(finger_event=finger_event, palm_radius=12.5,
                                      fingertips=tips)]).users[0]
    assert present.palm == olvar.Palm(12.5, tuple(tips),
                                      tuple((x - 1, y + 2) for x, y in tips), finger_event)
    assert result_of([record_bytes(finger_event=-1)]).users[0].palm is None


def test_legs_are_present_when_any_leg_joint_is_written():
    legs = [(1.0, 2.0), (3.0, 4.0), (5.0, 6.0), (7.0, 8.0), (9.0, 10.0), (11.0, 12.0)]
    user = result_of([record_bytes(legs=legs)]).users[0]
    assert user.legs == dict(zip(olvar.LEG_JOINT_NAMES, legs))
    assert result_of([record_bytes(legs=[(0.0, 0.0)] * 5 + [(0.0, 3.0)])]).users[0].legs


@pytest.mark.parametrize("height, parsed", [(-1.0, None), (0.0, None), (180.0, 180.0)])
def test_height_is_none_until_estimated(height, parsed):
    assert result_of([record_bytes(height=height)]).users[0].height == parsed


@pytest.mark.parametrize("gesture", [-1, -2])
def test_negative_gesture_ids_mean_no_gesture(gesture):
    assert result_of([record_bytes()], [(gesture, 0.0, 0.0)]).users[0].gesture is None


def test_only_users_with_a_torso_in_a_successful_frame_are_reported():
    two = [record_bytes(index=0, half_width=0), record_bytes(index=1, half_width=25)]
    assert [u.index for u in result_of(two).users] == [1]
    for status in (1, 10, 16, 17):
        assert result_of(two, status=status).users == []
    assert result_of(two, status=17).status is olvar.Status.kOlvarTooLittleForeground


@pytest.mark.parametrize("options", [
    olvar.Options(),
    olvar.Options(True, True, False, False, True, True),
    olvar.Options(estimate_height=True, reserved2=False),
    olvar.Options(gesture_enabled=False, palm=True),
])
def test_options_round_trip_all_six_bytes(tracker, options):
    tracker.options = options
    assert tracker.options == options


def test_enable_switches_show_in_the_options(tracker):
    tracker.enable_palm()
    tracker.enable_legs()
    assert (tracker.options.palm, tracker.options.leg_tracking) == (True, True)
    tracker.enable_palm(False)
    assert (tracker.options.palm, tracker.options.leg_tracking) == (False, True)


def test_defaults_of_a_new_tracker():
    with olvar.Tracker(*SCENE_SIZE) as tracker:
        assert tracker.mode is olvar.Mode.modeMotionExt1
        assert tracker.users == 1
        assert tracker.options == olvar.Options()


def test_mode_and_user_count_take_enums_and_ints(tracker):
    tracker.mode = olvar.Mode.modeMediaCenter
    assert tracker.mode == 10
    tracker.mode = 2
    assert tracker.mode is olvar.Mode.modeMotion
    tracker.users = 2
    assert tracker.users == 2
    assert tracker.process(np.zeros((SCENE_SIZE[1], SCENE_SIZE[0], 3), np.uint8)).records.shape \
        == (2,)


def test_mode_and_gesture_tables():
    modes = olvar.modes()
    assert len(modes) == 14 and 3 not in dict(modes)
    assert dict(modes)[4] == "modeMotionExt1" and dict(modes)[14] == "modeTreasureHunter"
    assert all(name.startswith("mode") for _, name in modes)
    gestures = olvar.gestures()
    assert [g for g, _ in gestures] == list(range(-1, 73))
    assert gestures[0] == (-1, "gesUndefined")
    assert dict(gestures)[24] == "gesMouseClick"
    assert [m.value for m in olvar.Mode] == [m for m, _ in modes]
    assert olvar.Gesture.gesBothUp == 35


def test_preview_is_mirrored_in_the_library_byte_order(tracker):
    width, height = SCENE_SIZE
    frame = np.empty((height, width, 3), np.uint8)
    frame[:, : width // 2] = (10, 20, 30)   # blue, green, red
    frame[:, width // 2:] = (200, 100, 50)
    tracker.process(frame)
    preview = tracker.preview()
    assert preview.shape == (height, width, 4) and preview.dtype == np.uint8
    assert tuple(preview[5, 5]) == (255, 50, 100, 200)           # the frame's right half
    assert tuple(preview[5, width - 6]) == (255, 30, 20, 10)     # the frame's left half
    assert tracker.preview(160, 120).shape == (120, 160, 4)


def test_face_region_is_none_while_nobody_is_tracked(tracker, grey_frame):
    tracker.process(grey_frame)
    assert tracker.face_region(0) is None and tracker.face_region(1) is None


@pytest.mark.parametrize("gain, reported", [
    ("auto", None), ("off", 1.0), (1.0, 1.0), (1, 1.0), (1.5, 1.5), (0, 0.0), (2, 2.0),
    (1.3, 83 / 64),  # applied in steps of 1/64
])
def test_colour_gain_reports_the_gain_in_effect(gain, reported):
    assert olvar.COLOUR_GAIN_AVAILABLE
    with olvar.Tracker(*SCENE_SIZE, colour_gain=gain) as tracker:
        assert tracker.colour_gain == reported
