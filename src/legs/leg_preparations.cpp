// The maps the leg fit works on, rebuilt every frame: the edge map of the luma channel, the leg
// mask (foreground without arms and trunk), the torso tilt and the hip placement.
#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "legs/legs.h"

namespace olvar {
namespace {

constexpr double kHalfPi = 1.5707963267948966;

using Joint = BodySkeleton::Joint;
using Link = BodySkeleton::Link;

// Clears the box from joint `from` toward joint `to`, as long as the distance between them
// plus `extra`, `width` wide.
void ClearLimb(const BodySkeleton& skeleton, cv::Mat& mask, int from, int to, double width,
               double extra) {
    const SkeletonJoint& a = skeleton.J(from);
    const SkeletonJoint& b = skeleton.J(to);
    const double length = std::hypot(b.x - a.x, b.y - a.y) + extra;
    ClearBox(mask, a.x, a.y, length, width, std::atan2(a.y - b.y, b.x - a.x));
}

void ClearUpperArms(const BodySkeleton& skeleton, cv::Mat& mask) {
    const double width = 1.5 * skeleton.L(Link::kRightUpperArm).width;
    ClearLimb(skeleton, mask, Joint::kRightShoulder, Joint::kRightElbow, width, 0);
    ClearLimb(skeleton, mask, Joint::kLeftShoulder, Joint::kLeftElbow, width, 0);
}

// A hand this close to a border may be a hand cut by the frame edge: its forearm stays.
bool NearBorder(const SkeletonJoint& hand, double margin, int W, int H) {
    return hand.x < margin || hand.y < margin || hand.x > W - 1 - margin || hand.y > H - 1 - margin;
}

// One tilt candidate: the density of the torso box along phi from the shoulder centre, times
// four line probes across its long sides (a third and two thirds down each side, walking from
// outside inward), each rewarding a silhouette edge near the side.
double TiltScore(const BodySkeleton& skeleton, const cv::Mat& mask, const int32_t* integral,
                 double phi, double T) {
    const int W = mask.cols, H = mask.rows;
    const double x1 = skeleton.J(Joint::kShoulderCentre).x;
    const double y1 = skeleton.J(Joint::kShoulderCentre).y;
    const double length = 2.7 * T, halfWidth = 0.9 * T;
    double score = LegDensity(W, H, x1, y1, length, 2 * halfWidth, phi, integral);
    double s = 0, c = 0;
    SinCos(phi, &s, &c);
    const double sigma2 = (0.9 * T) * (0.9 * T);
    for (int side = -1; side <= 1; side += 2) {
        for (int third = 1; third <= 2; ++third) {
            const double along = length * third / 3.0;
            const double mx = x1 + along * c + side * halfWidth * s;
            const double my = y1 - along * s + side * halfWidth * c;
            const double ox = side * halfWidth * s, oy = side * halfWidth * c;
            const double d = LineHitDistance(mask, TruncToInt(mx + ox), TruncToInt(my + oy),
                                             TruncToInt(mx - ox), TruncToInt(my - oy));
            score *= 0.2 + 0.8 * std::exp(-d * d / sigma2);
        }
    }
    return score;
}

struct KeptCandidate {
    double score;
    double offset;
};

// Inserts a candidate into the list of the five best, descending: it enters before the first
// kept one that it strictly exceeds.
void KeepBest(KeptCandidate (&kept)[5], int& count, KeptCandidate candidate) {
    int at = 0;
    while (at < count && !(candidate.score > kept[at].score)) {
        ++at;
    }
    if (at >= 5) {
        return;
    }
    for (int i = std::min(count, 4); i > at; --i) {
        kept[i] = kept[i - 1];
    }
    kept[at] = candidate;
    count = std::min(count + 1, 5);
}

double TiltFromOffset(double offset, double T) {
    return std::asin(std::clamp(offset / (2.7 * T), -1.0, 1.0)) - kHalfPi;
}

}  // namespace

double LegDensity(int W, int H, double x, double y, double L, double w, double theta,
                  const int32_t* integral) {
    const double d = BoxDensity(W, H, x, y, L, w, theta, integral);
    return std::isfinite(d) ? d : 0.0;
}

void LegEdgeMap(const cv::Mat& ycrcb, cv::Mat& luma, cv::Mat& edges) {
    if (ycrcb.empty() || ycrcb.depth() != CV_8U) {
        edges.release();
        return;
    }
    cv::extractChannel(ycrcb, luma, 0);
    edges.create(luma.size(), CV_8UC1);
    edges.setTo(0);
    const int W = luma.cols, H = luma.rows;
    for (int y = 1; y < H - 1; ++y) {
        const uint8_t* up = luma.ptr<uint8_t>(y - 1);
        const uint8_t* row = luma.ptr<uint8_t>(y);
        const uint8_t* down = luma.ptr<uint8_t>(y + 1);
        uint8_t* out = edges.ptr<uint8_t>(y);
        for (int x = 1; x < W - 1; ++x) {
            const int vertical =
                (down[x - 1] + 2 * down[x] + down[x + 1]) - (up[x - 1] + 2 * up[x] + up[x + 1]);
            const int horizontal = (up[x + 1] + 2 * row[x + 1] + down[x + 1]) -
                                   (up[x - 1] + 2 * row[x - 1] + down[x - 1]);
            const int strength = std::max(std::abs(vertical), std::abs(horizontal));
            out[x] = static_cast<uint8_t>(std::min(strength, 255));
        }
    }
}

void MaskUpperBody(const BodySkeleton& skeleton, cv::Mat& mask) {
    ClearUpperArms(skeleton, mask);
    const double s = skeleton.bodyScale;
    ClearLimb(skeleton, mask, Joint::kNeckTop, Joint::kHipCentre, 2 * s, 0.4 * s);
}

void EstimateTorsoTilt(BodySkeleton& skeleton, LegState& legs, const cv::Mat& foreground,
                       int torsoSize) {
    if (torsoSize <= 0 || foreground.empty()) {
        return;
    }
    const int W = foreground.cols, H = foreground.rows;
    foreground.copyTo(legs.armFreeMask);
    ClearUpperArms(skeleton, legs.armFreeMask);
    const double width = 1.5 * skeleton.L(Link::kRightUpperArm).width;
    const double margin = 3 * skeleton.L(Link::kRightUpperArm).width;
    if (!NearBorder(skeleton.J(Joint::kRightHand), margin, W, H)) {
        ClearLimb(skeleton, legs.armFreeMask, Joint::kRightElbow, Joint::kRightHand, width, width);
    }
    if (!NearBorder(skeleton.J(Joint::kLeftHand), margin, W, H)) {
        ClearLimb(skeleton, legs.armFreeMask, Joint::kLeftElbow, Joint::kLeftHand, width, width);
    }
    BuildIntegral(legs.armFreeIntegral, legs.armFreeMask);
    const int32_t* integral = legs.armFreeIntegral.data();

    // a. 25 torso directions from the shoulder centre, the five best kept.
    const double T = torsoSize;
    KeptCandidate kept[5];
    int count = 0;
    for (int n = -12; n <= 12; ++n) {
        const double offset = n * 0.2 * T;
        const double phi = TiltFromOffset(offset, T);
        KeepBest(kept, count, {TiltScore(skeleton, legs.armFreeMask, integral, phi, T), offset});
    }
    double total = 0, weighted = 0;
    for (int i = 0; i < count; ++i) {
        total += kept[i].score;
        weighted += kept[i].score * kept[i].offset;
    }

    SkeletonJoint& hip = skeleton.J(Joint::kHipCentre);
    const SkeletonJoint& shoulder = skeleton.J(Joint::kShoulderCentre);
    double tilt = legs.tilt;
    if (total > 0.000001) {
        // b. The line through the shoulder centre and the hip centre moved by the mean
        // offset; its slope (x per row) is the new tilt value, smoothed with the previous one.
        const double l = weighted / total;
        const double lShift = l * 1.8 / 2.5;
        const double rows = hip.y - shoulder.y;
        const double slope = rows != 0 ? (hip.x + lShift - shoulder.x) / rows : 0.0;
        const double p = legs.tiltValue != 0 ? 0.5 * legs.tiltValue + 0.5 * slope : slope;
        legs.tiltValue = p;
        double shift = lShift, offset = l;
        if (std::fabs(p) < 0.5) {
            shift = p * rows;
            offset = shift * 2.5 / 1.8;
        }
        hip.x += shift;
        tilt = TiltFromOffset(offset, T);
    } else if (std::fabs(legs.tiltValue) > 0.000001) {
        // c. Nothing to measure: the tilt decays toward upright.
        legs.tiltValue *= 0.6;
        hip.x += 1.8 * legs.tiltValue * T;
        tilt = TiltFromOffset(2.5 * legs.tiltValue * T, T);
    }
    legs.tilt = static_cast<double>(static_cast<float>(tilt));
}

void PlaceHips(BodySkeleton& skeleton, double tilt) {
    SkeletonJoint& centre = skeleton.J(Joint::kHipCentre);
    centre.x += skeleton.J(Joint::kHead).x - skeleton.J(Joint::kNeckTop).x;
    const double L = skeleton.L(Link::kRightPelvis).nominalLength;
    double n = 0, c = 0;
    SinCos(tilt, &n, &c);
    const double x0 = centre.x, y0 = centre.y;
    SkeletonJoint& right = skeleton.J(Joint::kRightHip);
    SkeletonJoint& left = skeleton.J(Joint::kLeftHip);
    right.x = x0 + 0.86 * L * c - 0.5 * L * n;
    right.y = y0 - 0.86 * L * n - 0.86 * L * c;
    left.x = x0 + 0.86 * L * c + 0.5 * L * n;
    left.y = y0 - 0.86 * L * n + 0.86 * L * c;
}

}  // namespace olvar
