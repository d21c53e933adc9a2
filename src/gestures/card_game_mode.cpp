// Mode 11: a card game, pointer with the right hand, swipes and clicks with the left.
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

}  // namespace olvar
