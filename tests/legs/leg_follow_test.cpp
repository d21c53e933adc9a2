// The follow step: the joint test, the candidate and pair limits, static limbs kept, the fit
// following drawn legs, and skeletons at the edges of the picture.
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

// The maps of one frame: a leg mask, a changed-colour mask, no edges, a grey picture.
struct Maps {
    cv::Mat colour = cv::Mat(kH, kW, CV_8UC3, cv::Scalar(90, 90, 90));
    cv::Mat legMask;
    cv::Mat changed;
    cv::Mat edges = cv::Mat::zeros(kH, kW, CV_8UC1);
    Integral legIntegral, changedIntegral, edgeIntegral;

    Maps(const cv::Mat& leg, const cv::Mat& change) : legMask(leg), changed(change) {
        legIntegral = IntegralOf(legMask);
        changedIntegral = IntegralOf(changed);
        edgeIntegral = IntegralOf(edges);
    }
    LegMaps View() const {
        LegMaps m;
        m.W = kW;
        m.H = kH;
        m.colour = &colour;
        m.legMask = &legMask;
        m.motion = &changed;
        m.edgeMask = &edges;
        m.legIntegral = legIntegral.data();
        m.changedIntegral = changedIntegral.data();
        m.edgeIntegral = edgeIntegral.data();
        return m;
    }
};

// Legs as long as the skeleton's: hips at row 53.7, thigh and shin 1.7 scales each.
constexpr double kFootRow = 88;

// A skeleton at scale 10 with its legs found on the drawn body, and the state of that search.
struct Found {
    BodySkeleton skeleton;
    LegState legs;
    cv::Mat mask;
    DrawnLegs drawn;

    explicit Found(double apart) {
        PoseUpright(skeleton, 100, 30, 10);
        drawn = StandingLegs(skeleton, apart, kFootRow);
        mask = DrawBody(skeleton, drawn);
        EXPECT_EQ(LegSearch(skeleton, legs, mask, IntegralOf(mask).data()), 0);
    }
};

TEST(CheckLegJoint, PlausibilityAndStillnessOfKneesAndFeet) {
    Found f(0.6);
    const cv::Mat none = cv::Mat::zeros(kH, kW, CV_8UC1);
    const cv::Mat all(kH, kW, CV_8UC1, cv::Scalar(1));
    cv::Mat legMask = f.mask.clone();
    MaskUpperBody(f.skeleton, legMask);
    const Maps still(legMask, none), moving(legMask, all), empty(none, none);
    const double w = f.skeleton.L(BodySkeleton::kRightThigh).width;
    struct Case {
        int joint;
        double dx, dy;  // moved from where the search put it
        const Maps* maps;
        int expected;
        const char* what;
    } cases[] = {
        {12, 0, 0, &still, 1, "knee on the leg, nothing changed: static"},
        {14, 0, 0, &still, 1, "foot on the leg, nothing changed: static"},
        {15, 0, 0, &moving, 0, "foot on the leg, everything changed: moving"},
        {13, 0, 0, &empty, 0, "knee off the leg mask"},
        {12, 0, -100, &still, 0, "knee above its hip"},
        {14, -40, 0, &still, 0, "image-right foot on the image-left side"},
    };
    for (const Case& c : cases) {
        SkeletonJoint& j = f.skeleton.J(c.joint);
        const SkeletonJoint saved = j;
        j.x += c.dx;
        j.y += c.dy;
        EXPECT_EQ(CheckLegJoint(f.skeleton, c.joint, c.maps->View()), c.expected) << c.what;
        j.x = saved.x;
        j.y = saved.y;
    }
    // A knee half a link width from the other knee is implausible whatever the masks say.
    SkeletonJoint& right = f.skeleton.J(BodySkeleton::kRightKnee);
    right.x = f.skeleton.J(BodySkeleton::kLeftKnee).x + 0.5 * w;
    EXPECT_EQ(CheckLegJoint(f.skeleton, BodySkeleton::kRightKnee, still.View()), 0);
    // Missing maps, or not a knee or foot.
    EXPECT_EQ(CheckLegJoint(f.skeleton, BodySkeleton::kLeftFoot, LegMaps()), -1);
    EXPECT_EQ(CheckLegJoint(f.skeleton, BodySkeleton::kRightHip, still.View()), -1);
}

TEST(LegFollow, FollowsDrawnLegsAndKeepsStaticLimbsInPlace) {
    Found f(0.6);
    cv::Mat legMask = f.mask.clone();
    MaskUpperBody(f.skeleton, legMask);
    // Nothing changed: every limb is static and keeps last frame's place exactly.
    const Maps still(legMask, cv::Mat::zeros(kH, kW, CV_8UC1));
    const cv::Point2d before[2] = {f.legs.previous[4], f.legs.previous[5]};
    ASSERT_EQ(LegFollow(f.skeleton, f.legs, still.View()), 0);
    EXPECT_EQ(f.skeleton.J(BodySkeleton::kRightFoot).x, before[0].x);
    EXPECT_EQ(f.skeleton.J(BodySkeleton::kLeftFoot).y, before[1].y);
    EXPECT_TRUE(f.legs.fitValid);
    EXPECT_LE(f.legs.candidates.size(), static_cast<size_t>(LegState::kMaxCandidates));
    EXPECT_LE(f.legs.pairs.size(), static_cast<size_t>(LegState::kMaxPairs));
    for (size_t i = 1; i < f.legs.pairs.size(); ++i) {
        EXPECT_GE(f.legs.pairs[i - 1].weight, f.legs.pairs[i].weight);
    }

    // The feet step apart and everything moves: the fit follows them.
    const DrawnLegs wider = StandingLegs(f.skeleton, 1.0, kFootRow);
    const cv::Mat moved = DrawBody(f.skeleton, wider);
    cv::Mat movedLegs = moved.clone();
    MaskUpperBody(f.skeleton, movedLegs);
    cv::Mat changed;
    cv::bitwise_xor(moved, f.mask, changed);
    cv::dilate(changed, changed, cv::Mat(), cv::Point(-1, -1), 3);
    const Maps stepping(movedLegs, changed);
    for (int frame = 0; frame < 4; ++frame) {
        ASSERT_EQ(LegFollow(f.skeleton, f.legs, stepping.View()), 0) << frame;
    }
    for (int side = 0; side < 2; ++side) {
        const SkeletonJoint& foot = f.skeleton.J(BodySkeleton::kRightFoot + side);
        EXPECT_LT(std::hypot(foot.x - wider.foot[side].x, foot.y - wider.foot[side].y), 5.0)
            << side;
    }
}

TEST(FitLegs, KneesComeToTheMiddleOfStraightLegs) {
    // A straight leg fills the mask evenly from hip to foot, and its top is the fullest part;
    // the fit must still bring knees that start just below the hips half way down the leg
    // (thigh and shin equally long) and keep the feet at the legs' ends.
    for (const double apart : {0.0, 0.6}) {
        SCOPED_TRACE(apart);
        Found f(apart);
        cv::Mat legMask = f.mask.clone();
        MaskUpperBody(f.skeleton, legMask);
        const Maps maps(legMask, cv::Mat::zeros(kH, kW, CV_8UC1));
        const double s = f.skeleton.bodyScale;
        for (int side = 0; side < 2; ++side) {
            const SkeletonJoint& hip = f.skeleton.J(BodySkeleton::kRightHip + side);
            SkeletonJoint& knee = f.skeleton.J(BodySkeleton::kRightKnee + side);
            SkeletonJoint& foot = f.skeleton.J(BodySkeleton::kRightFoot + side);
            knee.x = hip.x + 0.1 * (f.drawn.knee[side].x - hip.x);
            knee.y = hip.y + 0.9 * s;
            foot.x = f.drawn.foot[side].x;
            foot.y = f.drawn.foot[side].y;
        }
        StoreLegPose(f.skeleton, f.legs);
        for (int frame = 0; frame < 3; ++frame) {
            ASSERT_EQ(FitLegs(f.skeleton, f.legs, maps.View()), 0) << frame;
            StoreLegPose(f.skeleton, f.legs);
        }
        for (int side = 0; side < 2; ++side) {
            const SkeletonJoint& knee = f.skeleton.J(BodySkeleton::kRightKnee + side);
            const SkeletonJoint& foot = f.skeleton.J(BodySkeleton::kRightFoot + side);
            EXPECT_LT(std::hypot(knee.x - f.drawn.knee[side].x, knee.y - f.drawn.knee[side].y),
                      0.5 * s)
                << "knee " << side << " at " << knee.x << ", " << knee.y;
            EXPECT_LT(std::hypot(foot.x - f.drawn.foot[side].x, foot.y - f.drawn.foot[side].y),
                      0.5 * s)
                << "foot " << side << " at " << foot.x << ", " << foot.y;
        }
    }
}

TEST(LegFollow, LegsOutOfTheFrameOrNoLegsAreLost) {
    Found f(0.3);
    cv::Mat legMask = f.mask.clone();
    MaskUpperBody(f.skeleton, legMask);
    const Maps maps(legMask, cv::Mat::zeros(kH, kW, CV_8UC1));
    // Hips within 2.2 s of the bottom row.
    BodySkeleton low;
    PoseUpright(low, 100, 110, 10);
    LegState state;
    EXPECT_EQ(LegFollow(low, state, maps.View()), 10);
    // Nothing to fit: no pair carries weight, the result is cleared.
    const Maps empty(cv::Mat::zeros(kH, kW, CV_8UC1), cv::Mat::zeros(kH, kW, CV_8UC1));
    f.legs.fitValid = true;
    f.legs.displacement[3] = 7;
    EXPECT_EQ(LegFollow(f.skeleton, f.legs, empty.View()), 10);
    EXPECT_FALSE(f.legs.fitValid);
    EXPECT_EQ(f.legs.displacement[3], 0);
    // Missing maps.
    EXPECT_EQ(LegFollow(f.skeleton, f.legs, LegMaps()), 10);
}

TEST(LegFollow, ExtremeSkeletonsStayInsideThePicture) {
    // Scales of 1 and of half the picture, skeletons at every border and with joints far outside
    // it, on full and empty masks: a status, never a read outside the image.
    const cv::Mat full(kH, kW, CV_8UC1, cv::Scalar(1));
    const cv::Mat empty = cv::Mat::zeros(kH, kW, CV_8UC1);
    const Maps fullMaps(full, full), emptyMaps(empty, empty);
    const double scales[] = {1, 3, 75};
    const cv::Point2d places[] = {{0, 0}, {199, 5}, {-40, 20}, {240, 30}, {100, 149}, {100, -200}};
    for (const Maps* maps : {&fullMaps, &emptyMaps}) {
        for (double s : scales) {
            for (const cv::Point2d& p : places) {
                BodySkeleton skeleton;
                PoseUpright(skeleton, p.x, p.y, s);
                LegState legs;
                for (int k = 0; k < kLegJoints; ++k) {
                    legs.previous[k] = {skeleton.J(10 + k).x, skeleton.J(10 + k).y};
                }
                legs.displacement[0] = 1000;
                const int status = LegFollow(skeleton, legs, maps->View());
                EXPECT_TRUE(status == 0 || status == 10);
                EXPECT_LE(legs.candidates.size(), static_cast<size_t>(LegState::kMaxCandidates));
                EXPECT_LE(legs.pairs.size(), static_cast<size_t>(LegState::kMaxPairs));
                for (int j = BodySkeleton::kRightHip; j <= BodySkeleton::kLeftFoot; ++j) {
                    EXPECT_TRUE(std::isfinite(skeleton.J(j).x) && std::isfinite(skeleton.J(j).y));
                }
            }
        }
    }
}

TEST(LegCandidates, AFullMaskAtScaleOneStopsAtTheLimit) {
    // Cell size 1 over a full mask offers about 14 000 grid points; the list holds 1000.
    const cv::Mat full(kH, kW, CV_8UC1, cv::Scalar(1));
    const Maps maps(full, full);
    BodySkeleton skeleton;
    PoseUpright(skeleton, 100, 10, 12);
    skeleton.bodyScale = 12;
    LegState legs;
    LegCandidates(skeleton, legs, maps.View());
    EXPECT_EQ(legs.candidates.size(), static_cast<size_t>(LegState::kMaxCandidates));
    for (const FootCandidate& c : legs.candidates) {
        ASSERT_GE(c.x, 0);
        ASSERT_LT(c.x, kW);
        ASSERT_LE(c.y + 4, kH - 1);  // no box crosses the bottom row
    }
}

}  // namespace
}  // namespace olvar
