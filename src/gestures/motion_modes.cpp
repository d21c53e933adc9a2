// The general motion and combined modes 4 to 9.
#include <cstdlib>

#include "gestures/modes.h"

namespace olvar {

int IMode::MiddleBandOpening() const {
    const int r = Body().reference;
    const int u = Body().unit;
    if (BothHandsUp(TruncatePixels(r - 0.5 * u), TruncatePixels(r - 0.6 * u))) {
        return gesBothUp;
    }
    if (Neutral(1.5)) {
        return gesNeutral;
    }
    return -1;
}

int MotionFrameMode::RecognizeFrame() {
    if (!RunPrologue()) {
        return kHistoryTooShort;
    }
    const int opening = Opening();
    if (opening >= 0) {
        return opening;
    }
    const int step = ModeStep();
    if (step >= 0) {
        return step;
    }
    return Closing();
}

// --- Mode 4 ---------------------------------------------------------------------------------

int GestureMotionExtend1::Opening() {
    const int r = Body().reference;
    const int u = Body().unit;
    if (BothHandsUp(TruncatePixels(r - 0.6 * u), r - u)) {
        return gesBothUp;
    }
    if (Neutral(1.8)) {
        return gesNeutral;
    }
    return -1;
}

int GestureMotionExtend1::ModeStep() {
    const int distance = DetectHandsDistance();
    return distance > 0 ? distance : -1;
}

int GestureMotionExtend1::Closing() {
    // An up swipe counts only when the hand ends above the middle between head and neck; a
    // suppressed swipe stays unreported so that the same motion can still count higher up.
    const MotionSample& s = Newest();
    const int mid = FloorDiv(Body().headY + Body().reference, 2);
    SwipeResults swipe = SwipeCandidates();
    if (swipe.left == gesLeftUp && !(s.ly < mid)) {
        swipe.left = -1;
    }
    if (swipe.right == gesRightUp && !(s.ry < mid)) {
        swipe.right = -1;
    }
    if (TakeSwipe(kLeftHand, swipe.left)) {
        return swipe.left;
    }
    if (TakeSwipe(kRightHand, swipe.right)) {
        return swipe.right;
    }
    return IdleReset();
}

// --- Modes 5 to 7 ---------------------------------------------------------------------------

int GestureMotionExtend2::ModeStep() {
    return RelativeHeights(TruncatePixels(Body().reference - 0.5 * Body().unit));
}

int GestureMotionExtend3::ModeStep() {
    return HandsInFront(TruncatePixels(Body().reference - 0.5 * Body().unit));
}

int GestureCombine::ModeStep() {
    const int mouse = MouseStep();
    return mouse > 0 ? mouse : -1;
}

// --- Mode 8 ---------------------------------------------------------------------------------

int GestureCombine1::Opening() {
    const int r = Body().reference;
    const int u = Body().unit;
    if (BothHandsUpWide(TruncatePixels(r - 1.2 * u), TruncatePixels(r - 1.5 * u), false)) {
        return gesBothUp;
    }
    if (Neutral(1.5)) {
        return gesNeutral;
    }
    return -1;
}

int GestureCombine1::ModeStep() {
    const int mouse = MouseStep();
    if (mouse > 0) {
        return mouse;
    }
    return RelativeHeights(TruncatePixels(Body().reference - 1.2 * Body().unit));
}

int GestureCombine1::Closing() {
    const MotionSample& s = Newest();
    if (std::abs(s.ly - s.ry) > 0.5 * Body().unit) {
        return s.ry < s.ly ? gesLeftHigherRightBottom : gesLeftLowerRightBottom;
    }
    return IdleReset();
}

// --- Mode 9 ---------------------------------------------------------------------------------

int GestureCombine2::Opening() {
    const int r = Body().reference;
    const int u = Body().unit;
    if (BothHandsUpWide(TruncatePixels(r - 1.2 * u), TruncatePixels(r - 1.5 * u), true)) {
        return gesBothUp;
    }
    return -1;
}

int GestureCombine2::ModeStep() {
    const int mouse = MouseStep();
    if (mouse > 0) {
        return mouse;
    }
    return HandsInFront(TruncatePixels(Body().reference - 1.2 * Body().unit));
}

int GestureCombine2::Closing() {
    if (std::abs(HeadShift()) > TruncatePixels(0.5 * Body().unit)) {
        return LeanGesture(gesBodyLeft, gesBodyRight);
    }
    return IdleReset();
}

}  // namespace olvar
