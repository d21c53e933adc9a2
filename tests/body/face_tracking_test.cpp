// Face search above the torso and face tracking on small hand-made maps: the search's seed and
// noise, the upward correction, the confirmation, and the checks of every tracking step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "body/random.h"
#include "body/user_tracker.h"

#include "body_masks.h"

namespace olvar {
namespace {

using test_masks::IntegralOf;
using test_masks::kH;
using test_masks::kW;

struct Pose {
    int x, y, size;
};

// The search's estimate when no candidate scores (an empty skin map): the best tenth are then
// the first 50 candidates, drawn around the seed with the given noise from a fresh stream.
Pose EstimateOnEmptySkin(Pose seed, int positionSigma, float sizeSigma, ParkMiller* stream) {
    long sx = seed.x, sy = seed.y, ss = seed.size;
    for (int i = 1; i < 500; ++i) {
        const float dx = stream->Gaussian(0, static_cast<float>(positionSigma));
        const float dy = stream->Gaussian(0, static_cast<float>(positionSigma));
        const float ds = stream->Gaussian(0, sizeSigma);
        if (i < 50) {
            sx += std::clamp(static_cast<int>(seed.x + dx), 0, kW - 1);
            sy += std::clamp(static_cast<int>(seed.y + dy), 0, kH - 1);
            ss += static_cast<int>(seed.size + ds);
        }
    }
    return {static_cast<int>(sx / 50), static_cast<int>(sy / 50), static_cast<int>(ss / 50)};
}

class FaceSearch : public ::testing::Test {
  protected:
    FaceSearch() {
        u.torsoX = 100.7f;
        u.torsoY = 80.2f;
        u.torsoSize = 30;
    }
    int Find() {
        skinIntegral = IntegralOf(skin);
        foregroundIntegral = IntegralOf(foreground);
        return u.FindFace(colour, skinIntegral.data(), foregroundIntegral.data());
    }

    UserTracker u;
    cv::Mat colour = cv::Mat(kH, kW, CV_8UC3, cv::Scalar(128, 128, 128));
    cv::Mat skin = cv::Mat::zeros(kH, kW, CV_8UC1);
    cv::Mat foreground = cv::Mat::zeros(kH, kW, CV_8UC1);
    Integral skinIntegral, foregroundIntegral;
};

TEST_F(FaceSearch, SeedsHalfATorsoWidthAboveTheShouldersWithNoiseFromTheTorsoSize) {
    // Seed (100, 80 - 15, 30); position sigma (85 * 30) >> 8 = 9, size sigma (23 * 30) >> 9 = 1.
    ParkMiller replica;
    const Pose expected = EstimateOnEmptySkin({100, 65, 30}, 9, 1.0f, &replica);
    EXPECT_EQ(Find(), 10);  // no skin: the confirmation fails
    EXPECT_FALSE(u.faceFound);
    EXPECT_EQ(u.scratchX, expected.x);
    EXPECT_EQ(u.scratchY, expected.y);
    EXPECT_EQ(u.scratchSize, expected.size);
    EXPECT_EQ(u.faceFilter.random.State(), replica.State());
    // The colour tracker starts on the estimate: half-width (123 s) >> 8, half-height
    // (77 s) >> 7 (14 and 18 for s = 30).
    const FaceParticle& first = u.faceColour.faceParticles[0];
    EXPECT_EQ(first.x, expected.x);
    EXPECT_EQ(first.y, expected.y);
    EXPECT_EQ(first.hx, (123 * expected.size) >> 8);
    EXPECT_EQ(first.hy, (77 * expected.size) >> 7);
}

TEST_F(FaceSearch, SmallTorsoFailsWithoutDrawingRandomNumbers) {
    u.torsoSize = 5;
    u.faceFound = true;
    EXPECT_EQ(Find(), 10);
    EXPECT_FALSE(u.faceFound);
    EXPECT_EQ(u.faceFilter.random.State(), ParkMiller::kSeed);
    EXPECT_EQ(u.scratchX, 100);
    EXPECT_EQ(u.scratchY, 78);
    EXPECT_EQ(u.scratchSize, 5);
}

TEST_F(FaceSearch, ClimbsOneStepLessThanTheNumberOfFullWindows) {
    ParkMiller replica;
    const Pose estimate = EstimateOnEmptySkin({100, 65, 30}, 9, 1.0f, &replica);
    const int step = (77 * estimate.size) >> 8;
    const int first = estimate.y - step;  // the first window's centre row
    // Foreground everywhere from row `top` down. With top = first - n step + 1 the windows
    // centred on first, first - step, ... are full n times; the next one is half full.
    for (int full : {0, 1, 2, 3}) {
        const int top = first - full * step + 1;
        ASSERT_GT(first - full * step, step);
        foreground.setTo(0);
        foreground.rowRange(top, kH).setTo(1);
        u.faceFilter.random.Reseed();
        Find();
        EXPECT_EQ(u.scratchY, estimate.y - std::max(0, full - 1) * step) << full;
    }
    // A column of foreground to the top of the frame: the climb stops once the window's centre
    // row comes down to the step.
    foreground.setTo(1);
    u.faceFilter.random.Reseed();
    Find();
    int windows = 0;
    for (int row = first; row > step; row -= step) {
        ++windows;
    }
    EXPECT_EQ(u.scratchY, estimate.y - (windows - 1) * step);
}

TEST_F(FaceSearch, FindsAFaceOnASkinBlobAboveTheTorso) {
    // A head of skin (face box 2/3 s wide and s high around (100, 60)) on a body.
    cv::rectangle(skin, cv::Point(90, 45), cv::Point(110, 74), cv::Scalar(1), cv::FILLED);
    cv::rectangle(foreground, cv::Point(88, 45), cv::Point(112, 74), cv::Scalar(1), cv::FILLED);
    cv::rectangle(foreground, cv::Point(70, 75), cv::Point(130, kH - 1), cv::Scalar(1), cv::FILLED);
    u.torsoY = 80;
    ASSERT_EQ(Find(), 0);
    EXPECT_TRUE(u.faceFound);
    EXPECT_NEAR(u.faceX, 100, 3);
    EXPECT_NEAR(u.faceY, 60, 5);
    EXPECT_NEAR(u.faceSize, 30, 5);
    EXPECT_EQ(u.faceSizeLast, static_cast<int>(u.faceSize));
}

TEST_F(FaceSearch, BadInputsAreRejected) {
    skinIntegral = IntegralOf(skin);
    EXPECT_EQ(u.FindFace(colour, nullptr, skinIntegral.data()), 10);
    EXPECT_EQ(u.FindFace(colour, skinIntegral.data(), nullptr), 10);
    // Torso far outside the frame, huge or not a number: candidates are clamped into the frame,
    // and whatever is found lies in it. (A torso of size 7 at the corner gives a face box of
    // 2 x 3 pixels inside the frame, which needs no skin: one in 32 of 6 is 0.)
    struct Case {
        float x, y;
        int size;
        int status;
    };
    for (const Case& c : {Case{-1e9f, 1e9f, 30, 10}, Case{NAN, NAN, 30, 10},
                          Case{100, 80, 1 << 28, 10}, Case{5000, -5000, 7, 0}}) {
        u.torsoX = c.x, u.torsoY = c.y, u.torsoSize = c.size;
        EXPECT_EQ(Find(), c.status) << c.x << "," << c.y << "," << c.size;
        EXPECT_GE(u.scratchX, 0);
        EXPECT_LT(u.scratchX, kW);
        EXPECT_GE(u.scratchY, 0);
        EXPECT_LT(u.scratchY, kH);
    }
}

// Tracking steps with the colour tracker made deterministic (no noise): it reports the box it
// was started with, (100, 60) with the given half-sizes, on a person whose head matches it.
class FaceTracking : public ::testing::Test {
  protected:
    // hy follows from hx as the tracker predicts it: trunc(1.25 hx + 0.5).
    void StartAt(int hx) {
        const int hy = static_cast<int>(1.25 * hx + 0.5);
        colour.setTo(cv::Scalar(128, 128, 128));
        personMask.setTo(0);
        cv::rectangle(colour, cv::Rect(100 - hx, 60 - hy, 2 * hx + 1, 2 * hy + 1),
                      cv::Scalar(90, 120, 200), cv::FILLED);
        cv::rectangle(personMask, cv::Rect(100 - hx, 60 - hy, 2 * hx + 1, kH), cv::Scalar(1),
                      cv::FILLED);
        u.faceColour.mask = &personMask;
        u.faceColour.spread = 0;
        u.faceColour.StartColourTracker(100, 60, hx, hy, colour, kW, kH);
        u.faceFound = true;
        u.torsoFound = true;
        u.torsoSize = 20;
        u.faceX = 90, u.faceY = 50, u.faceSize = 20;
    }
    // The first n pixels, in raster order, of the checked box (x - hx, x + hx] x (y - hy, y + hy].
    static cv::Mat FirstPixelsOfBox(int hx, int hy, int n) {
        cv::Mat mask = cv::Mat::zeros(kH, kW, CV_8UC1);
        for (int row = 60 - hy + 1; row <= 60 + hy && n > 0; ++row) {
            for (int col = 100 - hx + 1; col <= 100 + hx && n > 0; ++col, --n) {
                mask.at<uint8_t>(row, col) = 1;
            }
        }
        return mask;
    }
    int Track(const cv::Mat& skin, const cv::Mat& foreground) {
        const Integral s = IntegralOf(skin), f = IntegralOf(foreground);
        return u.TrackFace(colour, s.data(), f.data());
    }

    UserTracker u;
    cv::Mat colour = cv::Mat(kH, kW, CV_8UC3);
    cv::Mat personMask = cv::Mat(kH, kW, CV_8UC1);
};

TEST_F(FaceTracking, SizeFromTheBoxAndHalfwayBlending) {
    StartAt(8);  // hx 8, hy 10
    const cv::Mat full = cv::Mat::ones(kH, kW, CV_8UC1);
    ASSERT_EQ(Track(full, full), 0);
    EXPECT_TRUE(u.faceFound);
    EXPECT_EQ(u.faceSizeLast, 8 + 2 + 10);
    EXPECT_EQ(u.scratchX, 100);
    EXPECT_EQ(u.scratchY, 60);
    EXPECT_EQ(u.scratchSize, 20);
    EXPECT_FLOAT_EQ(u.faceX, 50 + 45);
    EXPECT_FLOAT_EQ(u.faceY, 30 + 25);
    EXPECT_FLOAT_EQ(u.faceSize, 10 + 10);
}

TEST_F(FaceTracking, BoxMustHoldEnoughForegroundAndSkin) {
    // hx 10, hy 13: the box is 20 x 26 = 520 pixels; it needs max(48, (77 * 520) >> 7 = 312)
    // foreground and max(10, 520 >> 5 = 16) skin pixels.
    struct Case {
        int foreground, skin;
        int status;
    };
    const Case cases[] = {
        {520, 520, 0}, {312, 16, 0}, {311, 520, 10}, {520, 15, 10}, {40, 520, 10},
    };
    for (const Case& c : cases) {
        StartAt(10);
        const int status =
            Track(FirstPixelsOfBox(10, 13, c.skin), FirstPixelsOfBox(10, 13, c.foreground));
        EXPECT_EQ(status, c.status) << c.foreground << " foreground, " << c.skin << " skin";
        EXPECT_EQ(u.faceFound, c.status == 0);
    }
    // A small box can never pass: hx 2, hy 3 makes a box of 4 x 6, fewer than 48 pixels.
    StartAt(2);
    const cv::Mat full = cv::Mat::ones(kH, kW, CV_8UC1);
    EXPECT_EQ(Track(full, full), 10);
}

TEST_F(FaceTracking, LosesFacesTooLargeForTheTorsoOrWithoutATorso) {
    const cv::Mat full = cv::Mat::ones(kH, kW, CV_8UC1);
    StartAt(8);
    u.torsoSize = 10;  // the blended size 20 exceeds (461 * 10) >> 8 = 18
    EXPECT_EQ(Track(full, full), 10);
    EXPECT_FALSE(u.faceFound);
    EXPECT_EQ(u.faceSizeLast, 20);  // the step's values stay

    StartAt(8);
    u.torsoSize = 5;
    const int state = SharedColourRandom()->State();
    EXPECT_EQ(Track(full, full), 10);
    EXPECT_EQ(SharedColourRandom()->State(), state);  // no colour step was taken

    // Not followed and no torso: nothing to search above.
    StartAt(8);
    u.faceFound = false;
    u.torsoFound = false;
    EXPECT_EQ(Track(full, full), 10);
    EXPECT_EQ(u.faceFilter.random.State(), ParkMiller::kSeed);
}

TEST_F(FaceTracking, SearchesAgainAboveTheTorsoWhenNotFollowing) {
    StartAt(8);
    u.faceFound = false;
    u.torsoX = 100, u.torsoY = 75, u.torsoSize = 20;
    cv::Mat skin = cv::Mat::zeros(kH, kW, CV_8UC1);
    cv::rectangle(skin, cv::Point(93, 50), cv::Point(107, 74), cv::Scalar(1), cv::FILLED);
    cv::Mat body = skin.clone();
    cv::rectangle(body, cv::Point(80, 75), cv::Point(120, kH - 1), cv::Scalar(1), cv::FILLED);
    EXPECT_EQ(Track(skin, body), 0);
    EXPECT_TRUE(u.faceFound);
    EXPECT_NE(u.faceFilter.random.State(), ParkMiller::kSeed);
    EXPECT_NEAR(u.faceX, 100, 3);
}

}  // namespace
}  // namespace olvar
