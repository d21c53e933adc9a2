// Body height estimate from the head top above the neck, calibrated against the hands while the
// arms hang straight down. Its memory is process-wide: both users and every tracker share it.
#include <algorithm>
#include <cmath>
#include <mutex>

#include "users/per_user_state.h"

namespace olvar {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kInitialScale = 6.4444444444444455;

struct HeightMemory {
    double estimate = 130;  // c
    double value = 130;     // v
    double history[5] = {130, 130, 130, 130, 130};
    double referenceRow = 0;  // r, from the first call
    bool referenceSet = false;
    double scale = kInitialScale;  // k
    int calls = 0;
};

std::mutex gHeightMutex;
HeightMemory gHeight;

// The first row above the neck top whose foreground count over a narrow column band drops below
// the band's width, or -1 when the search runs off the top.
int HeadTopAbove(const int32_t* integral, int W, int H, double x2, double y2, int torsoSize) {
    const int a = TruncToInt(x2);
    const int b = TruncToInt(0.2 * torsoSize + 0.5);
    const int left = std::max(0, a - b), right = std::min(a + b, W - 2);
    int i = TruncToInt(y2);
    if (i < 2 || i > H - 1) {
        return -1;
    }
    while (ClampedCornerSum(integral, W, H, left, i - 1, right, i) >= b) {
        --i;
        if (i <= 1) {
            return -1;
        }
    }
    return i;
}

bool ArmHangsStraight(const BodySkeleton& skeleton, int upper, int fore) {
    const double deviation = std::fabs(std::fabs(skeleton.L(upper).angle) - kPi / 2) +
                             std::fabs(std::fabs(skeleton.L(fore).angle) - kPi / 2);
    return deviation < 0.3141592653589793;
}

// Keeps the five-value history and returns the entry closest to the mean of the old window with
// the new value.
double FilterHistory(HeightMemory& m, double v) {
    const double o0 = m.history[0];
    for (int k = 0; k < 4; ++k) {
        m.history[k] = m.history[k + 1];
    }
    m.history[4] = v;
    const double mean = (o0 + m.history[0] + m.history[1] + m.history[2] + v) / 5;
    int pick = 0;
    double best = std::fabs(m.history[0] - mean);
    int start = 1;
    if (!(best < 10000)) {
        pick = 4;
        best = 10000;
        start = 0;
    }
    for (int k = start; k < 5; ++k) {
        const double distance = std::fabs(m.history[k] - mean);
        if (distance < best) {
            best = distance;
            pick = k;
        }
    }
    return m.history[pick];
}

}  // namespace

int PerUserState::EstimateHeight(const int32_t* foregroundIntegral) {
    UserTracker& u = Current();
    if (!u.handsReady) {
        return kOlvarNothing;
    }
    const SkeletonJoint& neck = u.skeleton.J(BodySkeleton::kNeckTop);
    int top = HeadTopAbove(foregroundIntegral, width, height, neck.x, neck.y, u.torsoSize);
    if (top < 0) {
        top = std::max(0, TruncToInt(u.faceY - u.faceSize * 0.5 + 0.5));
    }

    std::lock_guard<std::mutex> lock(gHeightMutex);
    HeightMemory& m = gHeight;
    if (!m.referenceSet) {
        m.referenceRow = neck.y;
        m.referenceSet = true;
    }
    m.referenceRow = (m.referenceRow + neck.y) / 2;
    double g;
    if (std::fabs(neck.y - m.referenceRow) > 0.2 * u.torsoSize) {
        g = m.value;  // the body is moving: keep the last value
    } else {
        m.value = (top * m.scale + 130) * 0.8 + 0.2 * m.estimate;
        g = FilterHistory(m, m.value);
        m.value = m.estimate = g;
        const bool armsDown =
            ArmHangsStraight(u.skeleton, BodySkeleton::kRightUpperArm,
                             BodySkeleton::kRightForearm) &&
            ArmHangsStraight(u.skeleton, BodySkeleton::kLeftUpperArm, BodySkeleton::kLeftForearm);
        const double handRow = (u.handY[0] + u.handY[1]) / 2;
        // Hands on the head top's row would divide by zero: no calibration from them.
        if (armsDown && u.handY[0] > neck.y + u.torsoSize / 2 &&
            std::fabs(u.handY[0] - u.handY[1]) < 0.2 * u.torsoSize && handRow != top) {
            m.scale = (150.82758620689654 - g * 14.482758620689653 / 100 - top) / (handRow - top) *
                      kInitialScale;
        }
    }
    if (m.calls < 5) {
        ++m.calls;
        u.heightEstimate = -1;
        return kOlvarNothing;
    }
    u.heightEstimate = g;
    return kOlvarOk;
}

}  // namespace olvar
