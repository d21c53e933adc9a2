// Mode 10: a media-centre remote driven by the right hand around a box beside the body.
#include <cstdlib>

#include "gestures/modes.h"

namespace olvar {

// The box is a column beside the head on the right hand's side, from the top line to one unit
// below the reference height. Its column follows the right hand on the frame on which the hand
// starts a gesture from the previous frame's band, and the default column otherwise.
void GestureMedialCenter::ComputeRegions() {
    const MotionSample& s = Newest();
    const int r = Body().reference;
    const int u = Body().unit;
    const int right = RightCode();
    int column = TruncatePixels(Body().headX - 1.75 * u);
    if (columnLocked_ == 0) {
        const bool sideways = (right == kTowardLargerX || right == kTowardSmallerX) &&
                              Between(regions_.bandTop, s.ry, regions_.chestLine);
        const bool vertical = (right == kDownward || right == kUpward) && s.ry < regions_.topLine;
        if (sideways || vertical || pressState_ > 0) {
            columnLocked_ = 1;
            column = s.rx;
        }
    }
    regions_.topLine = TruncatePixels(r - 0.3 * u);
    regions_.boxBottom = TruncatePixels(r + 1.0 * u);
    regions_.boxMinX = TruncatePixels(column + 0.1 * u);
    regions_.boxMaxX = TruncatePixels(column + 0.75 * u);
    regions_.bandTop = TruncatePixels(r - 0.5 * u);
    regions_.unused = TruncatePixels(r + 1.3 * u);
    regions_.outerMaxX = TruncatePixels(column + 1.15 * u);
    regions_.outerMinX = TruncatePixels(column - 1.25 * u);
    regions_.chestLine = TruncatePixels(r + 1.5 * u);
    regions_.lowLine = TruncatePixels(r + 2.2 * u);
}

bool GestureMedialCenter::Fire(OneShot shot) {
    if (disarmed_[shot] != 0) {
        return false;
    }
    disarmed_[shot] = 1;
    return true;
}

void GestureMedialCenter::CancelPress() {
    pressState_ = 0;
    pressCount_ = 0;
    holding_ = 0;
}

// Re-arms the one-shot gestures whose triggering situation the hands have left.
void GestureMedialCenter::Rearm() {
    const MotionSample& s = Newest();
    const Regions& g = regions_;
    const int u = Body().unit;
    const int right = RightCode();
    const int px = PreviousSample().rx;
    const double shoulderX = Record().joints[kJointLeftShoulder].x;

    if (right == kTowardLargerX && s.rx < g.boxMaxX)
        Arm(kShotRightRight);
    if (right == kTowardSmallerX && s.rx > g.boxMinX)
        Arm(kShotRightLeft);
    if (right == kDownward)
        Arm(kShotRightUp);
    if (Between(g.topLine, s.ry, g.chestLine) && Between(g.boxMinX, s.rx, g.boxMaxX)) {
        Arm(kShotRightUp);
        if (!(right == kTowardLargerX && s.rx < px))
            Arm(kShotRightLeft);
        Arm(kShotRightRight);
        lowHandsCount_ = 0;
    }
    if (s.ly < g.topLine || s.ry < g.topLine || s.ly > g.lowLine || s.ry > g.lowLine) {
        Arm(kShotChest);
    }
    if (s.ly > g.lowLine && s.ry > g.lowLine) {
        // Hands resting low (and the right one by its shoulder) end any press and release the
        // column.
        if ((lowHandsCount_ > 3 || s.ly - s.ry < 0.4 * u) && shoulderX - s.rx < u) {
            CancelPress();
            lowHandsCount_ = 0;
            columnLocked_ = 0;
        }
        ++lowHandsCount_;
    }
    if (s.ly > g.topLine || s.ry > g.topLine)
        Arm(kShotBothUp);
    if (s.ly > g.topLine || s.ry < g.chestLine)
        Arm(kShotLeftUp);
    if (LeftCode() > 0 || right > 0) {
        ClearIdleCount();
    }
}

// A press ends with 34 once the hand came back up to where it dropped (after at least four
// frames), or after six frames regardless.
int GestureMedialCenter::ContinuePress() {
    const MotionSample& s = Newest();
    const int u = Body().unit;
    const double shoulderX = Record().joints[kJointLeftShoulder].x;
    if ((pressCount_ > 3 && s.ry <= pressHeight_) || pressCount_ > 5) {
        holding_ = 0;
        lowHandsCount_ = 0;
        pressState_ = -1;
        pressCount_ = 2;
        return gesRightDown;
    }
    if (s.ry > regions_.lowLine && shoulderX - s.rx < u) {
        pressState_ = 0;
        pressCount_ = 0;
    }
    if (s.ry < regions_.lowLine || RightCode() == kUpward ||
        (s.ly - s.ry > 0.4 * u && shoulderX - s.rx > u)) {
        ++pressCount_;
    }
    return -1;
}

// The right hand held still in the box for 2.5 s reports 62, then the timing starts anew.
int GestureMedialCenter::InHoldBox() {
    if (RightCode() >= 0) {
        holding_ = 0;
        return -1;
    }
    if (holding_ == 0) {
        Timer().Start();
    }
    holding_ = 1;
    Timer().Stop();
    if (Timer().LastIntervalMs() >= kHoldMs) {
        holding_ = 0;
        pressCount_ = 0;
        Arm(kShotRightUp);
        Arm(kShotRightLeft);
        Arm(kShotRightRight);
        Arm(kShotChest);
        lowHandsCount_ = 0;
        pressState_ = -1;
        return gesRightHold;
    }
    return -1;
}

// The right hand just went down out of the box and stayed near its column.
bool GestureMedialCenter::DroppedBelowBox() const {
    const MotionSample& s = Newest();
    const Regions& g = regions_;
    const int u = Body().unit;
    const int px = PreviousSample().rx;
    const int py = PreviousSample().ry;
    const bool dropped = (RightCode() == kDownward && s.ry > g.boxBottom &&
                          (py < g.boxBottom || py - g.boxBottom < 0.5 * u)) ||
                         (Between(g.topLine, py, g.boxBottom) && s.ry - g.boxBottom > 0.1 * u);
    if (!dropped) {
        return false;
    }
    const bool nearMaxSide =
        s.rx < g.boxMaxX || (s.rx < (g.boxMaxX + g.outerMaxX) / 2 && std::abs(px - s.rx) < 0.2 * u);
    const bool nearMinSide =
        s.rx > g.boxMinX || (s.rx > (g.boxMinX + g.outerMinX) / 2 && std::abs(s.rx - px) < 0.3 * u);
    return nearMaxSide && nearMinSide;
}

int GestureMedialCenter::OutsideBox() {
    const MotionSample& s = Newest();
    const Regions& g = regions_;
    const int right = RightCode();

    if (right == kUpward && s.ry < g.topLine && Between(g.outerMinX, s.rx, g.outerMaxX)) {
        CancelPress();
        Arm(kShotRightLeft);
        Arm(kShotRightRight);
        Arm(kShotChest);
        lowHandsCount_ = 0;
        return Fire(kShotRightUp) ? gesRightUp : -1;
    }
    if (DroppedBelowBox()) {
        if (pressState_ == -1) {
            pressCount_ = 2;
            pressHeight_ = s.ry;
        }
        holding_ = 0;
        Arm(kShotRightLeft);
        Arm(kShotRightRight);
        Arm(kShotChest);
        lowHandsCount_ = 0;
        pressState_ = 1;
        return -1;
    }
    const bool inSwipeBand = Between(g.bandTop, s.ry, g.chestLine);
    if (right == kTowardLargerX && s.rx > g.boxMaxX && inSwipeBand) {
        CancelPress();
        Arm(kShotRightUp);
        Arm(kShotRightRight);
        Arm(kShotChest);
        lowHandsCount_ = 0;
        return Fire(kShotRightLeft) ? gesRightLeft : -1;
    }
    if (right == kTowardSmallerX && s.rx < g.boxMinX && inSwipeBand) {
        CancelPress();
        Arm(kShotRightUp);
        Arm(kShotRightLeft);
        Arm(kShotChest);
        lowHandsCount_ = 0;
        return Fire(kShotRightRight) ? gesRightRight : -1;
    }
    return -1;
}

int GestureMedialCenter::RecognizeFrame() {
    if (!BeginFrame()) {
        return kHistoryTooShort;
    }
    ComputeDirections(0.4, 0.4);
    ComputeRegions();
    RecordAnchorsOfMovingHands();
    Rearm();
    if (pressState_ > 0) {
        const int press = ContinuePress();
        if (press >= 0) {
            return press;
        }
    }

    const MotionSample& s = Newest();
    const Regions& g = regions_;
    const int r = Body().reference;
    const int u = Body().unit;
    const int left = LeftCode();
    const int right = RightCode();

    if (s.ly > g.lowLine && s.ry > g.lowLine) {
        Arm(kShotRightUp);
        Arm(kShotRightLeft);
        Arm(kShotRightRight);
        Arm(kShotChest);
        return gesNeutral;
    }
    const bool bothAtChest = Between(g.topLine, s.ly, g.chestLine) &&
                             Between(g.topLine, s.ry, g.chestLine) && std::abs(s.ly - s.ry) < 3 * u;
    if (bothAtChest && (left < 0 || right < 0)) {
        holding_ = 0;
        pressState_ = -1;
        pressCount_ = 0;
        Arm(kShotRightUp);
        Arm(kShotRightLeft);
        Arm(kShotRightRight);
        lowHandsCount_ = 0;
        if (Fire(kShotChest)) {
            return gesBothUpChest;
        }
    }
    if (s.ry > g.chestLine && s.ly < g.chestLine && left == kUpward && s.ly < r - 0.2 * u) {
        lowHandsCount_ = 0;
        if (Fire(kShotLeftUp)) {
            return gesLeftUp;
        }
    }
    const int high = TruncatePixels(r - 0.6 * u);
    const bool bothRaised =
        s.ly < g.topLine && s.ry < g.topLine &&
        ((left == kUpward && right == kUpward) ||
         (s.ly < high && s.ry < high && (left == kUpward || right == kUpward) && HandsLevel(s, u)));
    if ((left > 0 || right > 0) && bothRaised && Fire(kShotBothUp)) {
        return gesBothUp;
    }
    // From here on the left hand rests below the chest line and the right hand plays.
    if (s.ly <= g.chestLine) {
        return -1;
    }
    if (Between(g.topLine, s.ry, g.boxBottom) && Between(g.boxMinX, s.rx, g.boxMaxX)) {
        return InHoldBox();
    }
    return OutsideBox();
}

}  // namespace olvar
