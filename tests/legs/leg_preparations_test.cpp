// The leg maps: edge strength, the leg mask, the torso tilt (measured and decaying) and the hip
// placement.
#include <gtest/gtest.h>

#include <cmath>

#include "legs/legs.h"

#include "leg_fixture.h"

namespace olvar {
namespace {

using test_legs::DrawBody;
using test_legs::kH;
using test_legs::kW;
using test_legs::PoseUpright;
using test_legs::StandingLegs;

constexpr double kHalfPi = M_PI / 2;

// A YCrCb image whose luma steps from `left` to `right` between two columns.
cv::Mat LumaStep(int column, int left, int right) {
    cv::Mat ycrcb(kH, kW, CV_8UC3, cv::Scalar(left, 128, 128));
    ycrcb(cv::Rect(column, 0, kW - column, kH)).setTo(cv::Scalar(right, 128, 128));
    return ycrcb;
}

TEST(LegEdgeMap, StrengthIsTheLargerSobelResponseSaturatedWithAZeroBorder) {
    struct Case {
        int left, right;
        int expected;  // strength on both columns beside the step
    } cases[] = {{50, 150, 255}, {150, 50, 255}, {50, 70, 80}, {90, 90, 0}};
    cv::Mat luma, edges;
    for (const Case& c : cases) {
        LegEdgeMap(LumaStep(100, c.left, c.right), luma, edges);
        ASSERT_EQ(edges.size(), cv::Size(kW, kH));
        EXPECT_EQ(edges.at<uint8_t>(70, 99), c.expected) << c.left << " -> " << c.right;
        EXPECT_EQ(edges.at<uint8_t>(70, 100), c.expected);
        EXPECT_EQ(edges.at<uint8_t>(70, 98), 0);
        EXPECT_EQ(edges.at<uint8_t>(70, 101), 0);
        // The step runs through the top and bottom rows too, but the border stays 0.
        EXPECT_EQ(edges.at<uint8_t>(0, 99), 0);
        EXPECT_EQ(edges.at<uint8_t>(kH - 1, 100), 0);
    }
    // A step at the first column lands on the border only.
    LegEdgeMap(LumaStep(1, 0, 200), luma, edges);
    EXPECT_EQ(edges.at<uint8_t>(70, 0), 0);
    EXPECT_EQ(edges.at<uint8_t>(70, 1), 255);
    // No picture, no edges (and no crash).
    LegEdgeMap(cv::Mat(), luma, edges);
    EXPECT_TRUE(edges.empty());
}

TEST(MaskUpperBody, ClearsArmsAndTrunkAndKeepsTheLegs) {
    BodySkeleton skeleton;
    PoseUpright(skeleton, 100, 40, 10);
    cv::Mat mask(kH, kW, CV_8UC1, cv::Scalar(1));
    MaskUpperBody(skeleton, mask);
    struct Probe {
        int x, y;
        int expected;
        const char* what;
    } probes[] = {
        {100, 45, 0, "trunk"},
        {100, 59, 0, "0.4 s below the hip centre"},
        {100, 62, 1, "between the hips, below the trunk box"},
        {108, 46, 0, "image-right upper arm"},
        {92, 46, 0, "image-left upper arm"},
        {108, 70, 1, "image-right forearm (the tilt clears it, not the leg mask)"},
        {105, 90, 1, "image-right leg"},
        {95, 120, 1, "image-left leg"},
        {150, 45, 1, "beside the body"},
    };
    for (const Probe& p : probes) {
        EXPECT_EQ(mask.at<uint8_t>(p.y, p.x), p.expected) << p.what;
    }
}

TEST(PlaceHips, UprightHipsBesideAndBelowTheCentreShiftedWithTheHead) {
    struct Case {
        double headShift;
    } cases[] = {{0}, {3}, {-2.5}};
    for (const Case& c : cases) {
        BodySkeleton skeleton;
        PoseUpright(skeleton, 100, 40, 10);
        skeleton.J(BodySkeleton::kHead).x += c.headShift;
        const double x0 = skeleton.J(BodySkeleton::kHipCentre).x + c.headShift;
        const double y0 = skeleton.J(BodySkeleton::kHipCentre).y;
        PlaceHips(skeleton, -kHalfPi);
        const double L = 0.9 * 10;
        EXPECT_NEAR(skeleton.J(BodySkeleton::kHipCentre).x, x0, 1e-9);
        EXPECT_NEAR(skeleton.J(BodySkeleton::kRightHip).x, x0 + 0.5 * L, 1e-9);
        EXPECT_NEAR(skeleton.J(BodySkeleton::kLeftHip).x, x0 - 0.5 * L, 1e-9);
        EXPECT_NEAR(skeleton.J(BodySkeleton::kRightHip).y, y0 + 0.86 * L, 1e-9);
        EXPECT_NEAR(skeleton.J(BodySkeleton::kLeftHip).y, y0 + 0.86 * L, 1e-9);
    }
}

// A torso 1.8 T wide drawn from the shoulder centre toward a hip `offset` to the side.
cv::Mat TiltedTorso(double x, double y, double T, double offset) {
    cv::Mat mask = cv::Mat::zeros(kH, kW, CV_8UC1);
    const double phi = std::asin(offset / (2.7 * T)) - kHalfPi;
    const cv::Point2d along(std::cos(phi), -std::sin(phi)), across(std::sin(phi), std::cos(phi));
    const cv::Point2d a(x, y), b = a + along * (2.7 * T);
    const cv::Point2d h = across * (0.9 * T);
    std::vector<cv::Point> quad = {a + h, b + h, b - h, a - h};
    cv::fillConvexPoly(mask, quad, cv::Scalar(1));
    return mask;
}

TEST(EstimateTorsoTilt, FollowsATorsoLeaningEitherWayAndStaysUprightForAnUprightOne) {
    const double T = 12;
    struct Case {
        double offset;  // sideways offset of the drawn hip, in T
    } cases[] = {{0.0}, {1.0}, {-1.0}, {0.6}};
    for (const Case& c : cases) {
        BodySkeleton skeleton;
        PoseUpright(skeleton, 100, 30, T);
        LegState legs;
        const double hipX = skeleton.J(BodySkeleton::kHipCentre).x;
        const cv::Mat mask = TiltedTorso(100, 30, T, c.offset * T);
        EstimateTorsoTilt(skeleton, legs, mask, static_cast<int>(T));
        const double expected = std::asin(c.offset / 2.7) - kHalfPi;
        EXPECT_NEAR(legs.tilt, expected, 0.12) << c.offset;
        const double moved = skeleton.J(BodySkeleton::kHipCentre).x - hipX;
        if (c.offset == 0) {
            EXPECT_NEAR(moved, 0, 0.1 * T);
        } else {
            EXPECT_GT(moved * c.offset, 0) << "the hip centre moves toward the lean";
        }
    }
}

TEST(EstimateTorsoTilt, WithNothingToMeasureTheTiltDecaysTowardUpright) {
    const double T = 10;
    const cv::Mat empty = cv::Mat::zeros(kH, kW, CV_8UC1);
    BodySkeleton skeleton;
    PoseUpright(skeleton, 100, 30, T);
    LegState legs;
    legs.tiltValue = 0.2;
    const double hipX = skeleton.J(BodySkeleton::kHipCentre).x;
    EstimateTorsoTilt(skeleton, legs, empty, static_cast<int>(T));
    EXPECT_NEAR(legs.tiltValue, 0.12, 1e-12);
    EXPECT_NEAR(skeleton.J(BodySkeleton::kHipCentre).x - hipX, 1.8 * 0.12 * T, 1e-9);
    EXPECT_NEAR(legs.tilt, std::asin(2.5 * 0.12 / 2.7) - kHalfPi, 1e-6);

    // An upright tilt value leaves everything as it was.
    legs.tiltValue = 0;
    legs.tilt = -1.2;
    const double before = skeleton.J(BodySkeleton::kHipCentre).x;
    EstimateTorsoTilt(skeleton, legs, empty, static_cast<int>(T));
    EXPECT_EQ(legs.tilt, static_cast<double>(static_cast<float>(-1.2)));
    EXPECT_EQ(skeleton.J(BodySkeleton::kHipCentre).x, before);

    // No torso size: nothing to divide by, nothing changes.
    legs.tiltValue = 0.3;
    EstimateTorsoTilt(skeleton, legs, TiltedTorso(100, 30, T, 0), 0);
    EXPECT_EQ(legs.tiltValue, 0.3);
    EXPECT_EQ(skeleton.J(BodySkeleton::kHipCentre).x, before);
}

TEST(EstimateTorsoTilt, ArmsAlongTheBodyDoNotTiltTheTorso) {
    const double T = 12;
    for (int arm = 0; arm < 2; ++arm) {
        BodySkeleton skeleton;
        PoseUpright(skeleton, 100, 30, T);
        // One arm hangs along the torso, wider than the torso box, the other is not drawn: an
        // arm left in the mask would pull the torso toward its side.
        cv::Mat mask = TiltedTorso(100, 30, T, 0);
        const BodySkeleton::ArmParts p = BodySkeleton::Arm(arm);
        auto at = [&](int j) { return cv::Point2d(skeleton.J(j).x, skeleton.J(j).y); };
        test_legs::Limb(mask, at(p.shoulder), at(p.elbow), 0.5 * T);
        test_legs::Limb(mask, at(p.elbow), at(p.hand), 0.4 * T);
        LegState legs;
        EstimateTorsoTilt(skeleton, legs, mask, static_cast<int>(T));
        EXPECT_NEAR(legs.tilt, -kHalfPi, 0.05) << arm;
        // The arm-free mask kept the torso's middle and lost the arm beside it.
        EXPECT_EQ(legs.armFreeMask.at<uint8_t>(50, 100), 1);
        const int outside = TruncToInt(skeleton.J(p.elbow).x + (arm == 0 ? 2.5 : -2.5));
        EXPECT_EQ(legs.armFreeMask.at<uint8_t>(45, outside), 0) << arm;
        EXPECT_EQ(mask.at<uint8_t>(45, outside), 1) << arm;
    }
}

}  // namespace
}  // namespace olvar

namespace olvar {
namespace {

TEST(LegDensity, ABoxWithoutAreaIsEmptyNotNonFinite) {
    const cv::Mat full(test_legs::kH, test_legs::kW, CV_8UC1, cv::Scalar(1));
    const Integral integral = test_legs::IntegralOf(full);
    struct Case {
        double x, y, L, w, theta;
        double expected;
    } cases[] = {
        {50, 50, 0, 10, 0.0, 0.0},    // no length
        {50, 50, 10, 10, 0.0, 1.0},   // an ordinary box over a full mask
        {50, 50, 10, 10, 0.3, 1.0},   // rotated
        {199, 50, 10, 10, 0.0, 0.0},  // at the last column: no columns after the first
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            LegDensity(test_legs::kW, test_legs::kH, c.x, c.y, c.L, c.w, c.theta, integral.data()),
            c.expected)
            << c.L << " " << c.w << " " << c.theta;
    }
}

}  // namespace
}  // namespace olvar
