// The motion and combined modes 4 to 9, driven through the recognizer with scripted poses.
#include <gtest/gtest.h>

#include <vector>

#include "gesture_script.h"

namespace olvar {
namespace {

using testing::Pose;
using testing::Rest;
using testing::RunMode;
using testing::Script;
using Stream = std::vector<int>;

struct ModeCase {
    int mode;
    Stream expected;
};

void ExpectPerMode(const char* what, const Script& script, const std::vector<ModeCase>& cases) {
    for (const ModeCase& c : cases) {
        EXPECT_EQ(RunMode(c.mode, script), c.expected) << what << ", mode " << c.mode;
    }
}

// Mode 4 is neutral below r + 1.8u = 172, modes 5 to 8 below r + 1.5u = 160; mode 9 never.
TEST(MotionModes, NeutralLineDependsOnTheMode) {
    const Script at165 = Script().Hold(Rest().Left(230, 165).Right(90, 165), 2);
    ExpectPerMode(
        "hands at 165", at165,
        {{4, {-2, -1}}, {5, {-2, 0}}, {6, {-2, 0}}, {7, {-2, 0}}, {8, {-2, 0}}, {9, {-2, -1}}});
    const Script at173 = Script().Hold(Rest().Left(230, 173).Right(90, 173), 2);
    ExpectPerMode(
        "hands at 173", at173,
        {{4, {-2, 0}}, {5, {-2, 0}}, {6, {-2, 0}}, {7, {-2, 0}}, {8, {-2, 0}}, {9, {-2, -1}}});
    const Script at172 = Script().Hold(Rest().Left(230, 172).Right(90, 172), 2);
    ExpectPerMode("hands on the mode-4 line", at172, {{4, {-2, -1}}});
}

// Both hands rising together from 150 to 78. The both-up line is truncate(r - 0.6u) = 76 in
// mode 4, truncate(r - 0.5u) = 80 in modes 5 to 7, and r - 1.2u = 52 in modes 8 and 9; on the
// way the hands pass the relative-height band (5, 8) and the hands-in-front band (6, 9).
TEST(MotionModes, BothHandsUpLinePerMode) {
    Script script;
    for (float y : {150.f, 150.f, 120.f, 90.f, 78.f}) {
        script.Hold(Rest().Left(230, y).Right(90, y));
    }
    ExpectPerMode("rising to 78", script,
                  {{4, {-2, -1, -1, -1, -1}},
                   {5, {-2, 59, 59, 59, 35}},
                   {6, {-2, -1, 48, 48, 35}},
                   {7, {-2, -1, -1, -1, 35}},
                   {8, {-2, 59, 59, 59, 59}},
                   {9, {-2, -1, 48, 48, 48}}});
    script.Hold(Rest().Left(230, 70).Right(90, 70));
    EXPECT_EQ(RunMode(4, script).back(), gesBothUp);
}

// Modes 8 and 9 also accept both hands far up with only one moving; mode 9 wants them spread
// more than 1.5 units apart.
TEST(MotionModes, HighBothUpOfCombinedModes) {
    auto leftJumpsUp = [](float rightX) {
        return Script()
            .Hold(Rest().Left(230, 100).Right(rightX, 30), 3)
            .Hold(Rest().Left(230, 30).Right(rightX, 30));
    };
    EXPECT_EQ(RunMode(8, leftJumpsUp(200)), (Stream{-2, 60, 60, 35}));
    EXPECT_EQ(RunMode(9, leftJumpsUp(200)), (Stream{-2, -1, -1, -1}));
    EXPECT_EQ(RunMode(9, leftJumpsUp(90)), (Stream{-2, -1, -1, 35}));
}

// Mode 4 reports an up swipe only once the hand is above mid = (head y + r) / 2 = 80; until
// then the swipe stays unreported, so the same motion reports it later.
TEST(MotionModes, Mode4UpSwipeWaitsForTheMiddleLine) {
    const Script script = Script().LeftY(Rest(), {150, 150, 120, 90, 85, 70});
    EXPECT_EQ(RunMode(4, script), (Stream{-2, -1, -1, -1, -1, 31}));
    EXPECT_EQ(RunMode(2, script), (Stream{-1, -1, -1, 31, -1, -1}));
}

TEST(MotionModes, Mode4HandsApartAndTogether) {
    // Only the left hand moves, 10 pixels a frame (step 10 > truncate(0.08u) = 3): the fourth
    // widening step after the first measurement reports 39.
    Script apart;
    for (float x : {180.f, 190.f, 200.f, 210.f, 220.f, 230.f}) {
        apart.Hold(Rest().Left(x, 130).Right(80, 130));
    }
    EXPECT_EQ(RunMode(4, apart), (Stream{-2, -1, -1, -1, -1, 39}));
    // Mode 7 has no hands-distance test; mode 5 sees level hands at chest height.
    EXPECT_EQ(RunMode(7, apart), (Stream{-2, -1, -1, -1, -1, -1}));
    EXPECT_EQ(RunMode(5, apart), (Stream{-2, 59, 59, 59, 59, 59}));

    Script together;
    for (float x : {230.f, 220.f, 210.f, 200.f, 190.f, 180.f}) {
        together.Hold(Rest().Left(x, 130).Right(80, 130));
    }
    EXPECT_EQ(RunMode(4, together), (Stream{-2, -1, -1, -1, -1, 40}));

    // Both hands moving apart (codes 1 and 2) report 39 on every frame.
    Script bothMove;
    for (int i = 0; i < 4; ++i) {
        bothMove.Hold(Rest().Left(200 + 6 * i, 130).Right(100 - 6 * i, 130));
    }
    EXPECT_EQ(RunMode(4, bothMove), (Stream{-2, -1, 39, 39}));
}

// Mode 5: within the band (r - 0.5u, r + 1.5u) = (80, 160) the hands compare their heights; more
// than half a unit (20 pixels) apart counts as higher or lower.
TEST(MotionModes, Mode5RelativeHeights) {
    struct Case {
        float leftY;
        float rightY;
        int expected;
    };
    const Case cases[] = {
        {120, 100, 59}, {121, 100, 57}, {100, 121, 58}, {81, 159, 58},
        {159, 81, 57},  {80, 100, -1},  {100, 160, -1},
    };
    for (const Case& c : cases) {
        const Script script = Script().Hold(Rest().Left(230, c.leftY).Right(90, c.rightY), 2);
        EXPECT_EQ(RunMode(5, script).back(), c.expected) << c.leftY << ", " << c.rightY;
    }
}

// Mode 8 widens the band up to r - 1.2u = 52 and reports 60 / 61 outside it.
TEST(MotionModes, Mode8RelativeHeightsAndNoSwipes) {
    struct Case {
        Pose pose;
        int expected;
    };
    const Case cases[] = {
        {Rest().Left(230, 60).Right(150, 85), 58},    // inside the wide band
        {Rest().Left(230, 200).Right(150, 120), 60},  // right hand higher, left low
        {Rest().Left(230, 120).Right(150, 200), 61},
        {Rest().Left(230, 40).Right(150, 45), -1},  // level, above the band
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunMode(8, Script().Hold(c.pose, 2)).back(), c.expected);
    }
    EXPECT_EQ(RunMode(5, Script().Hold(Rest().Left(230, 60).Right(150, 85), 2)).back(), -1);

    // The left-hand swipe that modes 2 and 7 report is a height comparison in mode 8.
    const Script swipe = Script().LeftX(Rest().Left(200, 130), {200, 200, 215, 230});
    EXPECT_EQ(RunMode(7, swipe), (Stream{-2, -1, 27, -1}));
    EXPECT_EQ(RunMode(8, swipe), (Stream{-2, 61, 61, 61}));
}

// Mode 6: hands moving in front report 48 while the head stays within truncate(0.5u) = 20
// pixels of its calibrated x; beyond that the lean value goes along as 51 / 52.
TEST(MotionModes, Mode6HandsInFrontWithLean) {
    const Pose front = Rest().Left(200, 130).Right(120, 130);
    Script script;
    script.Hold(front, 2)
        .Hold(Pose(front).Left(205, 130).Head(180, 60))
        .Hold(Pose(front).Left(200, 130).Head(181, 60))
        .Hold(Pose(front).Left(205, 130).Head(139, 60));
    std::vector<GestureRecord> records;
    EXPECT_EQ(RunMode(6, script, &records), (Stream{-2, -1, 48, 51, 52}));
    EXPECT_EQ(records[2].x, testing::kUntouched);
    // Lean: 0.5 - (21 - 20) / 120 toward larger x, 1 - (-21 + 80) / 120 toward smaller x.
    EXPECT_NEAR(records[3].x, 0.5 - 1.0 / 120, 1e-6);
    EXPECT_FLOAT_EQ(records[3].y, 0.5f);
    EXPECT_NEAR(records[4].x, 1.0 - 59.0 / 120, 1e-6);
}

TEST(MotionModes, Mode6LeftHandLiftedAside) {
    const Pose lifted = Rest().Left(230, 70).Right(120, 130);
    std::vector<GestureRecord> records;
    const Stream stream =
        RunMode(6, Script().Hold(lifted, 2).Hold(Pose(lifted).Head(135, 60)), &records);
    EXPECT_EQ(stream, (Stream{-2, 49, 54}));
    EXPECT_NEAR(records[2].x, 1.0 - 55.0 / 120, 1e-6);
}

TEST(MotionModes, Mode7MouseThenSwipes) {
    const Pose mouse = Rest().Right(100, 120);
    Stream expected(13, gesMouseMove);
    expected[0] = -2;
    expected[12] = gesMouseClick;
    std::vector<GestureRecord> records;
    EXPECT_EQ(RunMode(7, Script().Hold(mouse, 13), &records), expected);
    EXPECT_FLOAT_EQ(records[1].x, 0.5f);
}

TEST(MotionModes, Mode9LeanMouseAndNoNeutral) {
    std::vector<GestureRecord> records;
    const Script lean =
        Script().Hold(Rest(), 2).Hold(Rest().Head(181, 60), 2).Hold(Rest().Head(139, 60));
    EXPECT_EQ(RunMode(9, lean, &records), (Stream{-2, -1, 37, 37, 38}));
    EXPECT_NEAR(records[2].x, 0.5 - 1.0 / 120, 1e-6);
    EXPECT_FLOAT_EQ(records[2].y, 0.5f);
    // The head exactly 20 pixels off is still upright.
    EXPECT_EQ(RunMode(9, Script().Hold(Rest(), 2).Hold(Rest().Head(180, 60))).back(), -1);
    EXPECT_EQ(RunMode(9, Script().Hold(Rest().Right(100, 120), 3)), (Stream{-2, 23, 23}));
}

// A negative face size gives a negative unit: the head's dead zone truncate(0.5u) = -20 is
// then exceeded by an unmoved head, and the lean formula runs with 3u = -120:
// 0.5 - (0 - 0.5u) / 3u = 0.5 + 20 / 120. A zero unit leaves nothing to divide by: a head
// shifted by 10 pixels leans, and its value is upright.
TEST(MotionModes, Mode9LeanWithDegenerateUnits) {
    struct Case {
        float faceSize;
        float headX;  // on the third frame
        Stream expected;
        float x;
    };
    const Case cases[] = {
        {-50, 160, {-2, gesBodyRight, gesBodyRight}, 0.5f + 20.0f / 120.0f},
        {-1, 170, {-2, -1, gesBodyLeft}, 0.5f},  // unit truncate(-0.8) = 0
    };
    for (const Case& c : cases) {
        const Pose rest = Rest().Face(c.faceSize);
        std::vector<GestureRecord> records;
        const Script script = Script().Hold(rest, 2).Hold(Pose(rest).Head(c.headX, 60));
        EXPECT_EQ(RunMode(9, script, &records), c.expected) << c.faceSize;
        EXPECT_NEAR(records.back().x, c.x, 1e-6) << c.faceSize;
        EXPECT_FLOAT_EQ(records.back().y, 0.5f) << c.faceSize;
    }
}

// The lean value of mode 9 lives in the cursor fields; the mouse continues from it.
TEST(MotionModes, Mode9MouseContinuesFromTheLeanValue) {
    std::vector<GestureRecord> records;
    const Script script = Script()
                              .Hold(Rest(), 2)
                              .Hold(Rest().Head(220, 60))  // lean far toward larger x
                              .Hold(Rest().Head(220, 60).Right(100, 120));
    RunMode(9, script, &records);
    ASSERT_EQ(records[2].gesture, gesBodyLeft);
    ASSERT_EQ(records[3].gesture, gesMouseMove);
    EXPECT_NEAR(records[3].x, records[2].x, 1.0 / 800);
}

}  // namespace
}  // namespace olvar
