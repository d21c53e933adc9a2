// Torso tracking and the body skeleton: fixed numbers on small masks, then a rendered person
// moving sideways and leaning.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "body/user_tracker.h"
#include "synth/scene.h"

#include "body_masks.h"

namespace olvar {
namespace {

using test_masks::Body;
using test_masks::IntegralOf;
using test_masks::kH;
using test_masks::kW;

TEST(Skeleton, RestPoseForTorsoSizeTwenty) {
    BodySkeleton s;
    s.SetSkeletonScale(20);
    s.J(BodySkeleton::kShoulderCentre).x = 100;
    s.J(BodySkeleton::kShoulderCentre).y = 80 + 0.5 * 20;
    s.ResetSkeletonPose();
    struct Case {
        int joint;
        double x, y;
    };
    for (const Case& c : {Case{1, 100, 90}, Case{0, 100, 122}, Case{2, 100, 84}, Case{4, 116, 90},
                          Case{5, 116, 112}, Case{6, 116, 142}, Case{7, 84, 90}, Case{9, 84, 142},
                          Case{10, 109, 137.48}, Case{11, 91, 137.48}}) {
        EXPECT_NEAR(s.J(c.joint).x, c.x, 1e-9) << c.joint;
        EXPECT_NEAR(s.J(c.joint).y, c.y, 1e-9) << c.joint;
    }
    EXPECT_NEAR(s.L(BodySkeleton::kRightUpperArm).angle, -M_PI / 2, 1e-12);
    // Both shins take the image-right shin's length.
    EXPECT_NEAR(s.J(15).y - s.J(13).y, s.J(14).y - s.J(12).y, 1e-9);
}

TEST(Skeleton, AnchoringKeepsFittedArmLengthsAndRescalesTheRest) {
    BodySkeleton s;
    s.SetSkeletonScale(20);
    s.L(BodySkeleton::kRightUpperArm).nominalLength = 30;
    s.AnchorSkeleton(60, 50, true, 25);
    EXPECT_EQ(s.L(BodySkeleton::kRightUpperArm).nominalLength, 30);
    EXPECT_NEAR(s.L(BodySkeleton::kRightUpperArm).maxLength, 1.7 * 25, 1e-9);
    EXPECT_NEAR(s.J(BodySkeleton::kHipCentre).y, 50 + 1.6 * 25, 1e-9);
    EXPECT_NEAR(s.J(BodySkeleton::kRightShoulder).x, 60 + 0.8 * 25, 1e-9);
    EXPECT_NEAR(s.J(BodySkeleton::kHead).y, 50 - 0.3 * 25 - 0.8 * 25, 1e-9);
    // The tree: every joint but the root has a parent; the shoulder centre has three children.
    EXPECT_EQ(s.J(0).parent, nullptr);
    EXPECT_EQ(s.J(1).childCount, 3);
    EXPECT_EQ(s.L(8).end, &s.J(9));
}

TEST(Torso, StartFromTheFaceSeedsOneFaceHeightBelow) {
    UserTracker u;
    const Integral integral = IntegralOf(Body(100, 60, 20));
    u.faceX = 100, u.faceY = 40, u.faceSize = 20;
    EXPECT_EQ(u.StartTorso(0, integral.data()), 0);
    EXPECT_TRUE(u.torsoFound);
    const Primitive& first = *u.torsoFilter.particles[0];
    EXPECT_EQ(first.x, 100);
    EXPECT_EQ(first.y, 60);
    EXPECT_EQ(first.partSize, 20);
    EXPECT_NEAR(u.torsoX, 100, 3);
    EXPECT_NEAR(u.torsoY, 60, 4);
    EXPECT_EQ(u.StartTorso(2, integral.data()), 1);
}

TEST(Torso, StartTooNearTheBorderFailsAlthoughTheFilterAccepts) {
    UserTracker u;
    const Integral integral = IntegralOf(Body(25, 60, 20));
    u.faceX = 25, u.faceY = 40, u.faceSize = 20;
    EXPECT_EQ(u.StartTorso(0, integral.data()), 1);
    EXPECT_FALSE(u.torsoFound);
    EXPECT_NEAR(u.torsoX, 25, 3);  // the pose written by the start stays
}

TEST(Torso, TrackingChecksSizeAndBorder) {
    {
        UserTracker u;
        const Integral integral = IntegralOf(Body(100, 60, 7));
        u.torsoX = 100, u.torsoY = 60, u.torsoSize = 7, u.torsoFound = true;
        int x = 100, y = 60, s = 7;
        u.torsoFilter.Initialize(integral.data(), &x, &y, &s);
        EXPECT_EQ(u.TrackTorso(integral.data()), 18);
        EXPECT_FALSE(u.torsoFound);
    }
    {
        UserTracker u;
        const Integral integral = IntegralOf(Body(195, 60, 10));
        u.torsoX = 195, u.torsoY = 60, u.torsoSize = 10, u.torsoFound = true;
        int x = 195, y = 60, s = 10;
        u.torsoFilter.Initialize(integral.data(), &x, &y, &s);
        EXPECT_EQ(u.TrackTorso(integral.data()), 19);
        EXPECT_FALSE(u.torsoFound);
    }
    {
        UserTracker u;  // nothing known: nothing to restart from
        const Integral integral = IntegralOf(Body(100, 60, 20));
        EXPECT_EQ(u.TrackTorso(integral.data()), 10);
    }
}

// The rendered person's silhouette at working resolution.
cv::Mat WorkingSilhouette(const cv::Mat& silhouette) {
    cv::Mat small, mask;
    cv::resize(silhouette, small, cv::Size(kW, kH), 0, 0, cv::INTER_AREA);
    cv::threshold(small, mask, 0, 1, cv::THRESH_BINARY);
    return mask;
}

TEST(Torso, FollowsARenderedPersonMovingAndLeaning) {
    const double scale = 640.0 / kW;
    for (int tone = 0; tone < synth::kSkinToneCount; ++tone) {
        synth::ScriptOptions options;
        options.look =
            synth::MakeAppearance(static_cast<synth::SkinTone>(tone), tone, tone, tone % 2);
        synth::TrackBuilder person(options.look, options.size);
        person.Absent(1, synth::kImageLeft).WalkTo(0.35f).Rest(10).Lean(synth::kImageLeft);
        person.WalkTo(0.6f).Lean(synth::kImageRight).Rest(10).WalkTo(0.45f).Rest(10);
        synth::SceneConfig config;
        config.script = synth::Script{{person.Build()}};
        const synth::Scene scene(config);

        UserTracker u;
        int frames = 0, good = 0;
        bool started = false;
        for (int i = 0; i < scene.FrameCount(); ++i) {
            const synth::Frame frame = scene.Render(i);
            const synth::PersonTruth& truth = frame.people[0];
            const double t = truth.torsoHalfWidth / scale;
            if (!truth.visible || truth.face.x / scale < 2 * t ||
                truth.face.x / scale > kW - 2 * t) {
                continue;  // not fully in view
            }
            const Integral integral = IntegralOf(WorkingSilhouette(frame.people[0].silhouette));
            int status;
            if (!started) {
                u.faceX = truth.face.x / scale;
                u.faceY = truth.face.y / scale;
                u.faceSize = truth.faceSize / scale;
                u.faceFound = true;
                status = u.StartTorso(0, integral.data());
                started = status == 0;
                ASSERT_TRUE(started) << "tone " << tone;
                const double error =
                    std::hypot(u.torsoX - truth.torso.x / scale, u.torsoY - truth.torso.y / scale);
                EXPECT_LT(error, t / 3) << "start, tone " << tone;
                continue;
            }
            status = u.TrackTorso(integral.data());
            const double error =
                std::hypot(u.torsoX - truth.torso.x / scale, u.torsoY - truth.torso.y / scale);
            ++frames;
            good += status == 0 && error < t / 3;
        }
        ASSERT_GE(frames, 100);
        const double share = static_cast<double>(good) / frames;
        std::printf("torso tone %d: %d/%d frames within a third of the half-width (%.3f)\n", tone,
                    good, frames, share);
        EXPECT_GE(share, 0.9) << "tone " << tone;
    }
}

}  // namespace
}  // namespace olvar
