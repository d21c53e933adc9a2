#!/usr/bin/env python3
"""Tracks the people in front of a camera (or in a video file) and draws what olvar sees.

    python3 examples/webcam.py                      # camera 0, shown in a window (q quits)
    python3 examples/webcam.py clip.mkv --plate empty-room.png --out annotated.avi   # headless

The face, the upper-body skeleton, both hands (and the palm and legs with --palm / --legs) are
drawn on each frame with the user's latest gesture name. --plate warms the background model up
on a picture of the empty scene before the first real frame; without it, start on an empty scene.
"""

import argparse
import sys

import cv2
import numpy as np

import olvar

BONES = [("right_shoulder", "right_elbow"), ("left_shoulder", "left_elbow"),
         ("right_shoulder", "shoulder_centre"), ("left_shoulder", "shoulder_centre"),
         ("neck_top", "shoulder_centre"), ("shoulder_centre", "hip_centre")]
LEG_BONES = [("right_hip", "right_knee"), ("right_knee", "right_foot"),
             ("left_hip", "left_knee"), ("left_knee", "left_foot"),
             ("right_hip", "left_hip")]
USER_COLOURS = [(0, 200, 255), (255, 160, 0)]


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("source", nargs="?", default="0",
                        help="camera index or video file (default: camera 0)")
    parser.add_argument("--plate", help="picture of the empty scene to warm up on")
    parser.add_argument("--plate-frames", type=int, default=40,
                        help="frames of the plate to feed first (default 40)")
    parser.add_argument("--out", help="write the annotated video here instead of showing it")
    parser.add_argument("--mode", default="modeMotionExt1",
                        help="gesture mode, by id or name (default modeMotionExt1)")
    parser.add_argument("--users", type=int, default=1, choices=(1, 2))
    parser.add_argument("--palm", action="store_true", help="track the palm and fingers")
    parser.add_argument("--legs", action="store_true", help="track hips, knees and feet")
    parser.add_argument("--colour-gain", default="auto", help="auto, off or a number")
    parser.add_argument("--max-frames", type=int, default=0, help="stop after N frames")
    return parser.parse_args(argv)


def parse_mode(text):
    if text.lstrip("-").isdigit():
        return int(text)
    try:
        return olvar.Mode[text]
    except KeyError:
        raise SystemExit(f"unknown mode {text!r}; modes: "
                         + ", ".join(name for _, name in olvar.modes()))


def open_source(text):
    capture = cv2.VideoCapture(int(text) if text.isdigit() else text)
    if not capture.isOpened():
        raise SystemExit(f"cannot open {text}")
    return capture


def point(p):
    return int(round(p[0])), int(round(p[1]))


def draw_user(image, user, colour):
    joints = user.joints
    hands = {"right_elbow": user.hands[0], "left_elbow": user.hands[1]}
    for a, b in BONES:
        cv2.line(image, point(joints[a]), point(joints[b]), colour, 2, cv2.LINE_AA)
    for elbow, hand in hands.items():
        cv2.line(image, point(joints[elbow]), point(hand), colour, 2, cv2.LINE_AA)
        cv2.circle(image, point(hand), max(3, int(hand[2] / 2)), (0, 0, 255), 2, cv2.LINE_AA)
    face_x, face_y, face_size = user.face
    cv2.circle(image, point((face_x, face_y)), max(3, int(face_size / 2)), (0, 255, 0), 2,
               cv2.LINE_AA)
    if user.legs:
        for a, b in LEG_BONES:
            cv2.line(image, point(user.legs[a]), point(user.legs[b]), colour, 2, cv2.LINE_AA)
    if user.palm:
        for tip, base in zip(user.palm.fingertips, user.palm.finger_bases):
            cv2.line(image, point(base), point(tip), (255, 0, 255), 2, cv2.LINE_AA)
            cv2.circle(image, point(tip), 3, (255, 0, 255), cv2.FILLED)


def draw_label(image, text, origin, colour):
    cv2.putText(image, text, origin, cv2.FONT_HERSHEY_SIMPLEX, 0.6, (0, 0, 0), 3, cv2.LINE_AA)
    cv2.putText(image, text, origin, cv2.FONT_HERSHEY_SIMPLEX, 0.6, colour, 1, cv2.LINE_AA)


class Annotator:
    """Draws each frame's users and keeps every user's last real gesture on screen."""

    def __init__(self):
        self.last_gesture = {}

    def draw(self, frame, result):
        image = frame.copy()
        for user in result.users:
            colour = USER_COLOURS[user.index % 2]
            draw_user(image, user, colour)
            if user.gesture:
                self.last_gesture[user.index] = user.gesture.name
        for index, name in sorted(self.last_gesture.items()):
            draw_label(image, f"user {index}: {name}", (10, 25 + 25 * index),
                       USER_COLOURS[index % 2])
        status = result.status.name if hasattr(result.status, "name") else str(result.status)
        draw_label(image, status, (10, image.shape[0] - 12), (255, 255, 255))
        return image


def plate_frames(path, size, count):
    plate = cv2.imread(path, cv2.IMREAD_COLOR)
    if plate is None:
        raise SystemExit(f"cannot read the plate {path}")
    plate = cv2.resize(plate, size) if plate.shape[1::-1] != size else plate
    rng = np.random.default_rng(12345)
    for _ in range(count):
        noise = rng.normal(0.0, 1.0, plate.shape)
        yield np.clip(plate + noise, 0, 255).astype(np.uint8)


def main(argv=None):
    args = parse_args(argv)
    mode = parse_mode(args.mode)
    colour_gain = args.colour_gain if args.colour_gain in ("auto", "off") else float(
        args.colour_gain)
    capture = open_source(args.source)
    ok, frame = capture.read()
    if not ok:
        raise SystemExit(f"{args.source} holds no readable frame")
    height, width = frame.shape[:2]
    writer = None
    if args.out:
        writer = cv2.VideoWriter(args.out, cv2.VideoWriter_fourcc(*"MJPG"), 25.0, (width, height))
        if not writer.isOpened():
            raise SystemExit(f"cannot write {args.out}")

    annotator = Annotator()
    frames = tracked = 0
    with olvar.Tracker(width, height, users=args.users, mode=mode,
                       colour_gain=colour_gain) as tracker:
        if args.palm:
            tracker.enable_palm()
        if args.legs:
            tracker.enable_legs()
        if args.plate:
            warm_up = list(plate_frames(args.plate, (width, height), args.plate_frames))
            # The empty room chooses the colour gain, so the tracker sees one gain throughout.
            tracker.choose_colour_gain(warm_up)
            for warm in warm_up:
                tracker.process(warm)
        while ok:
            frame = np.ascontiguousarray(frame)
            result = tracker.process(frame)
            frames += 1
            tracked += bool(result.users)
            image = annotator.draw(frame, result)
            if writer is not None:
                writer.write(image)
            else:
                cv2.imshow("olvar", image)
                if cv2.waitKey(1) & 0xFF in (ord("q"), 27):
                    break
            if args.max_frames and frames >= args.max_frames:
                break
            ok, frame = capture.read()
        gain = tracker.colour_gain
    if writer is not None:
        writer.release()
    print(f"frames {frames}\ntracked frames {tracked}\ncolour gain {gain}")
    if args.out:
        print(f"wrote {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
