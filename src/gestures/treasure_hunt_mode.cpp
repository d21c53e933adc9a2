// Mode 14: a treasure-hunt game: swipes, body lean and hold, crouching, hands in front.
#include <cstdlib>

#include "gestures/modes.h"

namespace olvar {

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
