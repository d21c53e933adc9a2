// Preparation of the hand search: erasing the face's skin blob (with the face extent kept
// between frames) and marking a second silhouette beside the user.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "body/user_tracker.h"
#include "imaging/integral.h"

namespace olvar {
namespace {

// Face at (100, 40), size 20, torso half-width 20, hand size 10 (so a hand counts as near the
// face within 11 pixels of the outer box), both hands far below.
void SetUpFace(UserTracker& t) {
    t.faceX = 100;
    t.faceY = 40;
    t.faceSize = 20;
    t.torsoSize = 20;
    t.handSizeInt[0] = 10;
    t.skeleton.J(BodySkeleton::kRightHand).x = 150;
    t.skeleton.J(BodySkeleton::kRightHand).y = 130;
    t.skeleton.J(BodySkeleton::kLeftHand).x = 50;
    t.skeleton.J(BodySkeleton::kLeftHand).y = 130;
}

int Count(const cv::Mat& m, const cv::Rect& r) {
    return cv::countNonZero(m(r));
}

TEST(HandsFaceSkin, ErasesTheFaceBlobInsideItsExtent) {
    // A face with its neck, a thin skin strip hanging from the neck (too thin to widen the
    // measured extent) and a hand. The strip is erased as far as the outer box reaches: to row
    // 71 when the extent is measured (down to row 64, grown by 333/256), to row 76 when a hand
    // near the face stops the measurement.
    struct Case {
        std::string name;
        bool handNearFace;
        bool row74Cleared;
    };
    for (const Case& c :
         {Case{"extent measured", false, false}, Case{"hand near the face", true, true}}) {
        SCOPED_TRACE(c.name);
        UserTracker t;
        SetUpFace(t);
        if (c.handNearFace) {
            t.skeleton.J(BodySkeleton::kRightHand).x = 125;
            t.skeleton.J(BodySkeleton::kRightHand).y = 60;
        }
        cv::Mat skin = cv::Mat::zeros(150, 200, CV_8UC1);
        cv::ellipse(skin, {100, 40}, {8, 11}, 0, 0, 360, 1, cv::FILLED);
        skin(cv::Rect(95, 51, 11, 12)).setTo(1);   // neck, rows 51..62
        skin(cv::Rect(99, 62, 3, 24)).setTo(1);    // strip, rows 62..85
        skin(cv::Rect(145, 95, 10, 10)).setTo(1);  // hand
        Integral faceFree;
        t.RemoveFaceSkin(skin, faceFree);

        EXPECT_EQ(Count(skin, {85, 20, 31, 43}), 0);  // face and neck gone
        EXPECT_EQ(Count(skin, {145, 95, 10, 10}), 100);
        EXPECT_EQ(skin.at<uint8_t>(71, 100), 0);
        EXPECT_EQ(skin.at<uint8_t>(74, 100) == 0, c.row74Cleared);
        EXPECT_EQ(skin.at<uint8_t>(80, 100), 1);
        Integral expected;
        BuildIntegral(expected, skin);
        EXPECT_EQ(faceFree, expected);
        EXPECT_EQ(t.faceExtent.updates, c.handNearFace ? 0 : 1);
        if (!c.handNearFace) {
            EXPECT_EQ(t.faceExtent.down, 24);
            EXPECT_GT(t.faceExtent.up, 5);  // inside the ellipse's 11-row half-height
            EXPECT_LT(t.faceExtent.up, 11);
        }
    }
}

TEST(HandsFaceSkin, FaceExtentGrowsSlowlyAndIsRenewedEveryEleventhTime) {
    // A square face of half-side s around (100, 40): its 5 x 5 windows qualify from s - 1
    // pixels out, so every offset measures s - 1.
    UserTracker t;
    SetUpFace(t);
    auto measure = [&](int halfWidth, int halfHeight) {
        cv::Mat skin = cv::Mat::zeros(150, 200, CV_8UC1);
        skin(cv::Rect(100 - halfWidth, 40 - halfHeight, 2 * halfWidth + 1, 2 * halfHeight + 1))
            .setTo(1);
        Integral faceFree;
        t.RemoveFaceSkin(skin, faceFree);
    };
    measure(10, 10);  // the first measurement is taken as it is
    EXPECT_EQ(t.faceExtent.left, 9);
    EXPECT_EQ(t.faceExtent.up, 9);
    measure(15, 28);  // sideways by 5 (less than 11): grows; upward by 18: does not
    EXPECT_EQ(t.faceExtent.left, 14);
    EXPECT_EQ(t.faceExtent.right, 14);
    EXPECT_EQ(t.faceExtent.up, 9);
    EXPECT_EQ(t.faceExtent.down, 9);
    for (int i = 0; i < 9; ++i) {
        measure(5, 5);  // smaller: kept
    }
    EXPECT_EQ(t.faceExtent.updates, 11);
    EXPECT_EQ(t.faceExtent.left, 14);
    measure(5, 5);  // the twelfth measurement replaces the extent
    EXPECT_EQ(t.faceExtent.updates, 0);
    EXPECT_EQ(t.faceExtent.left, 4);
    EXPECT_EQ(t.faceExtent.down, 4);
}

TEST(HandsFaceSkin, MarksASecondSilhouetteBesideTheUser) {
    struct Case {
        std::string name;
        bool present;
        float faceX;
        cv::Rect other;  // the second silhouette, empty for none
        int result;
        bool marked;
        int otherX, otherSize;
    };
    const std::vector<Case> cases = {
        {"user not present", false, 150, {20, 10, 70, 140}, 1, false, 0, 0},
        // Band 60..127 from the left; the scan starts at column 86 and finds the first
        // empty column at 90.
        {"person left of a user on the right", true, 150, {20, 10, 70, 140}, 0, true, 75, 15},
        // Band 73..140; the scan starts at 113 and moves left to the empty column 109.
        {"person right of a user on the left", true, 50, {110, 10, 70, 140}, 0, true, 124, 15},
        {"nobody beside", true, 150, {}, 1, false, 0, 0},
        {"no gap in the band", true, 150, {20, 10, 108, 140}, 0, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UserTracker t;
        t.present = c.present;
        t.faceX = c.faceX;
        t.torsoSize = 20;
        cv::Mat fg = cv::Mat::zeros(150, 200, CV_8UC1);
        if (!c.other.empty()) {
            fg(c.other).setTo(1);
        }
        Integral integral;
        BuildIntegral(integral, fg);
        EXPECT_EQ(t.MarkNeighbourRegion(integral.data()), c.result);
        EXPECT_EQ(t.otherPresent, c.marked);
        if (c.marked) {
            EXPECT_EQ(t.otherX, c.otherX);
            EXPECT_EQ(t.otherY, 2);
            EXPECT_EQ(t.otherSize, c.otherSize);
        }
    }
}

}  // namespace
}  // namespace olvar
