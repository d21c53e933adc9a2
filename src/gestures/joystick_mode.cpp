// Mode 13: a two-handed joystick.
#include <cstdlib>
#include <optional>

#include "gestures/modes.h"

namespace olvar {

// The left stick is released (may fire again) when the hand drops, returns into its dead zone
// or jumps across it between two frames.
void GestureJoyStick::ReleaseWhenBackOrCrossed(int g) {
    const MotionSample& s = Newest();
    const int r = Body().reference;
    const int u = Body().unit;
    const int plx = PreviousSample().lx;
    const int ply = PreviousSample().ly;
    const int cx = leftX_;
    const int cy = leftY_;
    const int dx = std::abs(s.lx - cx);
    const int dy = std::abs(cy - s.ly);

    const bool dropped = s.ly > r + 1.5 * u;
    const bool inDeadZone = Between(cy - g, s.ly, cy + g) && Between(cx - g, s.lx, cx + g);
    const bool crossedSideways = (plx > cx + g && s.lx < cx - g) || (plx < cx - g && s.lx > cx + g);
    const bool crossedVertically =
        (ply > cy + g && s.ly < cy - g) || (ply < cy - g && s.ly > cy + g);
    const bool crossedHorizontalEdge =
        dx > g && ((ply < cy + g && cy + g < s.ly) || (s.ly < cy - g && cy - g < ply));
    const bool crossedVerticalEdge =
        dy > g && ((plx < cx + g && cx + g < s.lx) || (s.lx < cx - g && cx - g < plx));
    if (dropped || inDeadZone || crossedSideways || crossedVertically || crossedHorizontalEdge ||
        crossedVerticalEdge) {
        handled_ = 0;
    }
}

// Left stick pushed sideways (27, 28), down (starts a timed press) or up on the outer side
// (31); nothing when the stick is already handled or the hand is still.
std::optional<int> GestureJoyStick::LeftButtons(int g) {
    const MotionSample& s = Newest();
    const int r = Body().reference;
    const int u = Body().unit;
    const int dx = std::abs(s.lx - leftX_);
    const int dy = std::abs(leftY_ - s.ly);
    if (!(s.ly < r + 2 * u) || handled_ != 0 || LeftCode() <= 0) {
        return std::nullopt;
    }
    if (dy < dx && dx > g) {
        handled_ = 1;
        leftRaised_ = 0;
        return s.lx <= leftX_ ? gesLeftRight : gesLeftLeft;
    }
    if (dy >= dx && dy > g) {
        if (s.ly >= leftY_ && leftRaised_ != 0 && s.ry < r + 1.5 * u) {
            handled_ = 1;
            leftPress_ = 1;
            Timer().Start();
            return -1;
        }
        if (s.ly < leftY_ && s.lx > Body().headX) {
            handled_ = 1;
            return gesLeftUp;
        }
    }
    return std::nullopt;
}

// The right stick reports its side on every frame while the left hand is down.
std::optional<int> GestureJoyStick::RightStick(int g, int low) {
    const MotionSample& s = Newest();
    const int r = Body().reference;
    if (s.ry > low) {
        rightRaised_ = 0;
    } else if (s.ry < r) {
        rightRaised_ = 1;
    }
    const int ex = s.rx - rightX_;
    const int ey = rightY_ - s.ry;
    if (std::abs(ex) < g && std::abs(ey) < g) {
        return gesRightHold;
    }
    if (s.ry < low && low < s.ly) {
        if (std::abs(ey) < std::abs(ex) && std::abs(ex) > g) {
            return ex <= 0 ? gesRightRight : gesRightLeft;
        }
        if (std::abs(ey) >= std::abs(ex) && std::abs(ey) > g) {
            if (ey > 0) {
                return gesRightUp;
            }
            if (rightRaised_ != 0) {
                return gesRightDown;
            }
        }
    }
    return std::nullopt;
}

int GestureJoyStick::RecognizeFrame() {
    if (!BeginFrame()) {
        return kHistoryTooShort;
    }
    ComputeDirections(kDefaultKh, kDefaultKv);
    const int r = Body().reference;
    const int u = Body().unit;
    // The two stick centres: the left one beside the head at the left hand's side, the right
    // one farther out at the right hand's side, both a little below the head.
    leftX_ = TruncatePixels(Body().headX + 2.0 * u);
    leftY_ = TruncatePixels(Body().headY + 0.35 * u);
    rightX_ = TruncatePixels(Body().headX - 2.3 * u);
    rightY_ = TruncatePixels(Body().headY + 0.5 * u);
    RecordAnchorsOfMovingHands();
    TrackDirectionChange();

    const MotionSample& s = Newest();
    if (BothHandsUp(r - u, TruncatePixels(r - 1.5 * u))) {
        return gesBothUp;
    }
    const int low = TruncatePixels(r + 2.0 * u);
    if (s.ly > low && s.ry > low) {
        handled_ = 0;
        return gesNeutral;
    }
    const int g = TruncatePixels(0.8 * u);
    ReleaseWhenBackOrCrossed(g);

    if (leftPress_ == 1) {
        if (leftY_ < s.ly && s.ly < r + 2 * u && s.ry < r + 1.5 * u) {
            Timer().Stop();
            if (Timer().LastIntervalMs() > kPressMs) {
                handled_ = 0;
                leftPress_ = 0;
                return gesLeftDown;
            }
        }
        if (s.ly > r + 2 * u || s.ry > r + 2 * u) {
            leftPress_ = 0;
        }
    }
    if (s.ly > r + 2 * u) {
        leftRaised_ = 0;
    } else if (s.ly < r) {
        leftRaised_ = 1;
    }
    if (const std::optional<int> button = LeftButtons(g)) {
        return *button;
    }
    if (const std::optional<int> stick = RightStick(g, low)) {
        return *stick;
    }
    if (CountIdleFrame()) {
        handled_ = 0;
    }
    return -1;
}

}  // namespace olvar
