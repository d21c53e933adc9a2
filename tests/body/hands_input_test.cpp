// Bad input to the hand operations: missing or mis-sized maps, sizes and positions far outside
// the frame, non-finite values. Each is refused or handled without reading or writing outside
// the images (the sanitizer build checks the latter).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "fixtures/hands_scene.h"

namespace olvar {
namespace {

using testing::BodyScene;
using testing::HandsRig;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// A rig with both hands started on arms held out and down, fed the same frame again.
struct StartedRig {
    StartedRig() : rig(scene) {
        const testing::BodyPose pose{
            "", {testing::poses::kOutAndDown, testing::Mirror(testing::poses::kOutAndDown)}};
        rig.Feed(scene.Render(pose, testing::Appearances()[0]));
        started = rig.Start();
    }
    BodyScene scene;
    HandsRig rig;
    int started;
};

TEST(HandsInput, DetectionRefusesUnusableInput) {
    struct Case {
        std::string name;
        void (*spoil)(UserTracker&);
    };
    const std::vector<Case> cases = {
        {"no torso size", [](UserTracker& t) { t.torsoSize = 0; }},
        {"huge torso size", [](UserTracker& t) { t.torsoSize = INT_MAX; }},
        {"huge skeleton scale", [](UserTracker& t) { t.skeleton.bodyScale = 1e12; }},
        {"non-finite skeleton scale", [](UserTracker& t) { t.skeleton.bodyScale = kNaN; }},
        {"torso far right", [](UserTracker& t) { t.torsoX = 1e9f; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartedRig s;
        c.spoil(s.rig.tracker);
        EXPECT_EQ(s.rig.tracker.StartHands(s.rig.foreground.data(), s.rig.skinWithFace.data(),
                                           s.rig.colour, s.rig.changed.data(),
                                           s.rig.motionCount.data(), 4),
                  1);
    }
    StartedRig s;
    HandsRig& r = s.rig;
    EXPECT_EQ(r.tracker.StartHands(nullptr, r.skinWithFace.data(), r.colour, r.changed.data(),
                                   r.motionCount.data(), 4),
              1);
}

TEST(HandsInput, DetectionToleratesOddButUsableInput) {
    struct Case {
        std::string name;
        void (*spoil)(UserTracker&, cv::Mat& colour, int& d);
    };
    const std::vector<Case> cases = {
        {"zero count divisor", [](UserTracker&, cv::Mat&, int& d) { d = 0; }},
        {"colour of the wrong size",
         [](UserTracker& t, cv::Mat& colour, int&) {
             colour = cv::Mat(10, 10, CV_8UC3, cv::Scalar(1, 2, 3));
             t.handColour[0].present = true;
         }},
        {"torso above the frame", [](UserTracker& t, cv::Mat&, int&) { t.torsoY = -1e9f; }},
        {"torso at the corner",
         [](UserTracker& t, cv::Mat&, int&) {
             t.torsoX = 0;
             t.torsoY = 149;
         }},
        {"non-finite torso", [](UserTracker& t, cv::Mat&, int&) { t.torsoX = kNaN; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartedRig s;
        HandsRig& r = s.rig;
        cv::Mat colour = r.colour;
        int d = 4;
        c.spoil(r.tracker, colour, d);
        const int result = r.tracker.StartHands(r.foreground.data(), r.skinWithFace.data(), colour,
                                                r.changed.data(), r.motionCount.data(), d);
        EXPECT_TRUE(result == 0 || result == 1);
    }
}

TEST(HandsInput, TrackingRefusesOrToleratesBadInput) {
    struct Case {
        std::string name;
        void (*spoil)(UserTracker&, cv::Mat& mask, cv::Mat& skin);
        bool refused;  // 10 at once, hands untouched
    };
    const std::vector<Case> cases = {
        {"mask of the wrong size",
         [](UserTracker&, cv::Mat& mask, cv::Mat&) { mask = cv::Mat::zeros(100, 100, CV_8UC1); },
         true},
        {"no mask", [](UserTracker&, cv::Mat& mask, cv::Mat&) { mask = cv::Mat(); }, true},
        {"huge torso size", [](UserTracker& t, cv::Mat&, cv::Mat&) { t.torsoSize = 1 << 30; },
         true},
        {"skin map of the wrong size",
         [](UserTracker&, cv::Mat&, cv::Mat& skin) { skin = cv::Mat::zeros(3, 3, CV_8UC1); },
         false},
        {"non-finite hands",
         [](UserTracker& t, cv::Mat&, cv::Mat&) {
             t.handX[0] = kNaN;
             t.handY[1] = -kNaN;
         },
         false},
        {"huge hand steps",
         [](UserTracker& t, cv::Mat&, cv::Mat&) {
             t.handStepX[0] = INT_MAX;
             t.handStepY[1] = INT_MIN;
         },
         false},
        {"hands far away",
         [](UserTracker& t, cv::Mat&, cv::Mat&) {
             t.handX[0] = 1e20f;
             t.handY[1] = -1e20f;
         },
         false},
        {"other user far away",
         [](UserTracker& t, cv::Mat&, cv::Mat&) {
             t.otherPresent = true;
             t.otherX = INT_MIN;
             t.otherSize = INT_MAX;
         },
         false},
        {"torso at the frame corner",
         [](UserTracker& t, cv::Mat&, cv::Mat&) {
             t.torsoX = 199;
             t.torsoY = 149;
             t.faceFound = false;
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartedRig s;
        ASSERT_EQ(s.started, 0);
        HandsRig& r = s.rig;
        cv::Mat mask = r.mask, skin = r.skin;
        c.spoil(r.tracker, mask, skin);
        const float x0 = r.tracker.handX[0];
        const int result =
            r.tracker.TrackHands(mask, r.foreground.data(), r.faceFreeSkin.data(), skin,
                                 r.changed.data(), r.motionCount.data(), 4, HandSelector::kBoth);
        if (c.refused) {
            EXPECT_EQ(result, 10);
            EXPECT_EQ(r.tracker.handX[0], x0);
        } else {
            EXPECT_TRUE(result == 0 || result == 1 || result == 10) << result;
        }
    }
}

TEST(HandsInput, FaceSkinAndNeighbourToleratesBadInput) {
    UserTracker t;
    Integral faceFree;
    cv::Mat wrong = cv::Mat::ones(10, 10, CV_8UC1);
    t.RemoveFaceSkin(wrong, faceFree);
    EXPECT_EQ(faceFree.size(), 200u * 150u);  // an empty skin integral of the working size
    EXPECT_EQ(IntegralTotal(faceFree), 0);

    struct Case {
        std::string name;
        float faceX, faceY, faceSize;
        int torsoSize, handSize;
    };
    const std::vector<Case> cases = {
        {"face far right", 1e30f, 40, 20, 20, 10},
        {"face above", 100, -1e30f, 20, 20, 10},
        {"huge sizes", 100, 40, 1e30f, INT_MAX, INT_MAX},
        {"non-finite face", kNaN, kNaN, kNaN, 20, 10},
        {"face at the corner", 0, 0, 20, 20, 10},
    };
    cv::Mat fg(150, 200, CV_8UC1, cv::Scalar(1));
    Integral fgI;
    BuildIntegral(fgI, fg);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        t.faceX = c.faceX;
        t.faceY = c.faceY;
        t.faceSize = c.faceSize;
        t.torsoSize = c.torsoSize;
        t.handSizeInt[0] = c.handSize;
        cv::Mat skin(150, 200, CV_8UC1, cv::Scalar(1));
        t.RemoveFaceSkin(skin, faceFree);
        EXPECT_EQ(faceFree.size(), 200u * 150u);
        t.present = true;
        const int result = t.MarkNeighbourRegion(fgI.data());
        EXPECT_TRUE(result == 0 || result == 1);
    }
    t.present = true;
    EXPECT_EQ(t.MarkNeighbourRegion(nullptr), 1);
}

}  // namespace
}  // namespace olvar
