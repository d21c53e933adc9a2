// The hand-region test and the box operations shared by the palm analysis and the hand-mask
// preparation: the raised-hand conditions, tightening, hole filling, centroids and the edge map,
// each also for boxes reaching past the image.
#include <gtest/gtest.h>

#include <memory>

#include "palm/hand_region.h"
#include "palm_masks.h"

namespace olvar {
namespace {

using palm_masks::Blank;
using palm_masks::IntegralOf;

constexpr int W = 200;
constexpr int H = 150;

// ---------------------------------------------------------------------------------------------
// TightenBox

struct TightenCase {
    const char* name;
    cv::Rect blob;  // set pixels
    HandBox box;
    bool found;
    HandBox expected;  // when found
};

TEST(TightenBox, ShrinksToTheSetPixelsAndWidensByOne) {
    const TightenCase cases[] = {
        {"inside", {50, 40, 20, 10}, {30, 30, 100, 80}, true, {49, 39, 70, 50}},
        {"box past every border", {50, 40, 20, 10}, {-40, -30, 900, 700}, true, {49, 39, 70, 50}},
        {"blob in the top-left corner", {0, 0, 5, 4}, {-10, -10, 30, 30}, true, {0, 0, 5, 4}},
        {"blob in the bottom-right corner",
         {195, 146, 5, 4},
         {150, 100, 260, 260},
         true,
         {194, 145, 199, 149}},
        {"blob cut by the box", {50, 40, 20, 10}, {60, 45, 100, 100}, true, {59, 44, 70, 50}},
        {"single pixel in column 0", {0, 70, 1, 1}, {0, 60, 10, 80}, true, {0, 69, 1, 71}},
        {"no set pixel in the box", {50, 40, 20, 10}, {100, 100, 120, 120}, false, {}},
        {"inverted box", {50, 40, 20, 10}, {80, 30, 40, 60}, false, {}},
        // Clamped onto the corner pixel (0, 0), which is clear.
        {"box wholly outside", {50, 40, 20, 10}, {-50, -50, -10, -10}, false, {}},
    };
    for (const TightenCase& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat mask = Blank(W, H);
        mask(c.blob).setTo(1);
        const Integral integral = IntegralOf(mask);
        HandBox box = c.box;
        const bool found = TightenBox({mask, integral.data()}, &box);
        ASSERT_EQ(found, c.found);
        if (c.found) {
            EXPECT_EQ(box.x0, c.expected.x0);
            EXPECT_EQ(box.y0, c.expected.y0);
            EXPECT_EQ(box.x1, c.expected.x1);
            EXPECT_EQ(box.y1, c.expected.y1);
        } else {
            EXPECT_EQ(box, c.box) << "a failed tightening leaves the box as it was";
        }
    }
}

TEST(TightenBox, RefusesMissingInput) {
    cv::Mat mask = Blank(W, H);
    HandBox box{10, 10, 20, 20};
    EXPECT_FALSE(TightenBox({mask, nullptr}, &box));
    const cv::Mat empty;
    const Integral none;
    EXPECT_FALSE(TightenBox({empty, none.data()}, &box));
}

// ---------------------------------------------------------------------------------------------
// FillHoles

TEST(FillHoles, FillsEnclosedHolesOnlyInsideTheBox) {
    cv::Mat mask = Blank(W, H);
    // A ring with a hole, and a cup whose opening reaches the box border.
    mask(cv::Rect(20, 20, 30, 30)).setTo(1);
    mask(cv::Rect(30, 30, 10, 10)).setTo(0);
    mask(cv::Rect(60, 20, 30, 30)).setTo(1);
    mask(cv::Rect(70, 20, 10, 20)).setTo(0);  // open to row 20, the box's top row
    FillScratch scratch;
    ASSERT_TRUE(FillHoles({15, 20, 95, 55}, mask, &scratch));
    EXPECT_EQ(cv::countNonZero(mask(cv::Rect(30, 30, 10, 10))), 100) << "hole filled";
    EXPECT_EQ(cv::countNonZero(mask(cv::Rect(70, 20, 10, 20))), 0) << "cup open to the border";
    EXPECT_EQ(cv::countNonZero(mask(cv::Rect(0, 0, W, 15))), 0) << "outside left alone";

    // The same ring seen through a box that cuts it: its hole now touches the border.
    cv::Mat cut = Blank(W, H);
    cut(cv::Rect(20, 20, 30, 30)).setTo(1);
    cut(cv::Rect(30, 30, 10, 10)).setTo(0);
    ASSERT_TRUE(FillHoles({35, 10, 60, 60}, cut, &scratch));
    EXPECT_EQ(cv::countNonZero(cut(cv::Rect(30, 30, 10, 10))), 0);
}

TEST(FillHoles, ClampsTheBoxAndRefusesEmptyOnes) {
    cv::Mat mask = Blank(W, H);
    mask(cv::Rect(0, 0, 12, 12)).setTo(1);
    mask(cv::Rect(3, 3, 4, 4)).setTo(0);
    FillScratch scratch;
    ASSERT_TRUE(FillHoles({-30, -30, 11, 11}, mask, &scratch));
    EXPECT_EQ(cv::countNonZero(mask(cv::Rect(0, 0, 12, 12))), 144);
    EXPECT_FALSE(FillHoles({50, 50, 40, 60}, mask, &scratch));
    cv::Mat wrongType(H, W, CV_8UC3, cv::Scalar::all(0));
    EXPECT_FALSE(FillHoles({0, 0, 10, 10}, wrongType, &scratch));
}

// ---------------------------------------------------------------------------------------------
// BoxCentroid

TEST(BoxCentroid, MeanOfTheSetPixelsAndTheNarrowedColumns) {
    cv::Mat mask = Blank(W, H);
    mask(cv::Rect(40, 30, 11, 5)).setTo(1);  // columns 40..50, rows 30..34
    mask.at<uint8_t>(34, 60) = 1;
    cv::Rect box(20, 20, 60, 40);
    const Centroid c = BoxCentroid(&box, mask);
    EXPECT_EQ(c.count, 56);
    EXPECT_EQ(c.x, (11 * 5 * 45 + 60) / 56);
    EXPECT_EQ(c.y, (11 * (30 + 31 + 32 + 33 + 34) + 34) / 56);
    EXPECT_EQ(box.x, 40);
    EXPECT_EQ(box.x + box.width - 1, 60);
    EXPECT_EQ(box.y, 20) << "rows are kept";
    EXPECT_EQ(box.height, 40);

    cv::Rect outside(-100, -100, 50, 50);
    EXPECT_EQ(BoxCentroid(&outside, mask).count, 0);
    EXPECT_TRUE(outside.empty());
    cv::Rect past(190, 140, 500, 500);
    mask.at<uint8_t>(149, 199) = 1;
    const Centroid corner = BoxCentroid(&past, mask);
    EXPECT_EQ(corner.count, 1);
    EXPECT_EQ(corner.x, 199);
    EXPECT_EQ(corner.y, 149);
}

// ---------------------------------------------------------------------------------------------
// EdgesInBox

TEST(EdgesInBox, EdgesOnlyInsideTheRoi) {
    cv::Mat grey(H, W, CV_8UC1, cv::Scalar(20));
    grey(cv::Rect(30, 30, 40, 40)).setTo(230);
    grey(cv::Rect(120, 30, 40, 40)).setTo(230);
    cv::Mat edges;
    CannyWork work;
    EdgesInBox(grey, edges, cv::Rect(20, 20, 60, 60), &work);
    ASSERT_EQ(edges.size(), grey.size());
    EXPECT_GT(cv::countNonZero(edges(cv::Rect(20, 20, 60, 60))), 100);
    EXPECT_EQ(cv::countNonZero(edges), cv::countNonZero(edges(cv::Rect(20, 20, 60, 60))))
        << "the second square lies outside the ROI";

    // An ROI past the image corner is clamped; one wholly outside leaves a zero map.
    EdgesInBox(grey, edges, cv::Rect(100, -50, 500, 200), &work);
    EXPECT_GT(cv::countNonZero(edges), 100);
    EXPECT_EQ(cv::countNonZero(edges(cv::Rect(0, 0, 100, H))), 0);
    EdgesInBox(grey, edges, cv::Rect(-80, -80, 40, 40), &work);
    EXPECT_EQ(cv::countNonZero(edges), 0);
}

// ---------------------------------------------------------------------------------------------
// FindHandRegion and its wrapper

// A user whose image-left hand (hand 1) is raised at (40, 30) beside the head: neck top at
// x = 100, shoulder centre at row 60, skeleton scale 20 (the hand must lie at x <= 90 and
// y <= 70). The region half-side 2d with d = (0.25 * 20 + 0.5 * 10 + 0.5 * 16) / 2 = 9.
class FindHandRegionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tracker = std::make_unique<UserTracker>();
        UserTracker& u = *tracker;
        u.torsoSize = 20;
        u.faceSize = 16;
        u.handSizeInt[1] = 10;
        u.handFound[1] = true;
        u.skeleton.bodyScale = 20;
        u.skeleton.J(BodySkeleton::kNeckTop).x = 100;
        u.skeleton.J(BodySkeleton::kShoulderCentre).y = 60;
        PlaceHand(40, 30);
    }
    void PlaceHand(float x, float y) {
        tracker->handX[1] = x;
        tracker->handY[1] = y;
        skin = Blank(W, H);
        palm_masks::Disc(skin, cv::Point(static_cast<int>(x), static_cast<int>(y)), 7);
        foreground = skin.clone();
        skinIntegral = IntegralOf(skin);
        foregroundIntegral = IntegralOf(foreground);
    }
    bool Find(HandBox* box) {
        return FindHandRegion(*tracker, {skin, skinIntegral.data()},
                              {foreground, foregroundIntegral.data()}, box);
    }

    std::unique_ptr<UserTracker> tracker;
    cv::Mat skin, foreground;
    Integral skinIntegral, foregroundIntegral;
};

TEST_F(FindHandRegionTest, RaisedHandGivesTheTightenedBox) {
    HandBox box;
    ASSERT_TRUE(Find(&box));
    // Disc of radius 7 around (40, 30), tightened twice (each widening by one pixel).
    EXPECT_LE(box.x0, 33);
    EXPECT_GE(box.x0, 30);
    EXPECT_GE(box.x1, 47);
    EXPECT_LE(box.x1, 50);
    EXPECT_LE(box.y0, 23);
    EXPECT_GE(box.y1, 37);
}

TEST_F(FindHandRegionTest, ConditionsOfARaisedHand) {
    struct Case {
        const char* name;
        float x, y;
        bool found;
    };
    const Case cases[] = {
        {"on the neck line minus half the scale", 90, 30, true},
        {"right of that line", 91, 30, false},
        {"at shoulder height plus half the scale", 40, 70, true},
        {"below it", 40, 71, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlaceHand(c.x, c.y);
        HandBox box;
        EXPECT_EQ(Find(&box), c.found);
    }
    PlaceHand(40, 30);
    tracker->handFound[1] = false;
    HandBox box;
    EXPECT_FALSE(Find(&box)) << "hand 1 not found";
}

TEST_F(FindHandRegionTest, TooLittleSkinInTheBox) {
    // 0.1 d^2 = 8.1: eight skin pixels are not enough, nine are.
    skin = Blank(W, H);
    skin(cv::Rect(38, 29, 8, 1)).setTo(1);
    skinIntegral = IntegralOf(skin);
    HandBox box;
    EXPECT_FALSE(Find(&box));
    skin(cv::Rect(38, 30, 1, 1)).setTo(1);
    skinIntegral = IntegralOf(skin);
    EXPECT_TRUE(Find(&box));
}

TEST_F(FindHandRegionTest, HandAtOrPastTheFrameEdgeReadsInsideTheArrays) {
    // Before clamping, these boxes put the integral's corners outside the array.
    const cv::Point2f hands[] = {{0, 0}, {-15, -15}, {3, 140}, {-30, 149}, {0, 75}};
    for (const cv::Point2f& hand : hands) {
        SCOPED_TRACE(testing::Message() << hand.x << ", " << hand.y);
        tracker->handX[1] = hand.x;
        tracker->handY[1] = hand.y;
        tracker->skeleton.J(BodySkeleton::kShoulderCentre).y = 200;
        skin = Blank(W, H);
        skin(cv::Rect(0, 0, 12, H)).setTo(1);
        foreground = skin.clone();
        skinIntegral = IntegralOf(skin);
        foregroundIntegral = IntegralOf(foreground);
        HandBox box;
        if (Find(&box)) {
            EXPECT_GE(box.x0, 0);
            EXPECT_GE(box.y0, 0);
            EXPECT_LE(box.x1, W - 1);
            EXPECT_LE(box.y1, H - 1);
        }
    }
}

TEST_F(FindHandRegionTest, ZeroSizesShrinkTheBoxToTheHandPixel) {
    tracker->torsoSize = 0;
    tracker->faceSize = 0;
    tracker->handSizeInt[1] = 0;
    HandBox box;
    ASSERT_TRUE(Find(&box));
    EXPECT_EQ(box, (HandBox{38, 28, 42, 32})) << "each of the two tightenings widens by one";
    skin.at<uint8_t>(30, 40) = 0;
    skinIntegral = IntegralOf(skin);
    EXPECT_FALSE(Find(&box)) << "no skin under the hand";
}

TEST_F(FindHandRegionTest, WrapperSetsAndClearsTheFlags) {
    PalmState palm;
    palm.palmActive = true;
    EXPECT_EQ(HandRegionStep(*tracker, {skin, skinIntegral.data()},
                             {foreground, foregroundIntegral.data()}, &palm),
              kHandRegionFound);
    EXPECT_TRUE(palm.handRegionFound);
    EXPECT_TRUE(palm.palmActive) << "a found region keeps a running track";
    EXPECT_GT(palm.handBox.x1, palm.handBox.x0);

    PlaceHand(150, 30);  // right of the neck line
    EXPECT_EQ(HandRegionStep(*tracker, {skin, skinIntegral.data()},
                             {foreground, foregroundIntegral.data()}, &palm),
              kHandRegionMissing);
    EXPECT_FALSE(palm.handRegionFound);
    EXPECT_FALSE(palm.palmActive);
}

}  // namespace
}  // namespace olvar
