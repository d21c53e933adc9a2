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

TEST(Skeleton, UpdateLegsRescalesTheLegLinksAndHangsThemUnlessKept) {
    const double legFactors[][4] = {
        // nominal length, width, maximum, minimum per leg link 9..14
        {0.9, 0.5, 1.1, 0.8}, {0.9, 0.5, 1.1, 0.8}, {1.7, 0.5, 3.0, 0.8},
        {1.7, 0.5, 3.0, 0.8}, {1.7, 0.5, 2.6, 0.8}, {1.7, 0.5, 2.6, 0.8},
    };
    struct Case {
        bool keep;
    };
    for (const Case& c : {Case{true}, Case{false}}) {
        SCOPED_TRACE(c.keep ? "keep" : "hang");
        BodySkeleton s;
        s.SetSkeletonScale(20);
        s.J(BodySkeleton::kShoulderCentre).x = 100;
        s.J(BodySkeleton::kShoulderCentre).y = 90;
        s.ResetSkeletonPose();
        // Knees and feet somewhere else, as a leg fit would leave them.
        for (int joint = BodySkeleton::kRightKnee; joint <= BodySkeleton::kLeftFoot; ++joint) {
            s.J(joint).x = 3 * joint;
            s.J(joint).y = 5 * joint;
        }
        s.bodyScale = 10;
        s.UpdateLegs(c.keep);
        for (int link = BodySkeleton::kRightPelvis; link <= BodySkeleton::kLeftShin; ++link) {
            const double* f = legFactors[link - BodySkeleton::kRightPelvis];
            EXPECT_NEAR(s.L(link).nominalLength, 10 * f[0], 1e-12) << link;
            EXPECT_NEAR(s.L(link).width, 10 * f[1], 1e-12) << link;
            EXPECT_NEAR(s.L(link).maxLength, 10 * f[2], 1e-12) << link;
            EXPECT_NEAR(s.L(link).minLength, 10 * f[3], 1e-12) << link;
            EXPECT_NEAR(s.L(link).length, 20 * f[0], 1e-12) << link << ": the fitted length stays";
        }
        EXPECT_NEAR(s.L(BodySkeleton::kSpine).nominalLength, 32, 1e-12)
            << "the body is not touched";
        struct Joint {
            int joint;
            double x, y;
        };
        const Joint kept[] = {{12, 36, 60}, {13, 39, 65}, {14, 42, 70}, {15, 45, 75}};
        // Hanging from the hips (109, 137.48) and (91, 137.48) with thigh and shin 17.
        const Joint hung[] = {
            {12, 109, 154.48}, {13, 91, 154.48}, {14, 109, 171.48}, {15, 91, 171.48}};
        for (const Joint& j : c.keep ? kept : hung) {
            EXPECT_NEAR(s.J(j.joint).x, j.x, 1e-9) << j.joint;
            EXPECT_NEAR(s.J(j.joint).y, j.y, 1e-9) << j.joint;
        }
    }
}

TEST(Skeleton, AnchoringAtTheBodyHalvesTheSizeAndMeetsTheChin) {
    struct Case {
        const char* what;
        int torsoSize;
        bool faceFound;
        float faceY, faceSize;
        double shoulderY;  // joint 1
        double headX, headY;
    };
    const Case cases[] = {
        // No face: joint 1 at torsoY + s / 2, the head a neck and a head link above.
        {"odd size", 21, false, 0, 0, 60, 100, 60 - 0.3 * 21 - 0.8 * 21},
        {"negative odd size halves toward zero", -3, false, 0, 0, 49, 100, 49 + 0.3 * 3 + 0.8 * 3},
        // A face high above: the shoulder centre stays; the head sits on the face.
        {"face above", 20, true, 30, 20, 60, 102, 30},
        // A low face pulls the shoulder centre down halfway to the chin: (60 + 50 + 30) / 2.
        {"face low", 20, true, 50, 30, 70, 102, 50},
    };
    for (const Case& c : cases) {
        UserTracker u;
        u.torsoX = 100, u.torsoY = 50, u.torsoSize = c.torsoSize;
        u.faceX = 102, u.faceY = c.faceY, u.faceSize = c.faceSize, u.faceFound = c.faceFound;
        u.skeleton.J(BodySkeleton::kHead).x = -1;
        u.AnchorSkeletonToBody();
        const BodySkeleton& s = u.skeleton;
        EXPECT_EQ(s.bodyScale, c.torsoSize) << c.what;
        EXPECT_EQ(s.J(BodySkeleton::kShoulderCentre).x, 100) << c.what;
        EXPECT_NEAR(s.J(BodySkeleton::kShoulderCentre).y, c.shoulderY, 1e-9) << c.what;
        EXPECT_NEAR(s.J(BodySkeleton::kHead).x, c.headX, 1e-9) << c.what;
        EXPECT_NEAR(s.J(BodySkeleton::kHead).y, c.headY, 1e-9) << c.what;
    }
}

TEST(Torso, StartFromTheFaceSeedsOneFaceHeightBelow) {
    UserTracker u;
    const Integral integral = IntegralOf(Body(100, 60, 20));
    u.faceX = 100, u.faceY = 40, u.faceSize = 20;
    EXPECT_EQ(u.StartTorso(TorsoStart::kBelowFace, integral.data()), 0);
    EXPECT_TRUE(u.torsoFound);
    const Primitive& first = *u.torsoFilter.particles[0];
    EXPECT_EQ(first.x, 100);
    EXPECT_EQ(first.y, 60);
    EXPECT_EQ(first.partSize, 20);
    EXPECT_NEAR(u.torsoX, 100, 3);
    EXPECT_NEAR(u.torsoY, 60, 4);
    EXPECT_EQ(u.StartTorso(static_cast<TorsoStart>(2), integral.data()), 1);
}

TEST(Torso, StartTooNearTheBorderFailsAlthoughTheFilterAccepts) {
    UserTracker u;
    const Integral integral = IntegralOf(Body(25, 60, 20));
    u.faceX = 25, u.faceY = 40, u.faceSize = 20;
    EXPECT_EQ(u.StartTorso(TorsoStart::kBelowFace, integral.data()), 1);
    EXPECT_FALSE(u.torsoFound);
    EXPECT_NEAR(u.torsoX, 25, 3);  // the pose written by the start stays
}

TEST(Torso, TrackedPoseBlendsSevenTenthsOfTheFilterEstimate) {
    const Integral integral = IntegralOf(Body(100, 60, 20));
    UserTracker u;
    int x = 100, y = 60, size = 20;
    ASSERT_TRUE(u.torsoFilter.Initialize(integral.data(), &x, &y, &size));
    u.torsoX = 101.75f, u.torsoY = 58.5f, u.torsoSize = 23, u.torsoFound = true;
    ASSERT_EQ(u.TrackTorso(integral.data()), 0);
    const Primitive& estimate = *u.torsoFilter.estimate;
    EXPECT_EQ(u.torsoX, static_cast<float>(0.7 * estimate.x + 0.3 * 101.75));
    EXPECT_EQ(u.torsoY, static_cast<float>(0.7 * estimate.y + 0.3 * 58.5));
    EXPECT_EQ(u.torsoSize, static_cast<int>(0.7 * estimate.partSize + 0.3 * 23));

    // A restart at the current pose seeds the filter at its truncated position.
    u.torsoX = 100.9f, u.torsoY = 60.9f, u.torsoSize = 20;
    EXPECT_EQ(u.StartTorso(TorsoStart::kAtLastPose, integral.data()), 0);
    EXPECT_EQ(u.torsoFilter.particles[0]->x, 100);
    EXPECT_EQ(u.torsoFilter.particles[0]->y, 60);
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
                status = u.StartTorso(TorsoStart::kBelowFace, integral.data());
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
