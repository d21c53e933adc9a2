// The face region: the box found from the skin or from the head's outline, its score, its
// squaring in working pixels, and the square in frame pixels that hosts receive.
#include <gtest/gtest.h>

#include <memory>

#include "imaging/integral.h"
#include "users/per_user_state.h"

namespace olvar {
namespace {

constexpr int W = 200;
constexpr int H = 150;

// A user standing upright: head square columns 90..109, rows 20..59, body columns 60..139 below
// it; face at (100, 40) of size 20, torso half-width 20, neck top at row 60. No motion.
class FaceRegionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        state = std::make_unique<PerUserState>();
        UserTracker& u = state->users[0];
        u.handsReady = true;
        u.faceX = 100;
        u.faceY = 40;
        u.faceSize = 20;
        u.torsoSize = 20;
        u.skeleton.J(BodySkeleton::kNeckTop).x = 100;
        u.skeleton.J(BodySkeleton::kNeckTop).y = 60;
        foreground = cv::Mat::zeros(H, W, CV_8UC1);
        foreground(cv::Rect(90, 20, 20, 40)).setTo(1);
        foreground(cv::Rect(60, 60, 80, 90)).setTo(1);
        BuildIntegral(foregroundIntegral, foreground);
        motionIntegral.assign(static_cast<size_t>(W) * H, 0);
    }

    // Puts the same skin patch into the raw and the processed skin map.
    void SetSkin(const cv::Rect& patch) {
        state->rawSkinMap.setTo(0);
        state->skinMap.setTo(0);
        if (patch.area() > 0) {
            state->rawSkinMap(patch).setTo(1);
            state->skinMap(patch).setTo(1);
        }
        BuildIntegral(state->skinIntegral, state->skinMap);
    }

    int Run(cv::Rect* box) {
        return state->FaceRegion(0, foreground, foregroundIntegral.data(), motionIntegral.data(),
                                 box);
    }

    std::unique_ptr<PerUserState> state;
    cv::Mat foreground;
    Integral foregroundIntegral;
    Integral motionIntegral;
};

TEST_F(FaceRegionTest, FindsScoresAndSquaresTheFaceBox) {
    struct Case {
        const char* name;
        cv::Rect skin;
        int result;
        int left, top, right, bottom;  // the squared box when found
    };
    const Case cases[] = {
        // Little skin in the first box: the head outline gives columns 90..109, rows 19..53;
        // its side 34 squares to 36, placed from column 82 (the left-half rule widens by one
        // on each side).
        {"outline of the head", cv::Rect(92, 26, 17, 5), 0, 82, 18, 119, 54},
        // A skin blob fills the first box: the box shrinks to the rows and columns whose 5 x 5
        // windows are mostly skin (94..105 x 32..50), is widened by 2 and raised by 4, and its
        // bottom goes back to the neck.
        {"tightened to the skin", cv::Rect(94, 32, 12, 19), 0, 84, 26, 117, 58},
        // The outline without any skin in its middle band scores 0.6, below 0.65.
        {"outline without skin", cv::Rect(), 1, 0, 0, 0, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SetUp();
        SetSkin(k.skin);
        cv::Rect box(-1, -1, -1, -1);
        ASSERT_EQ(Run(&box), k.result);
        const UserTracker& u = state->users[0];
        if (k.result != 0) {
            EXPECT_EQ(box, cv::Rect(-1, -1, -1, -1));
            EXPECT_EQ(u.faceX, 100);
            EXPECT_EQ(u.faceY, 40);
            continue;
        }
        EXPECT_EQ(box.x, k.left);
        EXPECT_EQ(box.y, k.top);
        EXPECT_EQ(box.x + box.width, k.right);
        EXPECT_EQ(box.y + box.height, k.bottom);
        // The face follows the square's centre.
        EXPECT_EQ(u.faceX, (k.left + k.right) >> 1);
        EXPECT_EQ(u.faceY, (k.top + k.bottom) >> 1);
    }
}

// With the neck top above the face the first box is upside down (rows 30 down to 17): it holds
// little skin by the four-lookup sum, so it is "tightened" (left as it is), widened and raised to
// rows 26 down to 17. Its densities are counts over its negative area: foreground 1, skin in the
// middle band 20 / 140; the score 0.7 passes and the side 24 squares around column 100, row 21.
TEST_F(FaceRegionTest, UpsideDownBoxIsMeasuredBetweenItsBounds) {
    UserTracker& u = state->users[0];
    u.skeleton.J(BodySkeleton::kNeckTop).y = 20;
    foreground(cv::Rect(88, 15, 25, 45)).setTo(1);
    BuildIntegral(foregroundIntegral, foreground);
    SetSkin(cv::Rect(95, 20, 10, 2));
    cv::Rect box;
    ASSERT_EQ(Run(&box), 0);
    EXPECT_EQ(box, cv::Rect(89, 9, 25, 24));
}

TEST_F(FaceRegionTest, NoRegionForAUserWithoutHands) {
    state->users[0].handsReady = false;
    SetSkin(cv::Rect(92, 26, 17, 5));
    cv::Rect box(1, 2, 3, 4);
    EXPECT_EQ(Run(&box), 1);
    EXPECT_EQ(box, cv::Rect(1, 2, 3, 4));
    EXPECT_EQ(
        state->FaceRegion(2, foreground, foregroundIntegral.data(), motionIntegral.data(), &box),
        1);
}

// The square in frame pixels: the side comes from the width alone.
TEST(SquareFaceRegionInFrame, ScalesCentresAndKeepsTheSquareInTheFrame) {
    struct Case {
        const char* name;
        cv::Rect box;  // working pixels
        float scale;
        int frameWidth;
        FaceSquare expected;
    };
    const Case cases[] = {
        // Width 39 gives side 40 whatever the height; centre x 301 in a 320-wide frame: the
        // right edge is lowered to 319.
        {"right half, at the frame edge",
         cv::Rect(282, 100, 39, 60),
         1.0f,
         320,
         {279, 110, 319, 150}},
        // Centre y 10 with half side 22: the top is raised to 0 and the bottom follows.
        {"near the top", cv::Rect(100, 0, 40, 20), 1.0f, 320, {98, 0, 142, 44}},
        // Left half, centre x 10 with half side 12: the left edge is raised to 0.
        {"left half, at the frame edge", cv::Rect(0, 50, 20, 20), 1.0f, 320, {0, 48, 24, 72}},
        // Scaled by 1.6 and truncated: 82..119 x 18..54 becomes 131..190 x 28..86.
        {"scaled", cv::Rect(82, 18, 37, 36), 1.6f, 320, {130, 27, 190, 87}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const FaceSquare s = SquareFaceRegionInFrame(k.box, k.scale, k.frameWidth);
        EXPECT_EQ(s.left, k.expected.left);
        EXPECT_EQ(s.top, k.expected.top);
        EXPECT_EQ(s.right, k.expected.right);
        EXPECT_EQ(s.bottom, k.expected.bottom);
    }
}

}  // namespace
}  // namespace olvar
