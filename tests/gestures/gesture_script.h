// Scripted gesture scenes: a pose per frame, run through a recognizer, compared as a stream.
//
// The default body stands with its head at (160, 60), face size 50 (unit 40) and neck top at
// y = 100 (the reference height r). The lines the modes use then fall at:
//   r - 1.5u = 40, r - 1.2u = 52, r - u = 60, r - 0.6u = 76, r - 0.5u = 80,
//   r + 0.5u = 120, r + 1.5u = 160, r + 1.8u = 172, r + 2u = 180, r + 2.2u = 188.
// Both hands rest low (y = 200): the left hand (hand 0) at x = 230, the right hand (hand 1) at
// x = 90. The torso centre is (160, 120) with third value 40 (half-width 20 for the mouse).
#ifndef OLVAR_TESTS_GESTURES_GESTURE_SCRIPT_H
#define OLVAR_TESTS_GESTURES_GESTURE_SCRIPT_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "gestures/recognizer.h"
#include "library/timer.h"
#include "olvar/olvar.h"

namespace olvar::testing {

struct Pose {
    float headX = 160, headY = 60, faceSize = 50;
    float neckY = 100;
    float leftX = 230, leftY = 200;
    float rightX = 90, rightY = 200;
    float torsoX = 160, torsoY = 120, torsoValue = 40;
    float shoulderX = 120;  // image-left shoulder (the right hand's shoulder)

    Pose& Left(float x, float y) {
        leftX = x;
        leftY = y;
        return *this;
    }
    Pose& Right(float x, float y) {
        rightX = x;
        rightY = y;
        return *this;
    }
    Pose& Head(float x, float y) {
        headX = x;
        headY = y;
        return *this;
    }
    Pose& Face(float size) {
        faceSize = size;
        return *this;
    }
    Pose& Neck(float y) {
        neckY = y;
        return *this;
    }
    Pose& Torso(float x, float y, float value) {
        torsoX = x;
        torsoY = y;
        torsoValue = value;
        return *this;
    }
    Pose& Shoulder(float x) {
        shoulderX = x;
        return *this;
    }
};

inline Pose Rest() {
    return Pose{};
}

inline TrackingRecord MakeRecord(const Pose& p) {
    TrackingRecord r{};
    r.torsoHalfWidth = 20;
    r.faceX = p.headX;
    r.faceY = p.headY;
    r.faceSize = p.faceSize;
    r.torsoX = p.torsoX;
    r.torsoY = p.torsoY;
    r.torsoValue = p.torsoValue;
    r.hand0X = p.leftX;
    r.hand0Y = p.leftY;
    r.hand1X = p.rightX;
    r.hand1Y = p.rightY;
    r.joints[kJointNeckTop].y = p.neckY;
    r.joints[kJointLeftShoulder].x = p.shoulderX;
    r.palmRadius = 1.0;
    r.fingerEvent = -1;
    return r;
}

// A sequence of poses, one per frame.
class Script {
  public:
    Script() = default;
    // `pose` for `frames` frames.
    Script& Hold(const Pose& pose, int frames = 1) {
        for (int i = 0; i < frames; ++i) {
            poses_.push_back(pose);
        }
        return *this;
    }
    // The left hand at each of `ys` in turn (x unchanged from `pose`).
    Script& LeftY(Pose pose, std::initializer_list<float> ys) {
        for (float y : ys) {
            poses_.push_back(pose.Left(pose.leftX, y));
        }
        return *this;
    }
    Script& LeftX(Pose pose, std::initializer_list<float> xs) {
        for (float x : xs) {
            poses_.push_back(pose.Left(x, pose.leftY));
        }
        return *this;
    }
    Script& RightY(Pose pose, std::initializer_list<float> ys) {
        for (float y : ys) {
            poses_.push_back(pose.Right(pose.rightX, y));
        }
        return *this;
    }
    Script& RightX(Pose pose, std::initializer_list<float> xs) {
        for (float x : xs) {
            poses_.push_back(pose.Right(x, pose.rightY));
        }
        return *this;
    }
    const std::vector<Pose>& Poses() const { return poses_; }

  private:
    std::vector<Pose> poses_;
};

// Replaces the cycle counter with a clock that advances only when told: one cycle per
// millisecond.
class FakeClock {
  public:
    FakeClock() : source_(&Read, 1) { Now() = 0; }
    static void Advance(uint64_t ms) { Now() += ms; }

  private:
    static uint64_t& Now() {
        static uint64_t now = 0;
        return now;
    }
    static uint64_t Read() { return Now(); }

    ScopedCycleSource source_;
};

// Sentinels the runner puts into x and y, to see whether the recognizer wrote them.
constexpr float kUntouched = -7.0f;

// Runs every pose through `recognizer` as the frame pipeline does (gesture preset to -1), the
// clock advancing by `msPerFrame` before each frame. Returns the gesture stream; `records`
// receives the whole gesture records when not null.
inline std::vector<int> RunScript(ZykGR& recognizer, const Script& script,
                                  uint64_t msPerFrame = 100,
                                  std::vector<GestureRecord>* records = nullptr) {
    std::vector<int> stream;
    for (const Pose& pose : script.Poses()) {
        FakeClock::Advance(msPerFrame);
        const TrackingRecord record = MakeRecord(pose);
        GestureRecord gesture{-1, kUntouched, kUntouched};
        recognizer.Recognize(&record, &gesture);
        stream.push_back(gesture.gesture);
        if (records != nullptr) {
            records->push_back(gesture);
        }
    }
    return stream;
}

// A fresh recognizer in `mode`.
inline void Select(ZykGR& recognizer, int mode) {
    recognizer.SetMode(&mode);
}

// The gesture stream of `script` on a fresh recognizer in `mode`, under a fake clock that
// starts at 0.
inline std::vector<int> RunMode(int mode, const Script& script,
                                std::vector<GestureRecord>* records = nullptr,
                                uint64_t msPerFrame = 100) {
    FakeClock clock;
    ZykGR recognizer;
    Select(recognizer, mode);
    return RunScript(recognizer, script, msPerFrame, records);
}

}  // namespace olvar::testing

#endif  // OLVAR_TESTS_GESTURES_GESTURE_SCRIPT_H
