// The leg search on drawn bodies: legs apart, together and one leg hidden behind the other;
// refusals for legs out of the picture; the per-user first result.
#include <gtest/gtest.h>

#include <cmath>

#include "legs/legs.h"

#include "leg_fixture.h"

namespace olvar {
namespace {

using test_legs::DrawBody;
using test_legs::DrawnLegs;
using test_legs::IntegralOf;
using test_legs::kH;
using test_legs::kW;
using test_legs::PoseUpright;
using test_legs::StandingLegs;

double Distance(const SkeletonJoint& j, cv::Point2d p) {
    return std::hypot(j.x - p.x, j.y - p.y);
}

TEST(LegSearch, PlacesKneesAndFeetOnDrawnLegs) {
    struct Case {
        double apart;  // feet further out than the hips, in scales
        const char* what;
    } cases[] = {{0.0, "legs straight"}, {0.8, "legs apart"}, {-0.45, "feet together"}};
    const double s = 10;
    for (const Case& c : cases) {
        BodySkeleton skeleton;
        PoseUpright(skeleton, 100, 30, s);
        const DrawnLegs drawn = StandingLegs(skeleton, c.apart, 135);
        const cv::Mat mask = DrawBody(skeleton, drawn);
        LegState legs;
        ASSERT_EQ(LegSearch(skeleton, legs, mask, IntegralOf(mask).data()), 0) << c.what;
        for (int side = 0; side < 2; ++side) {
            EXPECT_LT(Distance(skeleton.J(BodySkeleton::kRightFoot + side), drawn.foot[side]),
                      0.5 * s)
                << c.what << " foot " << side;
            EXPECT_LT(Distance(skeleton.J(BodySkeleton::kRightKnee + side), drawn.knee[side]),
                      0.5 * s)
                << c.what << " knee " << side;
        }
        // The image-right leg is the one further right.
        EXPECT_GT(skeleton.J(BodySkeleton::kRightFoot).x, skeleton.J(BodySkeleton::kLeftFoot).x);
        // The search result is the follow step's reference.
        EXPECT_EQ(legs.previous[4].x, skeleton.J(BodySkeleton::kRightFoot).x);
        EXPECT_NEAR(skeleton.L(BodySkeleton::kRightShin).length,
                    Distance(skeleton.J(BodySkeleton::kRightFoot),
                             {skeleton.J(BodySkeleton::kRightKnee).x,
                              skeleton.J(BodySkeleton::kRightKnee).y}),
                    1e-9);
    }
}

TEST(LegSearch, HandsBesideTheHipsAreNotLegs) {
    const double s = 10;
    BodySkeleton skeleton;
    PoseUpright(skeleton, 100, 30, s);
    const DrawnLegs drawn = StandingLegs(skeleton, -0.4, 135);
    cv::Mat mask = DrawBody(skeleton, drawn);
    // Two hands hanging just below the hips, well outside the legs.
    for (int side = 0; side < 2; ++side) {
        const double x = 100 + (side == 0 ? 1.6 : -1.6) * s;
        cv::rectangle(mask, cv::Point2d(x - 2, 60), cv::Point2d(x + 2, 82), cv::Scalar(1),
                      cv::FILLED);
    }
    LegState legs;
    ASSERT_EQ(LegSearch(skeleton, legs, mask, IntegralOf(mask).data()), 0);
    for (int side = 0; side < 2; ++side) {
        EXPECT_LT(Distance(skeleton.J(BodySkeleton::kRightFoot + side), drawn.foot[side]), 0.5 * s)
            << side;
    }
}

TEST(LegSearch, RefusesLegsThatAreNotInThePicture) {
    const double s = 10;
    struct Case {
        double shoulderRow;
        bool drawLegs;
        double footRow;
        const char* what;
    } cases[] = {
        {30, false, 0, "nothing below the hips"},
        {100, true, 149, "hips close to the bottom row"},
        {150, true, 149, "hips below the bottom row"},
        {60, true, 170, "legs running out of the bottom row"},
    };
    for (const Case& c : cases) {
        BodySkeleton skeleton;
        PoseUpright(skeleton, 100, c.shoulderRow, s);
        cv::Mat mask = cv::Mat::zeros(kH, kW, CV_8UC1);
        if (c.drawLegs) {
            mask = DrawBody(skeleton, StandingLegs(skeleton, 0.3, c.footRow));
        } else {
            cv::rectangle(mask, cv::Point(90, 20), cv::Point(110, 60), cv::Scalar(1), cv::FILLED);
        }
        LegState legs;
        EXPECT_EQ(LegSearch(skeleton, legs, mask, IntegralOf(mask).data()), 10) << c.what;
        EXPECT_FALSE(legs.haveFirstSearch) << c.what;
        // The legs were hung and clamped into the picture whatever happened.
        for (int j = BodySkeleton::kRightKnee; j <= BodySkeleton::kLeftFoot; ++j) {
            EXPECT_LE(skeleton.J(j).y, kH - 1) << c.what;
        }
    }
}

TEST(LegSearch, ALegTooShortTakesTheShapeOfThisUsersFirstSearch) {
    const double s = 10;
    BodySkeleton skeleton;
    PoseUpright(skeleton, 100, 30, s);
    LegState first, second;
    const cv::Mat whole = DrawBody(skeleton, StandingLegs(skeleton, 0.5, 135));
    ASSERT_EQ(LegSearch(skeleton, first, whole, IntegralOf(whole).data()), 0);
    ASSERT_TRUE(first.haveFirstSearch);
    const double footY = skeleton.J(BodySkeleton::kRightFoot).y;

    // Now both legs end a few rows below the hips (the shins hidden behind furniture).
    cv::Mat cut = cv::Mat::zeros(kH, kW, CV_8UC1);
    for (int side = 0; side < 2; ++side) {
        const SkeletonJoint& hip = skeleton.J(BodySkeleton::kRightHip + side);
        const int x = TruncToInt(hip.x), y = TruncToInt(hip.y);
        cv::rectangle(cut, cv::Point(x - 3, y), cv::Point(x + 3, y + 9), cv::Scalar(1), cv::FILLED);
    }
    EXPECT_EQ(LegSearch(skeleton, first, cut, IntegralOf(cut).data()), 0);
    EXPECT_NEAR(skeleton.J(BodySkeleton::kRightFoot).y, footY, 1e-9);
    // Another user has no first result of its own: the same picture finds nothing there.
    EXPECT_EQ(LegSearch(skeleton, second, cut, IntegralOf(cut).data()), 10);
}

TEST(LegSearch, ExtremeSkeletonsStayInsideThePicture) {
    // Scales of 1 and of half the picture, skeletons at every border and below the picture, on
    // a full mask and an empty one: a status, never a read outside the image.
    const cv::Mat full(kH, kW, CV_8UC1, cv::Scalar(1));
    const cv::Mat empty = cv::Mat::zeros(kH, kW, CV_8UC1);
    const double scales[] = {0.5, 1, 5, 75, 1e6};
    const cv::Point2d places[] = {{0, 0},     {199, 10},  {-50, 40},  {260, 60},
                                  {100, 149}, {100, 400}, {100, -300}};
    for (const cv::Mat* mask : {&full, &empty}) {
        const Integral integral = IntegralOf(*mask);
        for (double s : scales) {
            for (const cv::Point2d& p : places) {
                BodySkeleton skeleton;
                PoseUpright(skeleton, p.x, p.y, s);
                LegState legs;
                const int status = LegSearch(skeleton, legs, *mask, integral.data());
                EXPECT_TRUE(status == 0 || status == 10);
                for (int j = BodySkeleton::kRightKnee; j <= BodySkeleton::kLeftFoot; ++j) {
                    EXPECT_TRUE(std::isfinite(skeleton.J(j).x) && std::isfinite(skeleton.J(j).y));
                }
            }
        }
    }
    BodySkeleton skeleton;
    PoseUpright(skeleton, 100, 30, 10);
    LegState legs;
    EXPECT_EQ(LegSearch(skeleton, legs, full, nullptr), 10);
    EXPECT_EQ(LegSearch(skeleton, legs, cv::Mat(), IntegralOf(full).data()), 10);
}

}  // namespace
}  // namespace olvar
