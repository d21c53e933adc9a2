// The application modes 10 to 14: media centre, card game, globe, joystick, treasure hunt.
#include <cstdlib>
#include <optional>

#include "gestures/modes.h"

namespace olvar {
namespace {

// Pointer value of one axis on the card-game grid: the axis value in [-1, 1] is cut to tenths
// and mapped onto a curve that grows faster toward the ends, k -> k (k^2 / 2 + 100) / 100, with
// the tenth kept as a single-precision float on the way.
float PointerValue(float axis) {
    if (!(axis == axis)) {
        axis = 0.0f;
    }
    axis = axis < -1.0f ? -1.0f : (axis > 1.0f ? 1.0f : axis);
    const int tenths = static_cast<int>(10 * axis);
    const float q = static_cast<float>(tenths) / 10;
    const int a = static_cast<int>(10.0 * static_cast<double>(q));
    return static_cast<float>(a * (a * a / 2 + 100) / 100);
}

}  // namespace

// --- Mode 10: media centre ---------------------------------------------------------------------

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

// --- Mode 11: card game ------------------------------------------------------------------------

// The left hand swipes sideways at chest height or down while the right hand is low, or up
// whatever the right hand does.
int GestureSolitaire::CardGameSwipe(int direction) const {
    if (!SwipeTravelCounts(kLeftHand, direction)) {
        return -1;
    }
    const MotionSample& s = Newest();
    const int r = Body().reference;
    const int u = Body().unit;
    if (s.ry > r + 1.5 * u) {
        switch (direction) {
            case kTowardLargerX:
                return Between(r - u, s.ly, r + u) ? gesLeftLeft : -1;
            case kTowardSmallerX:
                return Between(r - u, s.ly, r + u) ? gesLeftRight : -1;
            case kDownward:
                return s.ly > r - 0.1 * u ? gesLeftDown : -1;
            default:
                break;
        }
    }
    if (direction == kUpward && s.ly < r - 0.2 * u) {
        return gesLeftUp;
    }
    return -1;
}

int GestureSolitaire::ReportLeftSwipe(int result) {
    if (!TakeSwipe(kLeftHand, result)) {
        return -1;
    }
    return result == gesLeftUp ? gesMouseClick : result;
}

// The pointer is the right hand's offset from a centre beside the head, in units, one value per
// axis on the card-game grid (-15 .. 15).
void GestureSolitaire::ComputePointer() {
    if (pointerScale_ == 0) {
        // No face size, no scale: the pointer rests at the centre.
        SetCursor(0.0f, 0.0f);
        return;
    }
    const MotionSample& s = Newest();
    const float ux = static_cast<float>(pointerX_ - s.rx) / static_cast<float>(pointerScale_);
    const float uy = static_cast<float>(s.ry - pointerY_) / static_cast<float>(pointerScale_);
    SetCursor(PointerValue(ux), PointerValue(uy));
}

int GestureSolitaire::RecognizeFrame() {
    if (!BeginFrame()) {
        return kHistoryTooShort;
    }
    ComputeDirections(kDefaultKh, kDefaultKv);
    const int r = Body().reference;
    const int u = Body().unit;
    pointerX_ = TruncatePixels(Body().headX - 1.6 * u);
    pointerY_ = TruncatePixels(Body().headY + 0.5 * u);
    pointerScale_ = u;
    onLine_ = TruncatePixels(pointerY_ + 1.0 * u);
    offLine_ = TruncatePixels(pointerY_ + 1.8 * u);
    RecordAnchorsOfMovingHands();
    // The pointer hand shakes: the whole history is smoothed to its mean.
    MutableHistory().ReplaceNewestWithMean();

    const MotionSample& s = Newest();
    // Two separate tests: with a negative unit the lines swap, and a pointer switched off here
    // may switch on again at once.
    if (pointerActive_ != 0 && s.ry > offLine_) {
        pointerActive_ = 0;
    }
    if (pointerActive_ == 0 && s.ry < onLine_) {
        pointerActive_ = 1;
    }
    TrackDirectionChange();

    if (BothHandsUp(r - u, TruncatePixels(r - 1.5 * u))) {
        pointerActive_ = 0;
        return gesBothUp;
    }
    if (Neutral(1.5)) {
        return gesNeutral;
    }
    const int left = LeftCode();
    if (pointerActive_ == 0) {
        return left > 0 ? ReportLeftSwipe(DetectSwipe(kLeftHand, left)) : -1;
    }
    if (left > 0) {
        const int swipe = ReportLeftSwipe(CardGameSwipe(left));
        if (swipe >= 0) {
            return swipe;
        }
    }
    const int leftLow = TruncatePixels(r + 1.5 * u);
    if (s.ly >= leftLow && !(left == kUpward && s.ly > leftLow)) {
        ComputePointer();
        return gesMouseMove;
    }
    return -1;
}

// --- Mode 12: globe ----------------------------------------------------------------------------

int GestureGoogleEarth::RecognizeFrame() {
    if (!RunPrologue()) {
        return kHistoryTooShort;
    }
    const MotionSample& s = Newest();
    const int r = Body().reference;
    const int u = Body().unit;
    if (BothHandsUp(TruncatePixels(r - 0.6 * u), r - u)) {
        return gesBothUp;
    }
    if (Neutral(1.5)) {
        return gesNeutral;
    }
    const int top = r - 2 * u;
    const int bottom = TruncatePixels(r + 1.5 * u);
    if (Between(top, s.ly, bottom) && Between(top, s.ry, bottom)) {
        if (TruncatePixels(1.8 * std::abs(s.ly - s.ry)) < 1.5 * u) {
            return std::abs(s.lx - s.rx) < 4 * u ? gesHandsClose : gesHandsFar;
        }
        return s.ry < s.ly ? gesRightTilt : gesLeftTilt;
    }
    return SwipeStep();
}

// --- Mode 13: joystick -------------------------------------------------------------------------

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

// --- Mode 14: treasure hunt --------------------------------------------------------------------

// A left swipe far out to the side counts only downward, close to the body only the others.
int GestureTreasureHunter::FilterLeftSwipe(int result) const {
    const bool farOut = Newest().lx > Body().headX + 2.3 * Body().unit;
    return (result == gesLeftDown) == farOut ? result : -1;
}

int GestureTreasureHunter::FilterRightSwipe(int result) const {
    const bool farOut = Newest().rx < Body().headX - 2.3 * Body().unit;
    return (result == gesRightDown) == farOut ? result : -1;
}

int GestureTreasureHunter::RecognizeFrame() {
    if (!RunPrologue(0.7, 0.55)) {
        return kHistoryTooShort;
    }
    const MotionSample& s = Newest();
    const int r = Body().reference;
    const int u = Body().unit;
    const int shift = std::abs(HeadShift());
    const int deadZone = TruncatePixels(0.5 * u);

    if (BothHandsUp(TruncatePixels(r - 0.5 * u), TruncatePixels(r - 0.6 * u))) {
        handsInFront_ = 0;
        return gesBothUp;
    }
    if (leaning_ != 0 && shift < deadZone) {
        leaning_ = 0;
        return gesBodyHold;
    }
    if (Neutral(1.8)) {
        handsInFront_ = 0;
        return gesNeutral;
    }
    const int crouchDepth = TruncatePixels(0.45 * u);
    const int headDrop = Body().headY - Body().calibratedHeadY;
    if (crouched_ != 0 && headDrop < crouchDepth) {
        crouched_ = 0;
        return gesCrouchUp;
    }
    if (crouched_ == 0 && headDrop > crouchDepth) {
        handsInFront_ = 0;
        crouched_ = 1;
        return gesCrouch;
    }
    const int frontTop = TruncatePixels(r - 0.5 * u);
    if (handsInFront_ != 0) {
        if (HandsMoving() == 0) {
            handsInFront_ = 0;
            return gesHandsMovingFrontStop;
        }
        const int frontLow = TruncatePixels(r + 1.8 * u);
        if (Between(frontTop, s.ly, frontLow) && Between(frontTop, s.ry, frontLow)) {
            return gesHandsMovingFront;
        }
    }

    const SwipeResults swipe = SwipeCandidates();
    if (TakeSwipe(kLeftHand, swipe.left)) {
        return FilterLeftSwipe(swipe.left);
    }
    if (swipe.right < 0 || IsReported(kRightHand)) {
        if (shift > deadZone && leaning_ == 0) {
            handsInFront_ = 0;
            leaning_ = 1;
            return Body().calibratedHeadX < Body().headX ? gesBodyLeft : gesBodyRight;
        }
        const int frontBottom = r + 2 * u;
        if (Between(frontTop, s.ly, frontBottom) && Between(frontTop, s.ry, frontBottom) &&
            HandsMoving() == 1 && crouched_ == 0) {
            handsInFront_ = 1;
            return gesHandsMovingFront;
        }
        return IdleReset();
    }
    SetReported(kRightHand);
    return FilterRightSwipe(swipe.right);
}

}  // namespace olvar
