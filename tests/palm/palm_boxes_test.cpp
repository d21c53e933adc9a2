// Palm-pose box measurements: the open-hand test, hand stillness, the edge-map ROI (inside the
// image for any pose and frame shape) and the re-centred palm.
#include <gtest/gtest.h>

#include <cmath>

#include "palm/palm_boxes.h"
#include "palm_masks.h"

namespace olvar {
namespace {

using palm_masks::Blank;
using palm_masks::IntegralOf;

constexpr double kUp = 1.5707963267948966;

// ---------------------------------------------------------------------------------------------
// HandOpenTest: hand size R = 40 at (160, 200), so the palm radius g is 20; the near box lies
// 30 pixels up (over the finger roots), the far box 70 pixels up (past the fingertips).

TEST(HandOpenTest, FingerRootsWithoutAnythingBeyondTheTips) {
    const int W = 320, H = 320;
    const cv::Point centre(160, 200);
    struct Case {
        const char* name;
        void (*draw)(cv::Mat&, cv::Point);
        bool open;
    };
    const Case cases[] = {
        {"open hand", [](cv::Mat& m, cv::Point c) { palm_masks::OpenHand(m, c, 20); }, true},
        {"fist", [](cv::Mat& m, cv::Point c) { palm_masks::Disc(m, c, 20); }, false},
        {"arm reaching past the tips",
         [](cv::Mat& m, cv::Point c) {
             palm_masks::OpenHand(m, c, 20);
             palm_masks::Stroke(m, c, kUp, 120, 30);
         },
         false},
        {"nothing", [](cv::Mat&, cv::Point) {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat mask = Blank(W, H);
        c.draw(mask, centre);
        const Integral integral = IntegralOf(mask);
        EXPECT_EQ(HandOpenTest(integral.data(), W, H, centre.x, centre.y, 40, kUp), c.open);
    }
}

TEST(HandOpenTest, DegenerateSizesAndPosesFail) {
    const int W = 320, H = 320;
    cv::Mat mask = Blank(W, H);
    palm_masks::OpenHand(mask, {160, 200}, 20);
    const Integral integral = IntegralOf(mask);
    EXPECT_FALSE(HandOpenTest(integral.data(), W, H, 160, 200, 0, kUp));
    EXPECT_FALSE(HandOpenTest(integral.data(), W, H, 160, 200, -5, kUp));
    EXPECT_FALSE(HandOpenTest(integral.data(), W, H, 160, 200, NAN, kUp));
    EXPECT_FALSE(HandOpenTest(nullptr, W, H, 160, 200, 40, kUp));
    // Poses past the image: the anchors are clamped, nothing is read outside.
    for (const double x : {-500.0, 0.0, 319.0, 5000.0}) {
        HandOpenTest(integral.data(), W, H, x, -x, 40, 0.3);
    }
}

// ---------------------------------------------------------------------------------------------
// IsHandStill, working grid: palm box anchored at (100, 60), angle 0, radius 4: 20 x 12.

TEST(IsHandStill, MotionInThePalmBox) {
    const int W = 200, H = 150;
    cv::Mat skin = Blank(W, H), foreground = Blank(W, H);
    skin(cv::Rect(95, 50, 30, 20)).setTo(1);
    foreground(cv::Rect(90, 40, 50, 40)).setTo(1);
    const Integral skinI = IntegralOf(skin), foregroundI = IntegralOf(foreground);
    const Integral noSkin = IntegralOf(Blank(W, H));
    const PalmPose palm{100, 60, 4, 0};
    struct Case {
        const char* name;
        int movingPixels;
        int expected;
    };
    // The box counts columns 101..120 and rows 55..66 (240 pixels): 3 % is 7.2 pixels.
    const Case cases[] = {
        {"motionless", 0, kHandMotionless},
        {"nine moving pixels", 9, kHandMotionless},
        {"ten moving pixels, 4 %", 10, kHandMoving},
        {"many moving pixels", 120, kHandMoving},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat motion = Blank(W, H);
        for (int i = 0; i < c.movingPixels; ++i) {
            motion.at<uint8_t>(56 + i / 20, 101 + i % 20) = 1;
        }
        const Integral motionI = IntegralOf(motion);
        EXPECT_EQ(IsHandStill(W, H, palm, skinI.data(), foregroundI.data(), motionI.data()),
                  c.expected);
        EXPECT_EQ(IsHandStill(W, H, palm, noSkin.data(), foregroundI.data(), motionI.data()),
                  kHandMoving)
            << "no skin in the palm box";
    }
    // A larger palm: 10 moving pixels of a 50 x 30 box are under 3 %.
    cv::Mat motion = Blank(W, H);
    motion(cv::Rect(101, 56, 10, 1)).setTo(1);
    const Integral motionI = IntegralOf(motion);
    EXPECT_EQ(IsHandStill(W, H, {100, 60, 10, 0}, skinI.data(), foregroundI.data(), motionI.data()),
              kHandSlow);
    EXPECT_EQ(IsHandStill(W, H, {100, 60, 0, 0}, skinI.data(), foregroundI.data(), motionI.data()),
              kHandMoving)
        << "a zero radius measures nothing";
}

// ---------------------------------------------------------------------------------------------
// HandRoi

TEST(HandRoi, CutsAtTheGapsAroundTheHand) {
    const int W = 320, H = 240;
    cv::Mat mask = Blank(W, H);
    mask(cv::Rect(130, 90, 61, 61)).setTo(1);  // a square hand 130..190 x 90..150
    const Integral integral = IntegralOf(mask);
    const cv::Rect roi = HandRoi(integral.data(), W, H, 160, 120, 30);
    // The scans start 24 pixels out; a band of rows y - 1 < v <= y + 1 is first empty at
    // y = 151 below and y = 88 above, a strip of columns at x = 191 and x = 128; each bound
    // then widens by 5.
    EXPECT_EQ(roi.y + roi.height, 151 + 5);
    EXPECT_EQ(roi.y, 88 - 5);
    EXPECT_EQ(roi.x + roi.width, 191 + 5);
    EXPECT_EQ(roi.x, 128 - 5);

    // No gap at all: the rectangle keeps its starting extent of 2R around the centre.
    cv::Mat full(H, W, CV_8UC1, cv::Scalar(1));
    const Integral fullI = IntegralOf(full);
    const cv::Rect whole = HandRoi(fullI.data(), W, H, 160, 120, 30);
    EXPECT_EQ(whole, cv::Rect(95, 55, 130, 130));
}

TEST(HandRoi, StaysOnePixelInsideForAnyPoseAndFrameShape) {
    const cv::Size frames[] = {{640, 480}, {120, 2048}, {2048, 120}, {200, 150}, {3, 3}};
    const double positions[] = {-1e6, -50, 0, 0.5, 1, 60, 119, 120, 479, 640, 2047, 1e6};
    for (const cv::Size frame : frames) {
        cv::Mat mask = Blank(frame.width, frame.height);
        mask(cv::Rect(0, 0, frame.width / 2 + 1, frame.height / 2 + 1)).setTo(1);
        const Integral integral = IntegralOf(mask);
        for (const double x : positions) {
            for (const double y : positions) {
                for (const double r : {0.0, 1.0, 25.0, 4000.0}) {
                    const cv::Rect roi =
                        HandRoi(integral.data(), frame.width, frame.height, x, y, r);
                    if (roi.empty()) {
                        continue;
                    }
                    SCOPED_TRACE(testing::Message()
                                 << frame << " at " << x << ", " << y << " R " << r);
                    ASSERT_GE(roi.x, 1);
                    ASSERT_GE(roi.y, 1);
                    ASSERT_LE(roi.x + roi.width, frame.width - 2);
                    ASSERT_LE(roi.y + roi.height, frame.height - 2);
                }
            }
        }
    }
    const Integral none;
    EXPECT_TRUE(HandRoi(nullptr, 640, 480, 100, 100, 20).empty());
}

// ---------------------------------------------------------------------------------------------
// RecentrePalm: a hand pointing up with its forearm hanging below the palm (camera grid, k = 2).
// Plain centroids drift down the forearm; the re-centring discounts it.

TEST(RecentrePalm, CentreStaysOnThePalmDespiteTheForearm) {
    const int W = 400, H = 300;
    cv::Mat mask = Blank(W, H);
    const cv::Point palm(200, 150);
    palm_masks::OpenHand(mask, palm, 20);
    palm_masks::Stroke(mask, palm, -kUp, 140, 26);  // forearm down to the frame bottom
    const Integral integral = IntegralOf(mask);
    const double k = 2.0;
    const HandBox workingBox{60, 20, 140, 149};  // the hand and the forearm, working grid
    const RecentredPalm result =
        RecentrePalm({mask, integral.data()}, workingBox, k, /*handSize=*/20, 20.0, kUp);
    ASSERT_TRUE(result.found);
    EXPECT_DOUBLE_EQ(result.radius, (2.0 * 20 * 0.5 + 20.0) * 0.5 / k);
    EXPECT_NEAR(result.x * k, palm.x, 3.0);
    EXPECT_NEAR(result.y * k, palm.y, 12.0) << "half a palm radius";

    cv::Rect plain(0, 0, W, H);
    const Centroid drifted = BoxCentroid(&plain, mask);
    EXPECT_GT(drifted.y, palm.y + 15) << "the fixture's forearm does pull a plain centroid";
}

TEST(RecentrePalm, NothingToMeasure) {
    const int W = 400, H = 300;
    const cv::Mat empty = Blank(W, H);
    const Integral integral = IntegralOf(empty);
    EXPECT_FALSE(RecentrePalm({empty, integral.data()}, {10, 10, 50, 50}, 2.0, 20, 20, kUp).found);
    cv::Mat mask = Blank(W, H);
    palm_masks::Disc(mask, {100, 100}, 20);
    const Integral discI = IntegralOf(mask);
    EXPECT_FALSE(RecentrePalm({mask, discI.data()}, {10, 10, 90, 90}, 0.0, 20, 20, kUp).found)
        << "k = 0";
    const RecentredPalm zero = RecentrePalm({mask, discI.data()}, {30, 30, 70, 70}, 2.0, 0, 0, 0);
    EXPECT_TRUE(zero.found) << "a zero radius still has a centroid";
    EXPECT_EQ(zero.radius, 0.0);
    // A hand box far outside the frame is clamped before it is read.
    RecentrePalm({mask, discI.data()}, {-900, -900, 9000, 9000}, 2.0, 20, 20, -2.0);
}

}  // namespace
}  // namespace olvar
