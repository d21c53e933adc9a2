// The body height estimate. Its memory lives for the whole process and is shared by every user
// and tracker, so the whole sequence is one test and nothing else in this program estimates
// heights.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "imaging/integral.h"
#include "users/per_user_state.h"

namespace olvar {
namespace {

constexpr int W = 200;
constexpr int H = 150;

// A user whose neck top is at (100, neckRow), torso half-width 20, arms hanging, hands at the
// given row; the foreground is a column over columns 90..110 from row topRow down.
struct HeightFixture {
    HeightFixture() : state(std::make_unique<PerUserState>()) {
        UserTracker& u = state->users[0];
        u.handsReady = true;
        u.torsoSize = 20;
        u.faceY = 40;
        u.faceSize = 20;
        SetNeck(60);
        SetHands(50);
        SetColumnFrom(30);
    }

    void SetNeck(double row) {
        BodySkeleton& s = state->users[0].skeleton;
        s.J(BodySkeleton::kNeckTop).x = 100;
        s.J(BodySkeleton::kNeckTop).y = row;
    }

    void SetHands(float row) {
        UserTracker& u = state->users[0];
        u.handY[0] = u.handY[1] = row;
    }

    void SetColumnFrom(int topRow) {
        cv::Mat foreground = cv::Mat::zeros(H, W, CV_8UC1);
        foreground(cv::Rect(90, topRow, 21, H - topRow)).setTo(1);
        BuildIntegral(integral, foreground);
    }

    int Estimate() { return state->EstimateHeight(integral.data()); }
    double Value() const { return state->users[0].heightEstimate; }

    std::unique_ptr<PerUserState> state;
    Integral integral;
};

TEST(EstimateHeight, WarmsUpThenFiltersAndHoldsWhileTheBodyMoves) {
    HeightFixture f;

    // Hands not ready: nothing is estimated and the memory is not touched.
    f.state->users[0].handsReady = false;
    f.state->users[0].heightEstimate = 123;
    EXPECT_EQ(f.Estimate(), 1);
    EXPECT_EQ(f.Value(), 123);
    f.state->users[0].handsReady = true;

    // The first five estimates since loading are -1.
    for (int call = 0; call < 5; ++call) {
        SCOPED_TRACE(call);
        EXPECT_EQ(f.Estimate(), 1);
        EXPECT_EQ(f.Value(), -1);
    }

    // The head top is row 29 (the first row above the neck whose band is below 4 pixels). Each
    // raw value is (29 k + 130) 0.8 + 0.2 c; the five-value filter holds 130 for three calls,
    // then takes the raw value of the first call, 279.511..., and keeps it on the next two.
    EXPECT_EQ(f.Estimate(), 0);
    const double settled = (29 * 6.4444444444444455 + 130) * 0.8 + 0.2 * 130;
    EXPECT_NEAR(f.Value(), settled, 1e-9);

    // The neck jumps by 30 rows: the body is moving and the last value is kept.
    f.SetNeck(90);
    EXPECT_EQ(f.Estimate(), 0);
    EXPECT_NEAR(f.Value(), settled, 1e-9);

    // Arms hanging with both hands exactly on the head top row (the fallback top from the face,
    // since the foreground reaches the frame top): the calibration would divide by zero and is
    // skipped, so later estimates stay finite.
    f.SetNeck(70);
    f.SetColumnFrom(0);
    f.state->users[0].faceY = 95;
    f.state->users[0].faceSize = 10;  // fallback top (int)(95 - 5 + 0.5) = 90
    f.SetHands(90);
    EXPECT_EQ(f.Estimate(), 0);
    EXPECT_TRUE(std::isfinite(f.Value()));
    f.SetNeck(70);
    EXPECT_EQ(f.Estimate(), 0);
    EXPECT_TRUE(std::isfinite(f.Value()));

    // Only an exactly zero distance is skipped: hands half a row below the head top do
    // recalibrate. The neck at the frame top gives the fallback top (int)(15 - 5 + 0.5) = 10 and
    // lets hands at row 10.5 hang more than half a torso half-width below the neck.
    f.state->users[0].faceY = 15;
    f.SetHands(0);  // no calibration while the reference row settles at the neck
    f.SetNeck(0);
    for (int call = 0; call < 6; ++call) {
        EXPECT_EQ(f.Estimate(), 0);
    }
    const double beforeCalibration = f.Value();
    EXPECT_LT(beforeCalibration, 1000);
    f.SetHands(10.5f);
    EXPECT_EQ(f.Estimate(), 0);
    // The scale becomes (150.83 - 0.1448 g - 10) / 0.5 * 6.44, about 1409 instead of 6.44, so
    // the raw values jump above 11 000 and the five-value filter passes them within four calls.
    f.SetHands(0);
    for (int call = 0; call < 4; ++call) {
        EXPECT_EQ(f.Estimate(), 0);
    }
    EXPECT_GT(f.Value(), 10000);
}

}  // namespace
}  // namespace olvar
