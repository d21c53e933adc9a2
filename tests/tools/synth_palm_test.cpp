// The palm scene's hand and its ground truth: the open hand lies on the drawn skin with its
// thumb toward the head, the fingers are apart, taps shorten the index finger to about half for
// a few frames, a fist curls every finger, and the script runs in the order the palm analysis
// is exercised in (arms down, raised open hand, taps, fist, open, lowered).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "synth/scene.h"

namespace olvar::synth {
namespace {

constexpr int kHand = 1;  // the image-left arm's hand

float Distance(cv::Point2f a, cv::Point2f b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

bool OnSkin(const cv::Mat& skin, cv::Point2f p) {
    const int x = static_cast<int>(p.x), y = static_cast<int>(p.y);
    return x >= 0 && y >= 0 && x < skin.cols && y < skin.rows && skin.at<uint8_t>(y, x) == 1;
}

class PalmScene : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        SceneConfig config;
        config.script = ScriptPalm();
        scene_ = new Scene(config);
    }
    static void TearDownTestSuite() {
        delete scene_;
        scene_ = nullptr;
    }
    static Scene* scene_;
};
Scene* PalmScene::scene_ = nullptr;

TEST_F(PalmScene, OpenHandLiesOnTheDrawnSkinWithTheThumbTowardTheHead) {
    int openFrames = 0;
    for (int i = 0; i < scene_->FrameCount(); i += 7) {
        const Frame frame = scene_->Render(i);
        const PersonTruth& person = frame.people[0];
        const PalmTruth& palm = person.palms[kHand];
        if (!palm.open || palm.fist || frame.labels[0] == "move") {
            continue;  // closed, or turning while it is raised or lowered
        }
        SCOPED_TRACE(testing::Message() << "frame " << i << " (" << frame.labels[0] << ")");
        ++openFrames;
        EXPECT_NEAR(palm.radius, 0.24f * person.torsoHalfWidth, 1e-3f);
        EXPECT_TRUE(OnSkin(person.skin, palm.centre));
        for (int f = 0; f < 5; ++f) {
            // A pixel inside the finger just short of its tip, and the base.
            const cv::Point2f inward =
                palm.tips[f] +
                (palm.bases[f] - palm.tips[f]) * (2.0f / Distance(palm.tips[f], palm.bases[f]));
            EXPECT_TRUE(OnSkin(person.skin, inward)) << "finger " << f;
            EXPECT_TRUE(OnSkin(person.skin, palm.bases[f])) << "finger " << f;
        }
        // The raised image-left hand: the thumb lies on the image right of the palm, toward
        // the head, and the little finger on the other side.
        EXPECT_GT(palm.tips[0].x, palm.centre.x + palm.radius);
        EXPECT_LT(palm.tips[4].x, palm.tips[2].x);
        EXPECT_LT(palm.tips[0].x, person.face.x) << "the thumb stays beside the head";
        // Spread fingers: every two tips at least half a palm radius apart.
        for (int a = 0; a < 5; ++a) {
            for (int b = a + 1; b < 5; ++b) {
                EXPECT_GT(Distance(palm.tips[a], palm.tips[b]), 0.5f * palm.radius);
            }
        }
    }
    EXPECT_GT(openFrames, 30);
}

TEST_F(PalmScene, ScriptOrderAndTapsOfHalfTheIndexLength) {
    enum class Phase { kDown, kOpen, kTap, kFist };
    std::vector<Phase> phases;
    float openIndex = 0.0f, shortestIndex = 1e9f;
    int tapRuns = 0, tapFrames = 0, longestTap = 0, run = 0;
    for (int i = 0; i < scene_->FrameCount(); ++i) {
        const PalmTruth& palm = scene_->Render(i).people[0].palms[kHand];
        const Phase phase = !palm.open     ? Phase::kDown
                            : palm.fist    ? Phase::kFist
                            : palm.tapping ? Phase::kTap
                                           : Phase::kOpen;
        if (phases.empty() || phases.back() != phase) {
            phases.push_back(phase);
        }
        const float index = Distance(palm.tips[1], palm.bases[1]) / palm.radius;
        if (phase == Phase::kOpen) {
            openIndex = std::max(openIndex, index);
        }
        if (phase == Phase::kTap) {
            shortestIndex = std::min(shortestIndex, index);
            ++tapFrames;
            tapRuns += run == 0 ? 1 : 0;
            longestTap = std::max(longestTap, ++run);
        } else {
            run = 0;
        }
        if (phase == Phase::kFist) {
            for (int f = 0; f < 5; ++f) {
                EXPECT_LT(Distance(palm.tips[f], palm.centre), 2.2f * palm.radius)
                    << "frame " << i << " finger " << f;
            }
        }
    }
    const std::vector<Phase> expected = {Phase::kDown, Phase::kOpen, Phase::kTap,  Phase::kOpen,
                                         Phase::kTap,  Phase::kOpen, Phase::kTap,  Phase::kOpen,
                                         Phase::kTap,  Phase::kOpen, Phase::kFist, Phase::kOpen,
                                         Phase::kDown};
    EXPECT_EQ(phases, expected);
    EXPECT_EQ(tapRuns, 4);
    EXPECT_LE(longestTap, 8) << "a tap lasts a few frames";
    EXPECT_NEAR(shortestIndex / openIndex, 0.5f, 0.05f);
    // The hand starts down: the first open frame comes after the person stands at rest.
    EXPECT_GT(tapFrames, 4 * 3);
}

TEST_F(PalmScene, HandsStartBelowTheShouldersAndTheOpenHandIsRaisedBesideTheHead) {
    bool sawRaised = false;
    for (int i = 0; i < scene_->FrameCount(); i += 5) {
        const Frame frame = scene_->Render(i);
        const PersonTruth& person = frame.people[0];
        const PalmTruth& palm = person.palms[kHand];
        const cv::Point2f shoulders = person.skeleton[kShoulderCentre];
        if (!palm.open || frame.labels[0] == "move") {
            continue;
        }
        sawRaised = true;
        EXPECT_LT(palm.centre.y, shoulders.y) << "frame " << i;
        EXPECT_LT(palm.centre.x, person.skeleton[kNeckTop].x - 0.5f * person.torsoHalfWidth)
            << "frame " << i;
    }
    EXPECT_TRUE(sawRaised);
    const PersonTruth first = scene_->Render(110).people[0];
    EXPECT_GT(first.hands[kHand].y, first.skeleton[kShoulderCentre].y) << "arms start down";
}

}  // namespace
}  // namespace olvar::synth
