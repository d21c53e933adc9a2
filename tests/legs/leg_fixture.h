// Hand-made whole-body masks at the working size for the leg tests: a skeleton posed upright at
// a shoulder centre and scale, and a silhouette drawn along its links with the legs where the
// test puts them.
#ifndef OLVAR_TESTS_LEGS_LEG_FIXTURE_H
#define OLVAR_TESTS_LEGS_LEG_FIXTURE_H

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "body/skeleton.h"
#include "imaging/integral.h"
#include "imaging/integral_of.h"

namespace olvar::test_legs {

constexpr int kW = 200, kH = 150;

using test_imaging::IntegralOf;

// Upright skeleton: shoulder centre (x, y), scale s, the head above the neck, arms and legs
// hanging.
inline void PoseUpright(BodySkeleton& skeleton, double x, double y, double s) {
    skeleton.SetSkeletonScale(s);
    skeleton.J(BodySkeleton::kShoulderCentre).x = x;
    skeleton.J(BodySkeleton::kShoulderCentre).y = y;
    skeleton.J(BodySkeleton::kHead).x = x;
    skeleton.J(BodySkeleton::kHead).y = y - 1.1 * s;
    skeleton.ResetSkeletonPose();
}

inline void Limb(cv::Mat& mask, cv::Point2d a, cv::Point2d b, double width) {
    cv::line(mask, a, b, cv::Scalar(1), std::max(1, static_cast<int>(width + 0.5)), cv::LINE_8);
}

// Where the drawn legs are: knee and foot per side (0 image-right), working pixels.
struct DrawnLegs {
    cv::Point2d knee[2];
    cv::Point2d foot[2];
};

// Legs hanging from the skeleton's hips, the feet `apart` scales further out than the hips, the
// foot at `footRow`.
inline DrawnLegs StandingLegs(const BodySkeleton& skeleton, double apart, double footRow) {
    DrawnLegs legs;
    const double s = skeleton.bodyScale;
    for (int side = 0; side < 2; ++side) {
        const SkeletonJoint& hip = skeleton.J(BodySkeleton::kRightHip + side);
        const double out = side == 0 ? 1.0 : -1.0;
        legs.foot[side] = {hip.x + out * apart * s, footRow};
        legs.knee[side] = {(hip.x + legs.foot[side].x) / 2, (hip.y + footRow) / 2};
    }
    return legs;
}

// Head, trunk, hanging arms and the given legs; trousers 0.6 s wide.
inline cv::Mat DrawBody(const BodySkeleton& skeleton, const DrawnLegs& legs) {
    cv::Mat mask = cv::Mat::zeros(kH, kW, CV_8UC1);
    const double s = skeleton.bodyScale;
    auto at = [&](int j) { return cv::Point2d(skeleton.J(j).x, skeleton.J(j).y); };
    cv::circle(mask, at(BodySkeleton::kHead), static_cast<int>(0.5 * s), cv::Scalar(1), cv::FILLED);
    Limb(mask, at(BodySkeleton::kNeckTop), at(BodySkeleton::kHipCentre) + cv::Point2d(0, 0.9 * s),
         1.8 * s);
    for (int arm = 0; arm < 2; ++arm) {
        const BodySkeleton::ArmParts p = BodySkeleton::Arm(arm);
        Limb(mask, at(p.shoulder), at(p.elbow), 0.4 * s);
        Limb(mask, at(p.elbow), at(p.hand), 0.3 * s);
    }
    for (int side = 0; side < 2; ++side) {
        Limb(mask, at(BodySkeleton::kRightHip + side), legs.knee[side], 0.6 * s);
        Limb(mask, legs.knee[side], legs.foot[side], 0.6 * s);
    }
    return mask;
}

}  // namespace olvar::test_legs

#endif  // OLVAR_TESTS_LEGS_LEG_FIXTURE_H
