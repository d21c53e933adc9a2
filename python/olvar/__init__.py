"""olvar: webcam body and gesture tracking.

    import olvar
    with olvar.Tracker(640, 480) as tracker:          # BGR frames as OpenCV reads them
        for frame in frames:                          # H x W x 3 uint8 arrays
            result = tracker.process(frame)
            for user in result.users:                 # the users tracked in this frame
                print(user.face, user.hands, user.gesture)

A tracker follows one or two people in front of a static background. The first 30 frames after
the library is loaded (in this process) warm the background model up: start on an empty scene.
Frames are read in place, never copied; the library runs with the GIL released.

Errors: a frame or value of the wrong kind raises ValueError (TypeError for something that is
not a numpy array), naming what was expected; any call on a closed tracker raises ValueError.
"""

from __future__ import annotations

import dataclasses
import enum
import math
import numbers
import operator
from typing import Dict, List, Optional, Tuple

import numpy as np

from . import _olvar

__all__ = [
    "Tracker", "Result", "User", "Palm", "GestureEvent", "Options", "Status", "Mode", "Gesture",
    "modes", "gestures", "RECORD_DTYPE", "GESTURE_DTYPE", "JOINT_NAMES", "LEG_JOINT_NAMES",
    "COLOUR_GAIN_AVAILABLE",
]

# The tracking record (816 bytes) and the gesture record (12 bytes) as numpy structured types,
# with the offsets the public header gives them.
RECORD_DTYPE: np.dtype = _olvar.record_dtype()
GESTURE_DTYPE: np.dtype = _olvar.gesture_dtype()

#: Status codes of the library, by the names of the public header.
Status = enum.IntEnum("Status", _olvar.status_codes(), module=__name__)

#: Joint names of the record's upper-body and leg joints, in record order.
JOINT_NAMES: Tuple[str, ...] = tuple(name for name, _ in sorted(_olvar.joint_names(),
                                                                key=lambda p: p[1]))
LEG_JOINT_NAMES: Tuple[str, ...] = tuple(name for name, _ in sorted(_olvar.leg_joint_names(),
                                                                    key=lambda p: p[1]))

#: Kept for hosts written when colour conditioning was optional: every build has it now.
COLOUR_GAIN_AVAILABLE: bool = True

#: The largest chroma gain, automatic or given.
MAX_COLOUR_GAIN: float = _olvar.colour_max_gain


def _library_tables():
    core = _olvar.Core()
    try:
        return tuple(core.modes()), tuple(core.gestures())
    finally:
        core.close()


_MODES, _GESTURES = _library_tables()
_MODE_IDS = frozenset(mode_id for mode_id, _ in _MODES)
_GESTURE_NAMES: Dict[int, str] = dict(_GESTURES)

#: The selectable application modes, by the library's names (Mode.modeMotionExt1 is 4).
Mode = enum.IntEnum("Mode", [(name, mode_id) for mode_id, name in _MODES], module=__name__)
#: Gesture identifiers, by the library's names (Gesture.gesBothUp is 35).
Gesture = enum.IntEnum("Gesture", [(name, gid) for gid, name in _GESTURES], module=__name__)


def modes() -> List[Tuple[int, str]]:
    """The selectable modes as (id, name) pairs, in the library's order."""
    return list(_MODES)


def gestures() -> List[Tuple[int, str]]:
    """Every gesture identifier as (id, name) pairs, -1 ("gesUndefined") first."""
    return list(_GESTURES)


_PIXEL_FORMATS = {"bgr": 1, "bgra": 2}


@dataclasses.dataclass
class Options:
    """The six option bytes of the tracker. Read with tracker.options, change a copy and assign
    it back (tracker.options = opts)."""

    estimate_height: bool = False
    reserved1: bool = False   # stored and returned, never read by the library
    reserved2: bool = True    # stored and returned, never read by the library
    gesture_enabled: bool = True
    leg_tracking: bool = False
    palm: bool = False

    def _as_bytes(self) -> Tuple[bool, ...]:
        return tuple(bool(v) for v in dataclasses.astuple(self))


@dataclasses.dataclass(frozen=True)
class GestureEvent:
    """A recognised gesture: identifier, name and the cursor position or lean value."""

    id: int
    name: str
    x: float
    y: float


@dataclasses.dataclass(frozen=True)
class Palm:
    """The palm analysis of one hand: radius, five fingertips and finger bases, tap event 0..3."""

    radius: float
    fingertips: Tuple[Tuple[float, float], ...]
    finger_bases: Tuple[Tuple[float, float], ...]
    event: int


@dataclasses.dataclass(frozen=True)
class User:
    """One tracked user in frame pixels. Hand 0 is the image-right arm's hand, hand 1 the
    image-left arm's."""

    index: int
    face: Tuple[float, float, float]                  # x, y, size
    torso: Tuple[float, float, int]                   # x, y of the shoulder line, half-width
    hands: Tuple[Tuple[float, float, float], ...]     # two (x, y, size)
    joints: Dict[str, Tuple[float, float]]            # by JOINT_NAMES
    height: Optional[float]                           # None unless estimated and warmed up
    legs: Optional[Dict[str, Tuple[float, float]]]    # by LEG_JOINT_NAMES; None when absent
    palm: Optional[Palm]                              # None when absent
    gesture: Optional[GestureEvent]                   # None when nothing was recognised


_FIELD = {name: i for i, name in enumerate(RECORD_DTYPE.names)}


def _points(values) -> Tuple[Tuple[float, float], ...]:
    return tuple((float(x), float(y)) for x, y in values)


def _parse_gesture(values) -> Optional[GestureEvent]:
    gesture_id, x, y = values
    if gesture_id < 0:
        return None
    return GestureEvent(int(gesture_id), _GESTURE_NAMES.get(int(gesture_id), "gesUndefined"),
                        float(x), float(y))


def _parse_user(values, gesture_values) -> User:
    f = lambda name: values[_FIELD[name]]  # noqa: E731
    legs = _points(f("legJoints"))
    palm = None
    if f("fingerEvent") != -1:
        palm = Palm(float(f("palmRadius")), _points(f("fingertips")), _points(f("fingerBases")),
                    int(f("fingerEvent")))
    height = float(f("heightEstimate"))
    return User(
        index=int(f("userIndex")),
        face=(float(f("faceX")), float(f("faceY")), float(f("faceSize"))),
        torso=(float(f("torsoX")), float(f("torsoY")), int(f("torsoHalfWidth"))),
        hands=((float(f("hand0X")), float(f("hand0Y")), float(f("hand0Size"))),
               (float(f("hand1X")), float(f("hand1Y")), float(f("hand1Size")))),
        joints=dict(zip(JOINT_NAMES, _points(f("joints")))),
        height=height if height > 0 else None,
        legs=dict(zip(LEG_JOINT_NAMES, legs)) if any(x or y for x, y in legs) else None,
        palm=palm,
        gesture=_parse_gesture(gesture_values),
    )


class Result:
    """What one frame gave: the status, the raw records and, parsed on first use, the users."""

    __slots__ = ("status", "user_number", "records", "gesture_records", "_users")

    def __init__(self, status: int, user_number: int, records: np.ndarray,
                 gesture_records: np.ndarray):
        try:
            self.status = Status(status)
        except ValueError:  # a code of the body trackers beyond the named ones
            self.status = status
        self.user_number = user_number
        self.records = records                  # RECORD_DTYPE, one per user slot
        self.gesture_records = gesture_records  # GESTURE_DTYPE, one per user slot
        self._users = None

    @property
    def users(self) -> List[User]:
        """The users with a record in this frame (none unless the status is kOlvarOk)."""
        if self._users is None:
            self._users = []
            if self.status == Status.kOlvarOk:
                for values, gesture in zip(self.records.tolist(), self.gesture_records.tolist()):
                    if values[_FIELD["torsoHalfWidth"]] > 0:
                        self._users.append(_parse_user(values, gesture))
        return self._users

    def __repr__(self) -> str:
        status = self.status.name if isinstance(self.status, Status) else self.status
        return f"Result(status={status}, users={self.users!r})"


def _integer(value, what: str) -> int:
    if isinstance(value, bool):
        raise ValueError(f"{what} must be an integer, got {value!r}")
    try:
        value = operator.index(value)
    except TypeError:
        raise ValueError(f"{what} must be an integer, got {value!r}") from None
    if not -2 ** 31 <= value < 2 ** 31:  # the library's integers are 32-bit
        raise ValueError(f"{what} out of range: {value}")
    return value


def _colour_stage(colour_gain):
    if isinstance(colour_gain, str):
        if colour_gain == "auto":
            return _olvar.ColourKind.AUTO, 1.0
        if colour_gain == "off":
            return _olvar.ColourKind.OFF, 1.0
    elif isinstance(colour_gain, numbers.Real) and not isinstance(colour_gain, bool):
        try:
            gain = float(colour_gain)
        except OverflowError:
            gain = math.inf
        if 0 <= gain <= MAX_COLOUR_GAIN:  # false for nan
            return _olvar.ColourKind.FIXED, gain
    raise ValueError(f"colour_gain must be 'auto', 'off' or a number from 0 to "
                     f"{MAX_COLOUR_GAIN:g}, got {colour_gain!r}")


class Tracker:
    """One body and gesture tracker for frames of one size.

    Tracker(width, height, *, pixel_format="bgr" | "bgra", bottom_up=False, users=1,
            mode=Mode.modeMotionExt1, colour_gain="auto")

    Frames are H x W x 3 ("bgr") or H x W x 4 ("bgra", the fourth byte ignored) uint8 arrays,
    C-contiguous; bottom_up says their rows arrive last row first. Width and height are 120..2048.

    colour_gain lifts the chroma of pale webcams, whose faces are too grey for the skin rules:
    each pixel's colour is scaled about its luma before the tracker sees it (the caller's array is
    never written). "off" leaves frames untouched (gain 1.0); a number from 0 to 2 applies that
    gain from the first frame (in steps of 1/64; 0 makes frames grey). "auto" chooses one gain
    for the camera (1.0 for lively colour, up to 2 for pale) from the first 30 frames and keeps
    it fixed; colour_gain reports None until then. Those 30 frames are tracked unchanged and the
    chosen gain applies from the 30th frame on, so with a pale camera the colours change once
    while the tracker is still learning the room. To have the tracker see one gain from its first
    frame, call choose_colour_gain(frames) with the camera's first frames (ideally the empty
    room) before process().
    Release the tracker with close() or a with-block (also done when it is garbage-collected).
    """

    def __init__(self, width: int, height: int, *, pixel_format: str = "bgr",
                 bottom_up: bool = False, users: int = 1, mode=None, colour_gain="auto"):
        width = _integer(width, "width")
        height = _integer(height, "height")
        if pixel_format not in _PIXEL_FORMATS:
            raise ValueError(f"pixel_format must be 'bgr' or 'bgra', got {pixel_format!r}")
        kind, gain = _colour_stage(colour_gain)
        self._core = _olvar.Core()
        try:
            status = self._core.set_frame_format(width, height, _PIXEL_FORMATS[pixel_format],
                                                 bool(bottom_up))
            if status != Status.kOlvarOk:
                raise ValueError(f"frame size {width}x{height} refused: width and height must "
                                 f"be 120..2048 pixels")
            self._core.set_colour_stage(kind, gain)
            self.users = users
            if mode is not None:
                self.mode = mode
        except BaseException:
            self._core.close()
            raise
        self.width, self.height, self.pixel_format = width, height, pixel_format

    # Life cycle ------------------------------------------------------------------------------

    def close(self) -> None:
        """Releases the tracker; further calls raise ValueError. Safe to call twice."""
        core = getattr(self, "_core", None)
        if core is not None:
            core.close()

    @property
    def closed(self) -> bool:
        return self._core.closed

    def __enter__(self) -> "Tracker":
        if self._core.closed:
            raise ValueError("the tracker is closed")
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __del__(self) -> None:
        self.close()

    # Frames ----------------------------------------------------------------------------------

    def process(self, frame: np.ndarray) -> Result:
        """Tracks one frame (read in place) and returns its Result."""
        if not isinstance(frame, np.ndarray):
            raise TypeError(f"frame must be a numpy array, got {type(frame).__name__}")
        return Result(*self._core.process(frame))

    def preview(self, width: Optional[int] = None, height: Optional[int] = None) -> np.ndarray:
        """The last frame, mirrored left to right, as a height x width x 4 uint8 array in the
        library's byte order (255, red, green, blue)."""
        width = self.width if width is None else _integer(width, "width")
        height = self.height if height is None else _integer(height, "height")
        status, image = self._core.preview(width, height)
        if status != Status.kOlvarOk:
            raise ValueError(f"preview size {width}x{height} refused")
        return image

    def face_region(self, user: int = 0) -> Optional[Tuple[int, int, int, int]]:
        """A square (left, top, right, bottom) around the face of user 0 or 1, in frame pixels;
        None while that user is not fully tracked or no face is found."""
        user = _integer(user, "user")
        if user not in (0, 1):
            raise ValueError(f"user must be 0 or 1, got {user}")
        _, rect = self._core.face_region(user)
        return rect

    # Settings --------------------------------------------------------------------------------

    @property
    def options(self) -> Options:
        return Options(*self._core.get_options())

    @options.setter
    def options(self, options: Options) -> None:
        if not isinstance(options, Options):
            raise ValueError(f"options must be an olvar.Options, got {type(options).__name__}")
        self._core.set_options(*options._as_bytes())

    @property
    def users(self) -> int:
        """The number of users followed, 1 or 2."""
        return self._core.get_user_mode()[0]

    @users.setter
    def users(self, count: int) -> None:
        count = _integer(count, "users")
        if count not in (1, 2):
            raise ValueError(f"users must be 1 or 2, got {count}")
        self._core.set_user_mode(count, self._core.get_user_mode()[1])

    @property
    def mode(self) -> Mode:
        """The application mode of both users' gesture recognition (a Mode or its id)."""
        return Mode(self._core.get_gesture_mode())

    @mode.setter
    def mode(self, mode) -> None:
        mode_id = _integer(mode, "mode")
        if mode_id not in _MODE_IDS:
            raise ValueError(f"mode must be one of {sorted(_MODE_IDS)}, got {mode!r}")
        self._core.set_gesture_mode(mode_id)

    def enable_palm(self, on: bool = True) -> None:
        """Switches the palm and finger analysis; off makes the next record report no palm."""
        self._core.enable_palm(bool(on))

    def enable_legs(self, on: bool = True) -> None:
        """Switches the leg analysis; off makes the next record report no legs."""
        self._core.enable_legs(bool(on))

    @property
    def colour_gain(self) -> Optional[float]:
        """The chroma gain applied to the frames: None while "auto" is still choosing."""
        return self._core.colour_gain

    def choose_colour_gain(self, frames) -> float:
        """Observes warm-up frames (arrays like process() takes; not tracked) and fixes the
        "auto" gain from them and any frames observed before; returns the gain in effect. Once
        the gain is fixed (a number, "off", or chosen before) the frames are only checked."""
        frames = list(frames)
        for frame in frames:
            if not isinstance(frame, np.ndarray):
                raise TypeError(f"frames must be numpy arrays, got {type(frame).__name__}")
        return self._core.choose_colour_gain(frames)

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"users={self.users}, mode={self.mode.name}"
        return f"<olvar.Tracker {self.width}x{self.height} {self.pixel_format} {state}>"
