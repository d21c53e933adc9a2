// Mode 12: a globe viewer steered by both hands' posture at chest height.
#include <cstdlib>

#include "gestures/modes.h"

namespace olvar {

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

}  // namespace olvar
