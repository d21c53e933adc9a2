// The scene renderer's ground truth: every joint lies on the body part it names, the silhouettes
// are exactly the pixels people change, labels describe the motion they label, rendering is
// deterministic and scales with the frame size, and two people keep their identities.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "olvar/olvar.h"
#include "synth/scene.h"

namespace olvar::synth {
namespace {

using ScriptMaker = std::function<Script(const ScriptOptions&)>;

float Distance(cv::Point2f a, cv::Point2f b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

bool Inside(const cv::Mat& mask, cv::Point2f p) {
    return p.x >= 0 && p.y >= 0 && p.x < mask.cols && p.y < mask.rows;
}

bool OnMask(const cv::Mat& mask, cv::Point2f p) {
    return mask.at<uint8_t>(static_cast<int>(p.y), static_cast<int>(p.x)) == 1;
}

// 1 where any channel of two colour images differs.
cv::Mat ChangedPixels(const cv::Mat& a, const cv::Mat& b) {
    cv::Mat difference;
    cv::absdiff(a, b, difference);
    std::vector<cv::Mat> channels;
    cv::split(difference, channels);
    cv::Mat changed = cv::max(cv::max(channels[0], channels[1]), channels[2]);
    return changed > 0;
}

SceneConfig Config(Script script, cv::Size size, double noise = 2.0) {
    SceneConfig config;
    config.frameSize = size;
    config.script = std::move(script);
    config.noiseSigma = noise;
    return config;
}

std::string Where(const Frame& frame, int person) {
    return "frame " + std::to_string(frame.index) + " person " + std::to_string(person) + " (" +
           frame.labels[person] + ")";
}

// Frames grouped into runs of one label, per person: the steps of the script as seen from the
// truth.
struct LabelRun {
    Label label;
    std::vector<PersonTruth> frames;
};

std::vector<LabelRun> Runs(const Scene& scene, int person) {
    std::vector<LabelRun> runs;
    for (int i = 0; i < scene.FrameCount(); ++i) {
        PersonTruth truth = scene.Render(i).people[person];
        truth.silhouette.release();
        truth.skin.release();
        if (runs.empty() || !(runs.back().label == truth.label)) {
            runs.push_back(LabelRun{truth.label, {}});
        }
        runs.back().frames.push_back(truth);
    }
    return runs;
}

// ---------------------------------------------------------------------------------------------
// Joints on their body parts, across scripts, frame sizes, skin tones and sleeve lengths.

struct PlacementCase {
    const char* name;
    ScriptMaker script;
    cv::Size size;
    SkinTone tone;
    bool longSleeves;
    int every;
};

TEST(SynthTruth, JointsLieOnTheBodyPartsTheyName) {
    const PlacementCase cases[] = {
        {"demo", ScriptDemo, {640, 480}, SkinTone::kMedium, true, 4},
        {"swipes small", ScriptSwipes, {320, 240}, SkinTone::kDark, false, 3},
        {"crouch wide", ScriptCrouch, {1280, 720}, SkinTone::kLight, false, 6},
        {"lean", ScriptLean, {640, 480}, SkinTone::kOlive, true, 3},
        {"wave", ScriptWave, {640, 480}, SkinTone::kBrown, false, 3},
        {"dwell", ScriptDwell, {320, 240}, SkinTone::kBrown, true, 5},
        {"hands apart", ScriptHandsApartTogether, {640, 480}, SkinTone::kLight, true, 3},
        {"two people", ScriptTwoPeople, {640, 480}, SkinTone::kMedium, true, 5},
    };
    for (const PlacementCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptOptions options;
        options.look = MakeAppearance(c.tone, 2, 3, c.longSleeves);
        const Scene scene(Config(c.script(options), c.size));
        int checkedHands = 0;
        for (int i = 0; i < scene.FrameCount(); i += c.every) {
            const Frame frame = scene.Render(i);
            for (size_t k = 0; k < frame.people.size(); ++k) {
                const PersonTruth& p = frame.people[k];
                if (!p.visible) {
                    continue;
                }
                const std::string where = Where(frame, static_cast<int>(k));
                EXPECT_TRUE(p.faceBox.contains(p.face)) << where;
                if (Inside(p.skin, p.face)) {
                    EXPECT_TRUE(OnMask(p.skin, p.face)) << "face centre off the skin, " << where;
                }
                for (int hand = 0; hand < 2; ++hand) {
                    if (Inside(p.skin, p.hands[hand])) {
                        EXPECT_TRUE(OnMask(p.skin, p.hands[hand]))
                            << "hand " << hand << " off the skin, " << where;
                        ++checkedHands;
                    }
                }
                for (size_t j = 0; j < p.joints.size(); ++j) {
                    EXPECT_TRUE(!Inside(p.silhouette, p.joints[j]) ||
                                OnMask(p.silhouette, p.joints[j]))
                        << "joint " << j << " outside the silhouette, " << where;
                }
                for (size_t j = 0; j < p.legJoints.size(); ++j) {
                    EXPECT_TRUE(!Inside(p.silhouette, p.legJoints[j]) ||
                                OnMask(p.silhouette, p.legJoints[j]))
                        << "leg joint " << j << " outside the silhouette, " << where;
                }
            }
        }
        EXPECT_GT(checkedHands, 20);
    }
}

// Every link keeps its length in every pose; arms only look shorter when the elbow swings out of
// the picture's plane (targets out of reach are pulled back, never stretched). The record's
// slots hold the joints of the side they name: hand 0 ends the image-right arm.
TEST(SynthTruth, SkeletonKeepsItsProportionsAndSidesInEveryPose) {
    struct Link {
        int from, to;
        float length;  // torso half-widths
    };
    const Link rigid[] = {
        {kHipCentre, kShoulderCentre, 1.6f},    {kShoulderCentre, kNeckTop, 0.3f},
        {kNeckTop, kHeadCentre, 0.8f},          {kShoulderCentre, kRightShoulder, 0.8f},
        {kShoulderCentre, kLeftShoulder, 0.8f}, {kHipCentre, kRightHip, 0.9f},
        {kHipCentre, kLeftHip, 0.9f},
    };
    const Link arms[] = {{kRightShoulder, kRightElbow, 1.1f},
                         {kRightElbow, kRightHand, 1.5f},
                         {kLeftShoulder, kLeftElbow, 1.1f},
                         {kLeftElbow, kLeftHand, 1.5f}};
    const Link standingLegs[] = {{kRightHip, kRightKnee, 1.7f},
                                 {kRightKnee, kRightFoot, 1.7f},
                                 {kLeftHip, kLeftKnee, 1.7f},
                                 {kLeftKnee, kLeftFoot, 1.7f}};

    // Arms asked to reach far beyond their length, and a hand target at the shoulder itself.
    TrackBuilder stretch(MakeAppearance(SkinTone::kMedium, 0, 0, true));
    stretch.HandsTo(Label{}, 5, {9.0f, -9.0f}, {-0.8f, 0.0f})
        .HandsTo(Label{}, 5, {0.8f, 0.0f}, {-9.0f, 4.0f});
    const Script scripts[] = {ScriptDemo(), ScriptHandsApartTogether(), ScriptLean(),
                              Script{{stretch.Build()}}};
    for (const Script& script : scripts) {
        const Scene scene(Config(script, {320, 240}, 0.0));
        for (int i = 0; i < scene.FrameCount(); i += 2) {
            const Frame frame = scene.Render(i);
            const PersonTruth& p = frame.people[0];
            const float t = p.torsoHalfWidth;
            const std::string where = Where(frame, 0);
            const auto length = [&p, t](const Link& link) {
                return Distance(p.skeleton[link.from], p.skeleton[link.to]) / t;
            };
            for (const Link& link : rigid) {
                EXPECT_NEAR(length(link), link.length, 0.01f)
                    << "link " << link.from << "-" << link.to << ", " << where;
            }
            for (const Link& link : arms) {
                EXPECT_LE(length(link), link.length + 0.01f)
                    << "link " << link.from << "-" << link.to << ", " << where;
            }
            if (p.label.action == Action::kRest) {
                for (const Link& link : standingLegs) {
                    EXPECT_NEAR(length(link), link.length, 0.01f)
                        << "link " << link.from << "-" << link.to << ", " << where;
                }
            }
            EXPECT_EQ(p.hands[0], p.skeleton[kRightHand]);
            EXPECT_EQ(p.hands[1], p.skeleton[kLeftHand]);
            EXPECT_GT(p.joints[kJointRightShoulder].x, p.joints[kJointLeftShoulder].x) << where;
            EXPECT_LE(Distance(p.hands[0], p.joints[kJointRightShoulder]) / t, 2.61f) << where;
            EXPECT_LE(Distance(p.hands[1], p.joints[kJointLeftShoulder]) / t, 2.61f) << where;
            EXPECT_GT(p.legJoints[kLegRightHip].x, p.legJoints[kLegLeftHip].x) << where;
            EXPECT_GT(p.legJoints[kLegRightFoot].x, p.legJoints[kLegLeftFoot].x) << where;
            EXPECT_EQ(p.joints[kJointShoulderCentre], p.torso + cv::Point2f(0.0f, 0.5f * t));
            EXPECT_FLOAT_EQ(p.handSize, 0.5f * t);
        }
    }
}

// Joints move continuously: no elbow or knee jumps to the other side of its limb between two
// frames, whatever the script does with the hands and feet.
TEST(SynthTruth, JointsMoveSmoothlyFromFrameToFrame) {
    const Script scripts[] = {ScriptDemo(), ScriptWalkInAndRaise(), ScriptSwipes(),
                              ScriptWave(), ScriptDwell(),          ScriptHandsApartTogether(),
                              ScriptLean(), ScriptCrouch(),         ScriptTwoPeople()};
    const cv::Size size(640, 480);
    for (const Script& script : scripts) {
        for (const Track& track : script.people) {
            const Placement placement = track.PlacementFor(size);
            const float t = placement.torsoHalfWidth;
            Body previous = PlaceBody(track.PoseAt(0, nullptr), placement, size.width);
            for (int i = 1; i < track.FrameCount(); ++i) {
                const Body body = PlaceBody(track.PoseAt(i, nullptr), placement, size.width);
                for (int j = 0; j < kJointCount; ++j) {
                    EXPECT_LT(Distance(body.joints[j], previous.joints[j]), 0.7f * t)
                        << "joint " << j << " at frame " << i;
                }
                previous = body;
            }
        }
    }
}

// At the default distance a person in 640 x 480 has a torso half-width near 60 pixels and a head
// 0.8-0.9 of it high, and the whole body, raised hands included, stays in the picture.
TEST(SynthTruth, DefaultFramingShowsTheWholeBody) {
    for (const cv::Size size : {cv::Size(640, 480), cv::Size(320, 240), cv::Size(1280, 720)}) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        const Scene scene(Config(ScriptWalkInAndRaise(), size, 0.0));
        const float scale = size.height / 480.0f;
        int standing = 0;
        for (int i = 0; i < scene.FrameCount(); i += 3) {
            const PersonTruth p = scene.Render(i).people[0];
            if (p.label.action == Action::kAbsent || p.label.action == Action::kWalkIn) {
                continue;
            }
            ++standing;
            EXPECT_NEAR(p.torsoHalfWidth / scale, 57.6f, 0.5f);
            EXPECT_GE(p.faceSize / p.torsoHalfWidth, 0.8f);
            EXPECT_LE(p.faceSize / p.torsoHalfWidth, 0.9f);
            EXPECT_GT(p.faceBox.y, 0.0f);
            // Fingertips reach 0.4 t beyond the hand centre.
            for (const cv::Point2f& hand : p.hands) {
                EXPECT_GT(hand.y - 0.4f * p.torsoHalfWidth, 0.0f) << "frame " << i;
            }
            EXPECT_LT(p.legJoints[kLegRightFoot].y, size.height - 1.0f);
            // The silhouette's rows span head to feet without touching the frame's top row.
            EXPECT_EQ(cv::countNonZero(p.silhouette.row(0)), 0) << "frame " << i;
        }
        EXPECT_GT(standing, 30);
    }
}

// ---------------------------------------------------------------------------------------------
// Labels: every labelled step shows the motion its label names.

void ExpectRunShowsItsMotion(const LabelRun& run) {
    const Label& label = run.label;
    const std::vector<PersonTruth>& f = run.frames;
    const PersonTruth& first = f.front();
    const PersonTruth& last = f.back();
    const float t = first.torsoHalfWidth;
    const int n = static_cast<int>(f.size());
    const auto hipY = [](const PersonTruth& p) { return p.joints[kJointHipCentre].y; };
    switch (label.action) {
        case Action::kSwipe: {
            EXPECT_GE(n, 8);
            EXPECT_LE(n, 15);
            for (int i = 1; i < n; ++i) {
                const float dx = f[i].hands[label.hand].x - f[i - 1].hands[label.hand].x;
                EXPECT_GT(dx * label.direction, 0.0f) << "step " << i;
            }
            EXPECT_GT((last.hands[label.hand].x - first.hands[label.hand].x) * label.direction,
                      1.5f * t);
            break;
        }
        case Action::kRaiseHand:
            EXPECT_LT(last.hands[label.hand].y, last.faceBox.y);
            EXPECT_GT(last.hands[1 - label.hand].y, hipY(last));
            break;
        case Action::kBothHandsUp:
            EXPECT_LT(last.hands[0].y, last.faceBox.y);
            EXPECT_LT(last.hands[1].y, last.faceBox.y);
            break;
        case Action::kWave: {
            int reversals = 0;
            for (int i = 2; i < n; ++i) {
                const float a = f[i - 1].hands[label.hand].x - f[i - 2].hands[label.hand].x;
                const float b = f[i].hands[label.hand].x - f[i - 1].hands[label.hand].x;
                reversals += a * b < 0.0f;
                EXPECT_LT(f[i].hands[label.hand].y, f[i].joints[kJointShoulderCentre].y);
            }
            EXPECT_GE(reversals, 4);
            break;
        }
        case Action::kDwell:
            EXPECT_GE(n, 30);
            for (const PersonTruth& p : f) {
                EXPECT_EQ(p.hands[label.hand], first.hands[label.hand]);
            }
            break;
        case Action::kHandsApart:
        case Action::kHandsTogether: {
            const auto gap = [](const PersonTruth& p) { return p.hands[0].x - p.hands[1].x; };
            const float sign = label.action == Action::kHandsApart ? 1.0f : -1.0f;
            EXPECT_GT((gap(last) - gap(first)) * sign, 2.0f * t);
            EXPECT_LT(std::fabs(last.hands[0].y - last.hands[1].y), 0.1f * t);
            break;
        }
        case Action::kLean: {
            const float tilt = last.torso.x - last.joints[kJointHipCentre].x;
            EXPECT_GT(tilt * label.direction, 0.3f * t);
            break;
        }
        case Action::kCrouch:
            EXPECT_GT(hipY(last) - hipY(first), t);
            break;
        case Action::kStandUp:
            EXPECT_LT(hipY(last) - hipY(first), -t);
            break;
        case Action::kWalkIn:
            EXPECT_GT((last.joints[kJointHipCentre].x - first.joints[kJointHipCentre].x) *
                          label.direction,
                      0.0f);
            break;
        case Action::kRest:
            EXPECT_GT(last.hands[0].y, hipY(last));
            EXPECT_GT(last.hands[1].y, hipY(last));
            break;
        case Action::kAbsent:
            for (const PersonTruth& p : f) {
                EXPECT_FALSE(p.visible);
            }
            break;
        case Action::kOpenHand:
            EXPECT_TRUE(last.palms[label.hand].open);
            EXPECT_FALSE(last.palms[label.hand].fist);
            EXPECT_LT(last.hands[label.hand].y, last.joints[kJointShoulderCentre].y);
            break;
        case Action::kFingerTap: {
            bool tapped = false;
            for (const PersonTruth& p : f) {
                tapped = tapped || p.palms[label.hand].tapping;
            }
            EXPECT_TRUE(tapped);
            EXPECT_LE(n, 12);
            break;
        }
        case Action::kFist:
            EXPECT_TRUE(last.palms[label.hand].fist);
            break;
        case Action::kMove:
            break;
    }
}

TEST(SynthScript, EveryLabelledStepShowsItsMotion) {
    struct Case {
        const char* name;
        Script script;
        std::vector<std::string> mustContain;
    };
    const Case cases[] = {
        {"demo",
         ScriptDemo(),
         {"absent", "walk in from image-left", "rest", "both hands up", "swipe hand 0 image-left",
          "swipe hand 0 image-right", "swipe hand 1 image-left", "swipe hand 1 image-right",
          "wave hand 0", "dwell hand 0", "lean image-left", "lean image-right"}},
        {"raise", ScriptWalkInAndRaise(), {"raise hand 0", "raise hand 1", "both hands up"}},
        {"apart", ScriptHandsApartTogether(), {"hands apart", "hands together"}},
        {"crouch", ScriptCrouch(), {"crouch", "stand up"}},
        {"wave", ScriptWave(), {"wave hand 0", "wave hand 1"}},
        {"dwell", ScriptDwell(), {"dwell hand 0", "dwell hand 1"}},
        {"palm", ScriptPalm(), {"open hand 1", "finger tap hand 1", "fist hand 1"}},
        {"from the right",
         ScriptRest({40, MakeAppearance(SkinTone::kLight, 1, 1, true), 0.12f, kImageRight}),
         {"walk in from image-right"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Scene scene(Config(c.script, {320, 240}, 0.0));
        std::vector<std::string> seen;
        for (const LabelRun& run : Runs(scene, 0)) {
            SCOPED_TRACE(run.label.Text() + " (" + std::to_string(run.frames.size()) + " frames)");
            ExpectRunShowsItsMotion(run);
            seen.push_back(run.label.Text());
        }
        for (const std::string& label : c.mustContain) {
            EXPECT_NE(std::find(seen.begin(), seen.end(), label), seen.end()) << label;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Pixels: silhouettes, noise, drift, determinism, sizes.

TEST(SynthScene, SilhouettesAreThePixelsThatDifferFromTheEmptyRoom) {
    const Scene scene(Config(ScriptTwoPeople(), {640, 480}, 2.0));
    int checked = 0;
    for (int i = 0; i < scene.FrameCount(); i += 25) {
        const Frame frame = scene.Render(i);
        const cv::Mat changed = ChangedPixels(frame.image, scene.Background(i));
        cv::Mat people = cv::Mat::zeros(frame.image.size(), CV_8UC1);
        for (const PersonTruth& p : frame.people) {
            EXPECT_EQ(cv::countNonZero(people & p.silhouette), 0) << "people overlap";
            people |= p.silhouette;
        }
        // Anti-aliased edges may tint pixels up to two pixels outside a silhouette (the faint
        // tail of a partly covered pixel), nothing farther out.
        cv::Mat near;
        cv::dilate(people, near, cv::getStructuringElement(cv::MORPH_RECT, {5, 5}));
        EXPECT_EQ(cv::countNonZero(changed & (near == 0)), 0) << "frame " << i;
        const int area = cv::countNonZero(people);
        if (area > 0) {
            EXPECT_GE(cv::countNonZero(changed & people), 0.98 * area) << "frame " << i;
            ++checked;
        }
    }
    EXPECT_GT(checked, 5);
}

TEST(SynthScene, NoiseAndDriftHaveTheConfiguredSize) {
    SceneConfig config = Config(ScriptEmptyRoom(500), {320, 240}, 2.0);
    config.driftAmplitude = 0.03;
    config.driftPeriod = 600;
    const Scene scene(config);
    cv::Mat room;
    scene.Room().convertTo(room, CV_32FC3);

    struct Case {
        int frame;
        double gain;
    };
    for (const Case& c : {Case{0, 1.0}, Case{150, 1.03}, Case{450, 0.97}}) {
        cv::Mat image;
        scene.Render(c.frame).image.convertTo(image, CV_32FC3);
        cv::Scalar mean, deviation;
        const cv::Mat error = image - room * c.gain;
        cv::meanStdDev(error.reshape(1), mean, deviation);
        EXPECT_NEAR(mean[0], 0.0, 0.6) << "frame " << c.frame;  // rounding to whole levels
        EXPECT_NEAR(deviation[0], 2.0, 0.15) << "frame " << c.frame;
    }
    SceneConfig quiet = Config(ScriptEmptyRoom(10), {320, 240}, 0.0);
    quiet.driftAmplitude = 0.0;
    const Scene still(quiet);
    EXPECT_EQ(cv::norm(still.Render(5).image, still.Room(), cv::NORM_INF), 0.0);
}

TEST(SynthScene, RenderingIsDeterministicAndRandomAccess) {
    SceneConfig config = Config(ScriptSwipes(), {320, 240}, 2.0);
    config.seed = 7;
    const Scene a(config);
    const Scene b(config);
    b.Render(120);
    b.Render(10);
    const Frame fa = a.Render(100);
    const Frame fb = b.Render(100);
    EXPECT_EQ(cv::norm(fa.image, fb.image, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(fa.people[0].silhouette, fb.people[0].silhouette, cv::NORM_INF), 0.0);
    EXPECT_EQ(fa.people[0].skeleton, fb.people[0].skeleton);

    // Another noise seed changes the noise only; another room seed changes the room.
    config.seed = 8;
    const Frame other = Scene(config).Render(100);
    EXPECT_GT(cv::norm(fa.image, other.image, cv::NORM_L1), 0.0);
    EXPECT_EQ(other.people[0].skeleton, fa.people[0].skeleton);
    config.room.seed = 99;
    EXPECT_GT(cv::norm(Scene(config).Room(), a.Room(), cv::NORM_L1), 0.0);
}

TEST(SynthScene, LayoutScalesWithTheFrameSize) {
    // People: positions relative to the frame are the same at every size (x of the body
    // axis by the width, everything else by the height, so wider frames only add room).
    const Script script = ScriptDemo();
    const Scene reference(Config(script, {640, 480}, 0.0));
    for (const cv::Size size : {cv::Size(320, 240), cv::Size(1280, 960), cv::Size(1280, 720)}) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        const Scene scene(Config(script, size, 0.0));
        for (int i = 60; i < scene.FrameCount(); i += 40) {
            const PersonTruth p = scene.Render(i).people[0];
            const PersonTruth r = reference.Render(i).people[0];
            const cv::Point2f axis = p.skeleton[kHipCentre], referenceAxis = r.skeleton[kHipCentre];
            EXPECT_NEAR(axis.x / size.width, referenceAxis.x / 640.0f, 1e-4f);
            for (int j = 0; j < kJointCount; ++j) {
                const cv::Point2f d = (p.skeleton[j] - axis) / static_cast<float>(size.height);
                const cv::Point2f e = (r.skeleton[j] - referenceAxis) / 480.0f;
                EXPECT_NEAR(d.x, e.x, 1e-4f) << "joint " << j << " frame " << i;
                EXPECT_NEAR(d.y, e.y, 1e-4f) << "joint " << j << " frame " << i;
            }
        }
    }
    // The room: a large rendering scaled down matches a small one except along edges.
    cv::Mat large;
    cv::resize(RenderEmptyRoom(1280, 960, 3), large, {320, 240}, 0, 0, cv::INTER_AREA);
    cv::Mat difference;
    cv::absdiff(large, RenderEmptyRoom(320, 240, 3), difference);
    EXPECT_LT(cv::mean(difference.reshape(1))[0], 4.0);
}

TEST(SynthScene, TwoPeopleKeepTheirIdentities) {
    const Scene scene(Config(ScriptTwoPeople(), {640, 480}, 2.0));
    int both = 0;
    bool leftRaisedWhileRightRested = false;
    for (int i = 0; i < scene.FrameCount(); i += 4) {
        const Frame frame = scene.Render(i);
        ASSERT_EQ(frame.people.size(), 2u);
        const PersonTruth& left = frame.people[0];
        const PersonTruth& right = frame.people[1];
        if (!left.visible || !right.visible) {
            continue;
        }
        ++both;
        EXPECT_LT(left.skeleton[kHipCentre].x, right.skeleton[kHipCentre].x) << "frame " << i;
        // Each silhouette is centred on its own person's body axis.
        for (const PersonTruth* p : {&left, &right}) {
            const cv::Moments m = cv::moments(p->silhouette, true);
            if (m.m00 > 0 && p->label.action != Action::kWalkIn) {
                EXPECT_NEAR(m.m10 / m.m00, p->skeleton[kHipCentre].x, 0.6 * p->torsoHalfWidth)
                    << "frame " << i;
            }
        }
        leftRaisedWhileRightRested |=
            left.label.action == Action::kRaiseHand && right.label.action == Action::kRest;
    }
    EXPECT_GT(both, 30);
    EXPECT_TRUE(leftRaisedWhileRightRested);
}

TEST(SynthScene, OddRequestsStayWellDefined) {
    // A tiny frame, frames before the start and past the end, and a script without people.
    const Scene tiny(Config(ScriptDemo(), {16, 12}, 2.0));
    const Frame before = tiny.Render(-3);
    EXPECT_EQ(before.image.size(), cv::Size(16, 12));
    const Frame after = tiny.Render(tiny.FrameCount() + 50);
    EXPECT_EQ(after.people[0].label.action, Action::kRest);
    EXPECT_EQ(after.people[0].skeleton, tiny.Render(tiny.FrameCount() - 1).people[0].skeleton);

    const Scene empty(Config(Script{}, {64, 48}, 0.0));
    EXPECT_EQ(empty.FrameCount(), 0);
    const Frame nobody = empty.Render(0);
    EXPECT_TRUE(nobody.people.empty());
    EXPECT_EQ(cv::norm(nobody.image, empty.Room(), cv::NORM_INF), 0.0);

    // A person placed far outside the picture is not visible and leaves the room untouched.
    TrackBuilder far(MakeAppearance(SkinTone::kBrown, 3, 2, false));
    far.Absent(5, kImageRight);
    const Scene away(Config(Script{{far.Build()}}, {64, 48}, 0.0));
    EXPECT_FALSE(away.Render(2).people[0].visible);
}

}  // namespace
}  // namespace olvar::synth
