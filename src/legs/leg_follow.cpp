// The leg follow step: the legs of the last frame rescaled and clamped to the picture, the
// lower joints tested, the fit, the foot refinement, static limbs put back and the pose stored.
#include <algorithm>
#include <cmath>

#include "legs/legs.h"

namespace olvar {
namespace {

using Joint = BodySkeleton::Joint;
using Link = BodySkeleton::Link;

constexpr int kLost = 10;

// Joint 0 and every leg joint below the bottom row come up to it; a clamped hip takes its knee
// and foot along, a clamped knee its foot.
void ClampToBottomRow(BodySkeleton& skeleton, int H) {
    const double bottom = H - 1;
    SkeletonJoint& centre = skeleton.J(Joint::kHipCentre);
    centre.y = std::min(centre.y, bottom);
    for (int side = 0; side < 2; ++side) {
        SkeletonJoint& hip = skeleton.J(Joint::kRightHip + side);
        SkeletonJoint& knee = skeleton.J(Joint::kRightKnee + side);
        SkeletonJoint& foot = skeleton.J(Joint::kRightFoot + side);
        if (!(hip.y <= bottom)) {
            hip.y = knee.y = foot.y = bottom;
        }
        if (!(knee.y <= bottom)) {
            knee.y = foot.y = bottom;
        }
        foot.y = std::min(foot.y, bottom);
    }
}

// The link ending at a knee or foot joint.
int LinkTo(int joint) {
    return joint - Joint::kRightKnee + Link::kRightThigh;
}

// Leg side of a knee or foot: 0 image-right, 1 image-left.
int SideOf(int joint) {
    return (joint - Joint::kRightKnee) % 2;
}

}  // namespace

int CheckLegJoint(const BodySkeleton& skeleton, int joint, const LegMaps& maps) {
    if (maps.legIntegral == nullptr || maps.changedIntegral == nullptr || maps.W <= 0 ||
        maps.H <= 0 || joint < Joint::kRightKnee || joint > Joint::kLeftFoot) {
        return -1;
    }
    const bool isFoot = joint >= Joint::kRightFoot;
    const int side = SideOf(joint);
    const SkeletonLink& link = skeleton.L(LinkTo(joint));
    const double length = std::max(1.0, link.nominalLength);
    const double w = std::max(1.0, link.width);
    const SkeletonJoint& j = skeleton.J(joint);
    const SkeletonJoint& hip = skeleton.J(Joint::kRightHip + side);
    const SkeletonJoint& other = skeleton.J(side == 0 ? joint + 1 : joint - 1);
    const double m = 0.5 * (skeleton.J(Joint::kRightHip).x + skeleton.J(Joint::kLeftHip).x);

    if (std::fabs(j.x - other.x) < 0.6 * w || j.y - hip.y < w) {
        return 0;
    }
    const bool wrongSide = side == 0 ? (j.x < m + 0.3 * w || j.x > hip.x + 3.5 * w)
                                     : (j.x > m - 0.3 * w || j.x < hip.x - 3.5 * w);
    if (wrongSide) {
        return 0;
    }
    if (isFoot && j.y < skeleton.J(joint - 2).y + w) {
        return 0;
    }
    if (LegDensity(maps.W, maps.H, j.x, j.y, w, w, link.angle, maps.legIntegral) < 0.2) {
        return 0;
    }
    const double d = LegDensity(maps.W, maps.H, j.x, j.y, w, w, link.angle, maps.changedIntegral);
    if (d * length * w < 25) {
        return 1;
    }
    return d < 0.03 ? 2 : 0;
}

void RefineFoot(BodySkeleton& skeleton, const LegState& legs, const LegMaps& maps, int side) {
    if (!maps.Complete()) {
        return;
    }
    const int W = maps.W, H = maps.H;
    SkeletonJoint& foot = skeleton.J(Joint::kRightFoot + side);
    const SkeletonJoint& hip = skeleton.J(Joint::kRightHip + side);
    const double w = std::max(1.0, skeleton.L(Link::kRightThigh + side).width);
    const int r = TruncToInt(0.5 * w + 0.5);
    const int x = TruncToInt(foot.x), y = TruncToInt(foot.y);
    const int changed =
        ClampedCornerSum(maps.changedIntegral, W, H, std::max(0, x - r), std::max(0, y - r),
                         std::min(W - 1, x + r), std::min(H - 1, y + r));
    const double d = changed / (w * w);
    const double fromCentre = std::fabs(foot.x - skeleton.J(Joint::kHipCentre).x);
    const int moved = std::abs(legs.displacement[2 * side]);
    const bool search =
        (moved < w && fromCentre < 4 * w && d > 0.3) || (fromCentre < w && d > 0.15);
    if (!search) {
        return;
    }
    // The foot is where its leg ends: the lowest point of the window that the leg mask fills
    // around it, at the fullest column of that row.
    const int reach = TruncToInt(0.4 * skeleton.bodyScale);
    const int x0 = std::max(2, x - reach), x1 = std::min(W - 3, x + reach);
    const int y0 = std::max(2, y - reach), y1 = std::min(H - 3, y + reach);
    const int box = std::max(1, r);
    for (int row = y1; row >= y0; --row) {
        double best = 0.5;
        int bestX = -1;
        for (int col = x0; col <= x1; ++col) {
            const double density =
                LegDensity(W, H, col - box, row, 2 * box, 2 * box, 0.0, maps.legIntegral);
            if (density > best) {
                best = density;
                bestX = col;
            }
        }
        if (bestX >= 0) {
            foot.x = bestX;
            foot.y = row;
            break;
        }
    }
    SkeletonJoint& knee = skeleton.J(Joint::kRightKnee + side);
    knee.x = 0.6 * hip.x + 0.4 * foot.x;
    knee.y = 0.6 * hip.y + 0.4 * foot.y;
}

int LegFollow(BodySkeleton& skeleton, LegState& legs, const LegMaps& maps) {
    if (!maps.Complete() || !(skeleton.bodyScale > 0)) {
        legs.ClearResult();
        return kLost;
    }
    const int H = maps.H;
    const double s = skeleton.bodyScale;
    skeleton.UpdateLegs(true);
    ClampToBottomRow(skeleton, H);
    if (H - 1 - 2.2 * s < skeleton.J(Joint::kRightHip).y ||
        H - 1 - 2.2 * s < skeleton.J(Joint::kLeftHip).y) {
        return kLost;
    }
    int tests[4];
    for (int k = 0; k < 4; ++k) {
        tests[k] = CheckLegJoint(skeleton, Joint::kRightKnee + k, maps);
    }
    const int fitted = FitLegs(skeleton, legs, maps);
    if (fitted != 0) {
        return fitted;
    }
    RefineFoot(skeleton, legs, maps, 0);
    RefineFoot(skeleton, legs, maps, 1);
    // Static limbs do not move.
    for (int k = 0; k < 4; ++k) {
        if (tests[k] == 1 || tests[k] == 2) {
            const cv::Point2d& back = legs.previous[2 + k];
            skeleton.J(Joint::kRightKnee + k).x = back.x;
            skeleton.J(Joint::kRightKnee + k).y = back.y;
        }
    }
    StoreLegPose(skeleton, legs);
    return 0;
}

}  // namespace olvar
