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

int GestureMotionExtend1::RecognizeFrame() {
    if (!RunPrologue()) {
        return kHistoryTooShort;
    }
    const int r = Body().reference;
    const int u = Body().unit;
    const MotionSample& s = Newest();
    if (BothHandsUp(TruncatePixels(r - 0.6 * u), r - u)) {
        return gesBothUp;
    }
    if (Neutral(1.8)) {
        return gesNeutral;
    }
    const int distance = DetectHandsDistance();
    if (distance > 0) {
        return distance;
    }
    // An up swipe counts only when the hand ends above the middle between head and neck; a
    // suppressed swipe stays unreported so that the same motion can still count higher up.
    const int mid = FloorDiv(Body().headY + r, 2);
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

int GestureMotionExtend2::RecognizeFrame() {
    if (!RunPrologue()) {
        return kHistoryTooShort;
    }
    const int opening = MiddleBandOpening();
    if (opening >= 0) {
        return opening;
    }
    const int r = Body().reference;
    const int u = Body().unit;
    const int heights = RelativeHeights(TruncatePixels(r - 0.5 * u));
    if (heights >= 0) {
        return heights;
    }
    return SwipeStep();
}

int GestureMotionExtend3::RecognizeFrame() {
    if (!RunPrologue()) {
        return kHistoryTooShort;
    }
    const int opening = MiddleBandOpening();
    if (opening >= 0) {
        return opening;
    }
    const int r = Body().reference;
    const int u = Body().unit;
    const int inFront = HandsInFront(TruncatePixels(r - 0.5 * u));
    if (inFront >= 0) {
        return inFront;
    }
    return SwipeStep();
}

int GestureCombine::RecognizeFrame() {
    if (!RunPrologue()) {
        return kHistoryTooShort;
    }
    const int opening = MiddleBandOpening();
    if (opening >= 0) {
        return opening;
    }
    const int mouse = MouseStep();
    if (mouse > 0) {
        return mouse;
    }
    return SwipeStep();
}

int GestureCombine1::RecognizeFrame() {
    if (!RunPrologue()) {
        return kHistoryTooShort;
    }
    const int r = Body().reference;
    const int u = Body().unit;
    const MotionSample& s = Newest();
    if (BothHandsUpWide(TruncatePixels(r - 1.2 * u), TruncatePixels(r - 1.5 * u), false)) {
        return gesBothUp;
    }
    if (Neutral(1.5)) {
        return gesNeutral;
    }
    const int mouse = MouseStep();
    if (mouse > 0) {
        return mouse;
    }
    const int heights = RelativeHeights(TruncatePixels(r - 1.2 * u));
    if (heights >= 0) {
        return heights;
    }
    if (std::abs(s.ly - s.ry) > 0.5 * u) {
        return s.ry < s.ly ? gesLeftHigherRightBottom : gesLeftLowerRightBottom;
    }
    return IdleReset();
}

int GestureCombine2::RecognizeFrame() {
    if (!RunPrologue()) {
        return kHistoryTooShort;
    }
    const int r = Body().reference;
    const int u = Body().unit;
    if (BothHandsUpWide(TruncatePixels(r - 1.2 * u), TruncatePixels(r - 1.5 * u), true)) {
        return gesBothUp;
    }
    const int mouse = MouseStep();
    if (mouse > 0) {
        return mouse;
    }
    const int inFront = HandsInFront(TruncatePixels(r - 1.2 * u));
    if (inFront >= 0) {
        return inFront;
    }
    if (std::abs(HeadShift()) > TruncatePixels(0.5 * u)) {
        return LeanGesture(gesBodyLeft, gesBodyRight);
    }
    return IdleReset();
}

}  // namespace olvar
