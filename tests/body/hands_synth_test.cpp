// Hand detection and tracking on the scene renderer's people: frames rendered at 320 x 240 and
// reduced to the 200 x 150 working size, the person's silhouette as foreground, its visible
// skin as the skin map, motion counts from frame differences, torso and face from ground truth.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "fixtures/hands_scene.h"
#include "synth/scene.h"

namespace olvar {
namespace {

using testing::HandsRig;

constexpr int kW = 200, kH = 150;
const cv::Size kCamera(320, 240);
constexpr double kScale = kW / 320.0;

cv::Mat ReduceMask(const cv::Mat& mask) {
    cv::Mat scaled, out;
    cv::resize(mask * 255, scaled, {kW, kH}, 0, 0, cv::INTER_AREA);
    out = scaled >= 128;
    return out / 255;
}

cv::Point2d Reduce(cv::Point2f p) {
    return {p.x * kScale, p.y * kScale};
}

double DistanceToSegment(cv::Point2d p, cv::Point2d a, cv::Point2d b) {
    const cv::Point2d d = b - a;
    const double len2 = d.dot(d);
    const double u = len2 > 0 ? std::clamp((p - a).dot(d) / len2, 0.0, 1.0) : 0.0;
    const cv::Point2d q = a + u * d;
    return std::hypot(p.x - q.x, p.y - q.y);
}

// One rendered frame at the working size with the truth of person 0.
struct WorkingFrame {
    cv::Mat colour, mask, skin;
    synth::PersonTruth truth;
    cv::Point2d hand[2];
    double t = 0;
};

WorkingFrame Reduce(const synth::Frame& frame) {
    WorkingFrame w;
    cv::resize(frame.image, w.colour, {kW, kH}, 0, 0, cv::INTER_AREA);
    w.truth = frame.people.at(0);
    w.mask = ReduceMask(w.truth.silhouette);
    w.skin = ReduceMask(w.truth.skin);
    w.hand[0] = Reduce(w.truth.hands[0]);
    w.hand[1] = Reduce(w.truth.hands[1]);
    w.t = w.truth.torsoHalfWidth * kScale;
    return w;
}

// Distance of the tracked hand from the true arm (shoulder - elbow - hand).
double DistanceToArm(const HandsRig& rig, int arm, const WorkingFrame& f) {
    const cv::Point2d hand(rig.tracker.handX[arm], rig.tracker.handY[arm]);
    const int shoulder = arm == 0 ? synth::kRightShoulder : synth::kLeftShoulder;
    const int elbow = arm == 0 ? synth::kRightElbow : synth::kLeftElbow;
    const cv::Point2d s = Reduce(f.truth.skeleton[shoulder]), e = Reduce(f.truth.skeleton[elbow]);
    return std::min(DistanceToSegment(hand, s, e), DistanceToSegment(hand, e, f.hand[arm]));
}

// Places the rig's torso and face at the truth (the face size taken as the torso half-width,
// as the face search sizes it).
void PlaceFromTruth(HandsRig& rig, const WorkingFrame& f, bool start) {
    const cv::Point2d torso = Reduce(f.truth.torso), face = Reduce(f.truth.face);
    const int t = static_cast<int>(f.t);
    if (start) {
        rig.PlaceBody(torso.x, torso.y, t, face.x, face.y, t);
    } else {
        rig.MoveBody(torso.x, torso.y, t, face.x, face.y, t);
    }
}

synth::Appearance Look(synth::SkinTone tone, bool longSleeves) {
    return synth::MakeAppearance(tone, 2, 1, longSleeves);
}

struct LookCase {
    std::string name;
    synth::Appearance look;
};

std::vector<LookCase> Looks() {
    return {
        {"light skin, long sleeves", Look(synth::SkinTone::kLight, true)},
        {"brown skin, short sleeves", Look(synth::SkinTone::kBrown, false)},
        {"dark skin, long sleeves", Look(synth::SkinTone::kDark, true)},
        {"olive skin, short sleeves", Look(synth::SkinTone::kOlive, false)},
    };
}

// A still person with the hands at body coordinates (torso half-widths from the shoulder
// centre, y down).
synth::Frame RenderStill(const synth::Appearance& look, cv::Point2f hand0, cv::Point2f hand1) {
    synth::TrackBuilder person(look);
    person.HandsTo(synth::Label{}, 1, hand0, hand1).Hold(synth::Label{}, 2);
    synth::SceneConfig config;
    config.frameSize = kCamera;
    config.script = synth::Script{{person.Build()}};
    const synth::Scene scene(config);
    return scene.Render(scene.FrameCount() - 1);
}

TEST(HandsSynth, DetectionOnStillPoses) {
    struct PoseCase {
        std::string name;
        cv::Point2f hand0, hand1;
        bool clear;  // both hands beside the body, below the shoulders
    };
    const std::vector<PoseCase> poses = {
        {"arms hanging down", synth::RestHand(0), synth::RestHand(1), true},
        {"arms held out sideways", {3.2f, 0.1f}, {-3.2f, 0.1f}, true},
        {"arms out and down", {2.3f, 1.8f}, {-2.3f, 1.8f}, true},
        {"hands out beside the chest", {1.7f, 0.65f}, {-1.7f, 0.65f}, true},
        {"both hands above the head", {0.55f, -1.9f}, {-0.55f, -1.9f}, false},
        {"one hand in front of the chest", {-0.7f, 0.75f}, synth::RestHand(1), false},
        {"one hand raised to the side", {1.05f, -1.9f}, synth::RestHand(1), false},
    };
    std::printf("detection error on rendered people (half a torso half-width is the bound)\n");
    for (const LookCase& look : Looks()) {
        for (const PoseCase& pose : poses) {
            const WorkingFrame f = Reduce(RenderStill(look.look, pose.hand0, pose.hand1));
            HandsRig rig(kW, kH);
            PlaceFromTruth(rig, f, true);
            rig.Feed(f.colour, f.mask, f.skin);
            const int result = rig.Start();
            std::printf("  %-26s %-32s result %d", look.name.c_str(), pose.name.c_str(), result);
            for (int arm = 0; arm < 2; ++arm) {
                std::printf("  hand %d: %s %4.2f t", arm,
                            rig.tracker.handFound[arm] ? "found" : "  -  ",
                            rig.HandError(arm, f.hand[arm]) / f.t);
            }
            std::printf("\n");
            if (!pose.clear) {
                continue;
            }
            SCOPED_TRACE(look.name + ", " + pose.name);
            EXPECT_EQ(result, 0);
            for (int arm = 0; arm < 2; ++arm) {
                ASSERT_TRUE(rig.tracker.handFound[arm]);
                if (look.look.longSleeves) {
                    EXPECT_LE(rig.HandError(arm, f.hand[arm]), 0.5 * f.t) << "hand " << arm;
                } else {
                    // Bare forearms are as skin-like as the hand: the hand lands on the arm.
                    EXPECT_LE(DistanceToArm(rig, arm, f), 0.5 * f.t) << "hand " << arm;
                }
            }
        }
    }
}

struct MotionCase {
    std::string name;
    synth::Script script;
};

TEST(HandsSynth, TrackingScriptedMotions) {
    // Two looks: the skin tone only reaches the hand search through stored hand colours, which
    // these runs do not have; the sleeves decide what is skin.
    std::printf("tracked frames within half a torso half-width of the hand, and on the arm\n");
    const std::vector<LookCase> looks = {Looks()[0], Looks()[1]};
    for (const LookCase& look : looks) {
        synth::ScriptOptions options;
        options.warmup = 0;
        options.look = look.look;
        const std::vector<MotionCase> motions = {
            {"raise", synth::ScriptWalkInAndRaise(options)},
            {"swipes", synth::ScriptSwipes(options)},
            {"wave", synth::ScriptWave(options)},
        };
        for (const MotionCase& motion : motions) {
            synth::SceneConfig config;
            config.frameSize = kCamera;
            config.script = motion.script;
            const synth::Scene scene(config);
            HandsRig rig(kW, kH);
            bool started = false;
            int restFrames = 0, gestureFrames = 0, gestureWithin = 0, frames = 0, within = 0;
            int onArm = 0, restarts = 0;
            for (int i = 0; i < scene.FrameCount(); ++i) {
                const synth::Frame frame = scene.Render(i);
                const WorkingFrame f = Reduce(frame);
                if (!started) {
                    // Start after a few frames of rest, once the person stands still.
                    restFrames += f.truth.label.action == synth::Action::kRest;
                    rig.Feed(f.colour, f.mask, f.skin);
                    if (restFrames == 5) {
                        PlaceFromTruth(rig, f, true);
                        rig.Feed(f.colour, f.mask, f.skin);
                        started = rig.Start() == 0;
                    }
                    continue;
                }
                PlaceFromTruth(rig, f, false);
                rig.Feed(f.colour, f.mask, f.skin);
                if (rig.Track() != 0) {
                    // As the per-user step does: drop the hands and detect them again.
                    ++restarts;
                    started = rig.Start() == 0;
                }
                const double bound = 0.5 * f.t;
                for (int arm = 0; arm < 2; ++arm) {
                    const bool ok = rig.HandError(arm, f.hand[arm]) <= bound;
                    onArm += DistanceToArm(rig, arm, f) <= bound;
                    ++frames;
                    within += ok;
                    const synth::Action a = f.truth.label.action;
                    const bool gesture =
                        (a == synth::Action::kRaiseHand || a == synth::Action::kSwipe ||
                         a == synth::Action::kWave) &&
                        f.truth.label.hand == arm;
                    gestureFrames += gesture;
                    gestureWithin += gesture && ok;
                }
            }
            std::printf(
                "  %-26s %-8s gesturing hand %3d of %3d, both hands %3d of %3d, on the arm "
                "%3d, restarts %d\n",
                look.name.c_str(), motion.name.c_str(), gestureWithin, gestureFrames, within,
                frames, onArm, restarts);
            SCOPED_TRACE(look.name + ", " + motion.name);
            EXPECT_GE(onArm, 0.8 * frames);
            if (look.look.longSleeves) {
                EXPECT_GE(gestureWithin, 0.8 * gestureFrames);
                EXPECT_GE(within, 0.8 * frames);
            } else if (motion.name == "wave") {
                // Bare forearms fill the hand cells with skin as fully as the hands do, so the
                // chains cannot tell hand from forearm; the waving hand, held high and swinging,
                // is the one the raised-skin preference and the motion counts single out.
                EXPECT_GE(gestureWithin, 0.8 * gestureFrames);
            }
        }
    }
}

}  // namespace
}  // namespace olvar
