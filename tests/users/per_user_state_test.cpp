// The per-user state's own decisions: which parts are re-examined, how the tracking record is
// filled and scaled, what a new working size resets, and how the other user's position is shared.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "imaging/integral.h"
#include "imaging/integral_of.h"
#include "imaging/quadtree.h"
#include "users/per_user_state.h"

namespace olvar {
namespace {

constexpr int W = 200;
constexpr int H = 150;

cv::Mat Mask() {
    return cv::Mat::zeros(H, W, CV_8UC1);
}

void Fill(cv::Mat& mask, int x0, int y0, int x1, int y1) {  // inclusive bounds
    mask(cv::Rect(x0, y0, x1 - x0 + 1, y1 - y0 + 1)).setTo(1);
}

using test_imaging::IntegralOf;

// ---------------------------------------------------------------------------------------------
// UpdateRecheck

// One tracked user: face at (140, 40), torso at (100, 60) with half-width 20, hands at (60, 80)
// and (140, 80). The face sits outside the torso's recheck box so that a block can touch either
// alone. Recheck boxes: face [130, 150] x [28, 52], torso [70, 130] x [30, 149], hand 0
// [40, 80] x [60, 100], hand 1 [120, 160] x [60, 100]. Count boxes (first row and column not
// counted): face columns 135..146 and rows 34..47 (168 pixels, threshold 134), torso 81..120 x
// 61..100 (threshold 1118), hands 55..66 x 75..86 and 135..146 x 75..86 (threshold 71).
class UpdateRecheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        state = std::make_unique<PerUserState>();
        UserTracker& u = state->users[0];
        u.present = u.torsoReady = u.handsReady = true;
        u.faceX = 140;
        u.faceY = 40;
        u.faceSize = 20;
        u.torsoX = 100;
        u.torsoY = 60;
        u.torsoSize = 20;
        u.handX[0] = 60;
        u.handY[0] = 80;
        u.handX[1] = 140;
        u.handY[1] = 80;
        for (int i = 0; i < 2; ++i) {
            u.handSize[i] = 10;
        }
        tree.Build(W, H);
        foreground = Mask();
        Fill(foreground, 130, 30, 150, 50);  // face
        Fill(foreground, 78, 58, 122, 102);  // torso
        Fill(foreground, 52, 72, 68, 88);    // hand 0
        Fill(foreground, 132, 72, 148, 88);  // hand 1
    }

    // Marks the quadtree from a difference mask that changed exactly in the given blocks.
    void ChangeBlocks(const std::vector<cv::Rect>& blocks) {
        cv::Mat difference = Mask();
        for (const cv::Rect& b : blocks) {
            difference(b).setTo(1);
        }
        const Integral integral = IntegralOf(difference);
        tree.Update(W, H, integral.data());
    }

    struct Flags {
        bool face, torso, hand0, hand1;
    };

    Flags Run() {
        const Integral integral = IntegralOf(foreground);
        state->UpdateRecheck(tree, integral.data());
        return {state->recheckFace, state->recheckTorso, state->recheckHand0, state->recheckHand1};
    }

    std::unique_ptr<PerUserState> state;
    Quadtree tree;
    cv::Mat foreground;
};

// Quadtree leaves (x0, y0, width, height) of the 200 x 150 layout.
const cv::Rect kLeafOnFace(137, 25, 13, 12);      // touches only the face box
const cv::Rect kLeafAtFaceEdge(150, 25, 12, 12);  // first column equals the face box's last
const cv::Rect kLeafOnHand0(37, 62, 13, 13);      // touches only hand 0's box
const cv::Rect kLeafOnTorso(87, 137, 13, 13);     // touches only the torso box
const cv::Rect kLeafAwayFromAll(0, 137, 12, 13);  // touches nothing

TEST_F(UpdateRecheckTest, DenseBlocksMarkThePartsTheyTouch) {
    struct Case {
        const char* name;
        std::vector<cv::Rect> blocks;
        Flags expected;
    };
    const Case cases[] = {
        {"block away from every part", {kLeafAwayFromAll}, {false, false, false, false}},
        {"block on the face", {kLeafOnFace}, {true, false, false, false}},
        {"block touching the face box's edge column",
         {kLeafAtFaceEdge},
         {true, false, false, false}},
        {"block on hand 0", {kLeafOnHand0}, {false, false, true, false}},
        {"block below the shoulders", {kLeafOnTorso}, {false, true, false, false}},
        {"blocks on face and hand 0", {kLeafOnFace, kLeafOnHand0}, {true, false, true, false}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ChangeBlocks(k.blocks);
        const Flags f = Run();
        EXPECT_EQ(f.face, k.expected.face);
        EXPECT_EQ(f.torso, k.expected.torso);
        EXPECT_EQ(f.hand0, k.expected.hand0);
        EXPECT_EQ(f.hand1, k.expected.hand1);
    }
}

TEST_F(UpdateRecheckTest, StagesNotReachedAreAlwaysReexamined) {
    struct Case {
        const char* name;
        bool present, torsoReady, handsReady;
        Flags expected;
    };
    const Case cases[] = {
        {"user not present", false, true, true, {true, true, true, true}},
        {"torso not ready", true, false, true, {false, true, false, false}},
        {"hands not ready", true, true, false, {false, false, true, true}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        UserTracker& u = state->users[0];
        u.present = k.present;
        u.torsoReady = k.torsoReady;
        u.handsReady = k.handsReady;
        ChangeBlocks({kLeafAwayFromAll});
        const Flags f = Run();
        EXPECT_EQ(f.face, k.expected.face);
        EXPECT_EQ(f.torso, k.expected.torso);
        EXPECT_EQ(f.hand0, k.expected.hand0);
        EXPECT_EQ(f.hand1, k.expected.hand1);
    }
}

TEST_F(UpdateRecheckTest, NothingIsReexaminedWhenNothingChanged) {
    state->users[0].present = false;
    ChangeBlocks({});
    const Flags f = Run();
    EXPECT_FALSE(f.face || f.torso || f.hand0 || f.hand1);
}

// A part whose box has lost foreground is re-examined; the thresholds are strict.
TEST_F(UpdateRecheckTest, PartsThatLostTheirSilhouetteAreReexamined) {
    struct Case {
        const char* name;
        cv::Rect cleared;  // foreground removed here
        int faceKept;      // pixels kept in the face's count box (-1: all 168)
        Flags expected;
    };
    const Case cases[] = {
        {"everything in place", {}, -1, {false, false, false, false}},
        {"face box exactly at its threshold", {}, 134, {false, false, false, false}},
        {"face box one below its threshold", {}, 133, {true, false, false, false}},
        {"hand 1 gone", cv::Rect(130, 70, 20, 20), -1, {false, false, false, true}},
        {"torso half gone", cv::Rect(78, 58, 45, 25), -1, {false, true, false, false}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SetUp();
        foreground(k.cleared).setTo(0);
        if (k.faceKept >= 0) {
            // Clear the face's counted pixels row by row until faceKept remain.
            int toClear = 168 - k.faceKept;
            for (int y = 34; y <= 47 && toClear > 0; ++y) {
                for (int x = 135; x <= 146 && toClear > 0; ++x, --toClear) {
                    foreground.at<uint8_t>(y, x) = 0;
                }
            }
        }
        ChangeBlocks({kLeafAwayFromAll});
        const Flags f = Run();
        EXPECT_EQ(f.face, k.expected.face);
        EXPECT_EQ(f.torso, k.expected.torso);
        EXPECT_EQ(f.hand0, k.expected.hand0);
        EXPECT_EQ(f.hand1, k.expected.hand1);
    }
}

// ---------------------------------------------------------------------------------------------
// WriteRecord

class WriteRecordTest : public ::testing::Test {
  protected:
    void SetUp() override {
        state = std::make_unique<PerUserState>();
        std::memset(records, 0xAB, sizeof records);
        UserTracker& u = state->users[1];
        u.present = true;
        u.torsoSize = 5;
        u.heightEstimate = 172.25;
        u.faceX = 100.5f;
        u.faceY = 40.25f;
        u.faceSize = 20;
        u.torsoX = 101;
        u.torsoY = 61.5f;
        u.handX[0] = 60;
        u.handY[0] = 80;
        u.handSize[0] = 10;
        u.handX[1] = 140;
        u.handY[1] = 82;
        u.handSize[1] = 11;
        for (int j = 0; j < BodySkeleton::kJoints; ++j) {
            u.skeleton.J(j).x = 10 + j;
            u.skeleton.J(j).y = 100 + 2 * j;
        }
        state->current = 1;
    }

    std::unique_ptr<PerUserState> state;
    TrackingRecord records[2];
    int userNumber = -7;
};

TEST_F(WriteRecordTest, AbsentUserLeavesOnlyItsIndex) {
    state->users[1].present = false;
    TrackingRecord before[2];
    std::memcpy(before, records, sizeof records);
    state->WriteRecord(&userNumber, records, 1.9f);
    EXPECT_EQ(userNumber, 0);
    EXPECT_EQ(records[1].userIndex, 1);
    EXPECT_EQ(
        std::memcmp(reinterpret_cast<const char*>(&records[1]) + 4,
                    reinterpret_cast<const char*>(&before[1]) + 4, sizeof(TrackingRecord) - 4),
        0);
    EXPECT_EQ(std::memcmp(&records[0], &before[0], sizeof(TrackingRecord)), 0);
}

TEST_F(WriteRecordTest, PresentUserIsWrittenInFramePixels) {
    const float scale = 1.9f;
    state->WriteRecord(&userNumber, records, scale);
    const TrackingRecord& r = records[1];
    EXPECT_EQ(userNumber, 2);
    EXPECT_EQ(r.userIndex, 1);
    EXPECT_EQ(r.torsoHalfWidth, 9);       // 5 x 1.9 = 9.5, truncated
    EXPECT_EQ(r.heightEstimate, 172.25);  // not scaled
    EXPECT_FLOAT_EQ(r.faceX, 100.5f * scale);
    EXPECT_FLOAT_EQ(r.faceY, 40.25f * scale);
    EXPECT_FLOAT_EQ(r.faceSize, 20 * scale);
    EXPECT_FLOAT_EQ(r.torsoX, 101 * scale);
    EXPECT_FLOAT_EQ(r.torsoY, 61.5f * scale);
    EXPECT_FLOAT_EQ(r.torsoValue, 5 * scale);
    EXPECT_FLOAT_EQ(r.hand0X, 60 * scale);
    EXPECT_FLOAT_EQ(r.hand0Y, 80 * scale);
    EXPECT_FLOAT_EQ(r.hand0Size, 10 * scale);
    EXPECT_FLOAT_EQ(r.hand1X, 140 * scale);
    EXPECT_FLOAT_EQ(r.hand1Y, 82 * scale);
    EXPECT_FLOAT_EQ(r.hand1Size, 11 * scale);

    // Record order of the upper-body joints: elbows, shoulders, neck top, shoulder centre, hip
    // centre.
    const int order[7] = {5, 8, 4, 7, 2, 1, 0};
    for (int k = 0; k < 7; ++k) {
        SCOPED_TRACE(k);
        EXPECT_FLOAT_EQ(r.joints[k].x, static_cast<float>((10 + order[k]) * double{scale}));
        EXPECT_FLOAT_EQ(r.joints[k].y, static_cast<float>((100 + 2 * order[k]) * double{scale}));
    }

    // No palm data and no legs in this frame.
    EXPECT_EQ(r.palmRadius, 1.0);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(r.fingertips[k].x, 0.0f);
        EXPECT_EQ(r.fingertips[k].y, 0.0f);
        EXPECT_EQ(r.fingerBases[k].x, 0.0f);
        EXPECT_EQ(r.fingerBases[k].y, 0.0f);
    }
    EXPECT_EQ(r.fingerEvent, -1);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(r.legJoints[k].x, 0.0f);
        EXPECT_EQ(r.legJoints[k].y, 0.0f);
    }
}

TEST_F(WriteRecordTest, LegJointsAreWrittenWhileTheLegsAreTracked) {
    state->users[1].legsReady = true;
    state->WriteRecord(&userNumber, records, 2.0f);
    // Hips, knees, feet: skeleton joints 10 to 15 in order.
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        EXPECT_FLOAT_EQ(records[1].legJoints[k].x, 2.0f * (10 + 10 + k));
        EXPECT_FLOAT_EQ(records[1].legJoints[k].y, 2.0f * (100 + 2 * (10 + k)));
    }
}

// A still scene writes the record again without a new palm analysis: the finger's press or
// release must reach the host once, the state it leaves (held, nothing) on the records after it.
TEST_F(WriteRecordTest, ARecordWrittenAgainReportsAPressOrReleaseOnlyOnce) {
    struct Case {
        int analysed;
        int writtenAgain;
    };
    const Case cases[] = {{kFingerPress, kFingerHeld},
                          {kFingerHeld, kFingerHeld},
                          {kFingerRelease, kFingerNone},
                          {kFingerNone, kFingerNone}};
    PalmState& palm = state->palm[1];
    palm.palmActive = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.analysed);
        palm.group.fingerEvent = c.analysed;
        state->WriteRecord(&userNumber, records, 2.0f);
        EXPECT_EQ(records[1].fingerEvent, c.analysed);
        for (int again = 0; again < 3; ++again) {
            state->WriteRecord(&userNumber, records, 2.0f);
            EXPECT_EQ(records[1].fingerEvent, c.writtenAgain);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// ResizeState and ExchangeOther

TEST(PerUserStateTest, NewWorkingSizeRestartsBothUsers) {
    auto state = std::make_unique<PerUserState>();
    for (UserTracker& u : state->users) {
        u.present = u.torsoReady = u.handsReady = u.legsReady = u.otherPresent = true;
    }
    // The same size changes nothing.
    EXPECT_EQ(state->ResizeState(W, H, W * H), 0);
    EXPECT_TRUE(state->users[1].handsReady);

    EXPECT_EQ(state->ResizeState(264, 150, 264 * 150), 0);
    for (const UserTracker& u : state->users) {
        EXPECT_FALSE(u.present || u.torsoReady || u.handsReady || u.legsReady || u.otherPresent);
        EXPECT_EQ(u.W, 264);
        EXPECT_EQ(u.H, 150);
    }
    for (const cv::Mat* m : {&state->scratchMask, &state->skinMap, &state->rawSkinMap}) {
        EXPECT_EQ(m->cols, 264);
        EXPECT_EQ(m->rows, 150);
    }
    for (const Integral* a : {&state->scratchIntegral, &state->skinIntegral, &state->handSearch}) {
        EXPECT_EQ(a->size(), static_cast<size_t>(264 * 150));
    }
}

TEST(PerUserStateTest, NewWorkingSizeForgetsThePositionsOfTheOldOne) {
    // Both users tracked at 640 x 480 (working 200 x 150), then the camera changes to 120 x 120.
    // Hand detection keeps a hand it cannot see again, so a position left from the old size
    // would be reported in the new picture: nothing of the old geometry may survive.
    auto state = std::make_unique<PerUserState>();
    for (UserTracker& u : state->users) {
        u.faceX = 150;
        u.faceY = 40;
        u.faceSize = 24;
        u.faceFound = true;
        u.torsoX = 150;
        u.torsoY = 70;
        u.torsoSize = 24;
        u.torsoFound = true;
        for (int arm = 0; arm < 2; ++arm) {
            u.handX[arm] = 190;
            u.handY[arm] = 140;
            u.handSize[arm] = 12;
            u.handSizeInt[arm] = 12;
            u.handFound[arm] = true;
            u.handStepX[arm] = u.handStepY[arm] = 5;
            u.handMass[arm] = 100;
            u.handColour[arm].present = true;
        }
        u.skeleton.SetSkeletonScale(24);
        u.skeleton.J(BodySkeleton::kShoulderCentre).x = 150;
        u.skeleton.J(BodySkeleton::kShoulderCentre).y = 80;
        u.skeleton.ResetSkeletonPose();
        u.faceExtent.left = u.faceExtent.right = 10;
    }
    state->headTop = 20;
    state->bodyBottom = 149;
    state->lastFaceX = 150;
    state->lastFaceY = 40;

    EXPECT_EQ(state->ResizeState(120, 120, 120 * 120), 0);
    EXPECT_EQ(state->headTop, -1);
    EXPECT_EQ(state->bodyBottom, -1);
    EXPECT_EQ(state->lastFaceX, 0);
    EXPECT_EQ(state->lastFaceY, 0);
    for (const UserTracker& u : state->users) {
        EXPECT_FALSE(u.faceFound || u.torsoFound);
        EXPECT_EQ(u.faceX, 0);
        EXPECT_EQ(u.faceSize, 0);
        EXPECT_EQ(u.torsoX, 0);
        EXPECT_EQ(u.torsoSize, 0);
        for (int arm = 0; arm < 2; ++arm) {
            SCOPED_TRACE(arm);
            EXPECT_FALSE(u.handFound[arm]);
            EXPECT_FALSE(u.handColour[arm].present);
            EXPECT_EQ(u.handX[arm], 0);
            EXPECT_EQ(u.handY[arm], 0);
            EXPECT_EQ(u.handSize[arm], 0);
            EXPECT_EQ(u.handStepX[arm], 0);
            EXPECT_EQ(u.handMass[arm], 0);
        }
        EXPECT_EQ(u.skeleton.bodyScale, 0);
        for (const SkeletonJoint& joint : u.skeleton.joints) {
            EXPECT_EQ(joint.x, 0);
            EXPECT_EQ(joint.y, 0);
        }
        EXPECT_EQ(u.faceExtent.left, 0);
    }
}

TEST(PerUserStateTest, ExchangeOtherSharesTheTrackedOtherUser) {
    auto state = std::make_unique<PerUserState>();
    UserTracker& first = state->users[0];
    UserTracker& second = state->users[1];
    first.torsoReady = true;
    first.faceX = 60.9f;
    first.faceY = 30.7f;
    first.torsoSize = 18;
    state->current = 1;

    // Only the two-user mode value does anything.
    EXPECT_EQ(state->ExchangeOther(nullptr, nullptr, 1), 0);
    EXPECT_FALSE(second.otherPresent);

    EXPECT_EQ(state->ExchangeOther(nullptr, nullptr, PerUserState::kTwoUsers), 0);
    EXPECT_TRUE(second.otherPresent);
    EXPECT_EQ(second.otherX, 60);
    EXPECT_EQ(second.otherY, 30);
    EXPECT_EQ(second.otherSize, 18);

    // An untracked other user clears the four values (no mask: no neighbour search).
    first.torsoReady = false;
    EXPECT_EQ(state->ExchangeOther(nullptr, nullptr, PerUserState::kTwoUsers), 0);
    EXPECT_FALSE(second.otherPresent);
    EXPECT_EQ(second.otherX, 0);
    EXPECT_EQ(second.otherY, 0);
    EXPECT_EQ(second.otherSize, 0);
}

}  // namespace
}  // namespace olvar
