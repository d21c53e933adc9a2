// The per-user leg step: its order of search and follow, the legs in the record, the flags the
// switches and a resize clear, and the hip centre staying put over repeated frames.
#include <gtest/gtest.h>

#include <memory>

#include "library/olvar_object.h"
#include "users/per_user_state.h"

#include "leg_fixture.h"

namespace olvar {
namespace {

using test_legs::DrawBody;
using test_legs::IntegralOf;
using test_legs::kH;
using test_legs::kW;
using test_legs::PoseUpright;
using test_legs::StandingLegs;

class LegStepTest : public ::testing::Test {
  protected:
    void SetUp() override {
        state = std::make_unique<PerUserState>();
        colour = cv::Mat(kH, kW, CV_8UC3, cv::Scalar(90, 100, 110));
        ycrcb = cv::Mat(kH, kW, CV_8UC3, cv::Scalar(100, 128, 128));
        zeros.assign(static_cast<size_t>(kW) * kH, 0);
        UserTracker& u = state->users[0];
        u.present = u.torsoReady = u.handsReady = true;
        PlaceUser(100, 30, 10);
        Show(DrawBody(u.skeleton, StandingLegs(u.skeleton, 0.5, 88)));
        // The first two leg steps of the process only hang the legs; get past them whichever
        // test runs first, then start from a clean leg state.
        for (int i = 0; i < 2; ++i) {
            state->LegStep(Frame());
        }
        u.legsReady = false;
        state->legs[0].Clear();
    }

    // The skeleton upright with the shoulder centre at (x, y), and the tracked torso and face
    // where the body trackers' anchoring puts that shoulder centre.
    void PlaceUser(double x, double y, int s) {
        UserTracker& u = state->users[0];
        PoseUpright(u.skeleton, x, y, s);
        u.torsoSize = s;
        u.torsoX = static_cast<float>(x);
        u.torsoY = static_cast<float>(y - s / 2);
        u.faceFound = true;
        u.faceX = static_cast<float>(x);
        u.faceY = static_cast<float>(y - 1.1 * s);
        u.faceSize = static_cast<float>(s);
    }

    void Show(const cv::Mat& mask) {
        foreground = mask.clone();
        foregroundIntegral = IntegralOf(foreground);
    }

    FrameView Frame() const {
        return FrameView{
            kW,           kH,           colour,       colour,     ycrcb,
            ycrcb,        foreground,   foreground,   foreground, foregroundIntegral.data(),
            zeros.data(), zeros.data(), zeros.data(), 6,          quadtree,
            noRecords,    records};
    }

    std::unique_ptr<PerUserState> state;
    cv::Mat colour, ycrcb, foreground;
    Integral foregroundIntegral, zeros;
    Quadtree quadtree;
    bool noRecords[2] = {false, false};
    TrackingRecord records[2] = {};
};

TEST_F(LegStepTest, SearchesThenFollowsAndTheRecordCarriesTheLegs) {
    UserTracker& u = state->users[0];
    EXPECT_EQ(state->LegStep(Frame()), 0);
    ASSERT_TRUE(u.legsReady);
    int userNumber = 0;
    state->WriteRecord(&userNumber, records, 2.0f);
    for (int k = 0; k < 6; ++k) {
        const SkeletonJoint& j = u.skeleton.J(BodySkeleton::kRightHip + k);
        EXPECT_FLOAT_EQ(records[0].legJoints[k].x, static_cast<float>(j.x * 2.0f)) << k;
        EXPECT_FLOAT_EQ(records[0].legJoints[k].y, static_cast<float>(j.y * 2.0f)) << k;
    }
    EXPECT_GT(records[0].legJoints[kLegRightFoot].y, records[0].legJoints[kLegRightKnee].y);

    // Frames follow with the head a little to the side (the hip centre moves under it); the
    // hip centre does not wander further frame by frame.
    u.faceX += 3;
    ASSERT_EQ(state->LegStep(Frame()), 0);
    const double hipX = u.skeleton.J(BodySkeleton::kHipCentre).x;
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(state->LegStep(Frame()), 0);
        EXPECT_TRUE(u.legsReady) << i;
    }
    EXPECT_NEAR(u.skeleton.J(BodySkeleton::kHipCentre).x, hipX, 1.0);

    // The legs disappear: the follow step loses them and the record reports zeros.
    cv::Mat upper = foreground.clone();
    upper(cv::Rect(0, 60, kW, kH - 60)).setTo(0);
    Show(upper);
    EXPECT_EQ(state->LegStep(Frame()), 0);
    EXPECT_FALSE(u.legsReady);
    state->WriteRecord(&userNumber, records, 2.0f);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(records[0].legJoints[k].x, 0.0f);
        EXPECT_EQ(records[0].legJoints[k].y, 0.0f);
    }
}

TEST_F(LegStepTest, AFailedSearchReportsNoLegs) {
    UserTracker& u = state->users[0];
    ASSERT_EQ(state->LegStep(Frame()), 0);
    ASSERT_TRUE(u.legsReady);
    // The user comes close: the hips sit low enough that the search runs again, and there are
    // no legs below them. The legs found before must not stay in the record.
    PlaceUser(100, 95, 10);
    Show(DrawBody(u.skeleton, StandingLegs(u.skeleton, 0.2, 160)));
    EXPECT_EQ(state->LegStep(Frame()), 1);
    EXPECT_FALSE(u.legsReady);
    EXPECT_FALSE(state->legs[0].fitValid);
}

TEST_F(LegStepTest, TheHipsFollowTheTorsoWhileTheArmsAreNotRefitted) {
    // The body trackers re-anchor the skeleton only when they re-fit the arms; with the arms
    // hanging still the skeleton can stay where the body stood long ago. The user crouches by
    // 12 rows: the hips must come down with the tracked torso.
    UserTracker& u = state->users[0];
    ASSERT_EQ(state->LegStep(Frame()), 0);
    const double hipRow = u.skeleton.J(BodySkeleton::kRightHip).y;
    u.torsoY += 12;
    u.faceY += 12;
    state->LegStep(Frame());
    EXPECT_NEAR(u.skeleton.J(BodySkeleton::kRightHip).y, hipRow + 12, 1.0);
    EXPECT_NEAR(u.skeleton.J(BodySkeleton::kLeftHip).y, hipRow + 12, 1.0);
}

TEST_F(LegStepTest, NoTorsoNoLegs) {
    UserTracker& u = state->users[0];
    u.legsReady = true;
    u.torsoReady = false;
    EXPECT_EQ(state->LegStep(Frame()), 1);
    EXPECT_FALSE(u.legsReady);
}

TEST(LegSwitches, SwitchingOffAndResizingForgetTheLegs) {
    auto olvar = std::make_unique<Olvar>();
    PerUserState& users = olvar->Users();
    for (int k = 0; k < 2; ++k) {
        users.users[k].legsReady = true;
        users.legs[k].fitValid = true;
        users.legs[k].haveFirstSearch = true;
    }
    users.current = 1;
    olvar->EnableLegTracking(false);
    // Only the current user's result flags.
    EXPECT_FALSE(users.users[1].legsReady);
    EXPECT_FALSE(users.legs[1].fitValid);
    EXPECT_TRUE(users.users[0].legsReady);
    EXPECT_TRUE(users.legs[0].fitValid);
    // A new working size restarts both users' legs.
    users.ResizeState(160, 120, 160 * 120);
    for (int k = 0; k < 2; ++k) {
        EXPECT_FALSE(users.users[k].legsReady);
        EXPECT_FALSE(users.legs[k].fitValid);
        EXPECT_FALSE(users.legs[k].haveFirstSearch);
    }
}

}  // namespace
}  // namespace olvar
