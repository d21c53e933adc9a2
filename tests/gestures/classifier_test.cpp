// The shared classifier and the three basic modes: postures (0), mouse (1), motion (2).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "gesture_script.h"
#include "gestures/gesture_classifier.h"
#include "gestures/vocabulary.h"

namespace olvar {
namespace {

using testing::FakeClock;
using testing::MakeRecord;
using testing::Pose;
using testing::Rest;
using testing::RunMode;
using testing::RunScript;
using testing::Script;
using testing::Select;
using Stream = std::vector<int>;

// Feeds one pose to a bare classifier the way the basic per-frame entry starts.
void Feed(CGesture& gesture, const Pose& pose) {
    gesture.SetRecord(MakeRecord(pose));
    gesture.AddSample();
    gesture.UpdateBodyReference();
}

TEST(Classifier, FirstFrameIsTooShortThenAResult) {
    CGesture gesture;
    gesture.SetRecord(MakeRecord(Rest()));
    EXPECT_EQ(gesture.RecognizeBasic(modeMotion), kHistoryTooShort);
    EXPECT_EQ(gesture.RecognizeBasic(modeMotion), gesNeutral);
}

TEST(Classifier, HistoryKeepsTheLastFourFrames) {
    CGesture gesture;
    for (int i = 0; i < 6; ++i) {
        Feed(gesture, Rest().Left(200 + i, 150));
    }
    ASSERT_EQ(gesture.SampleCount(), 4);
    EXPECT_EQ(gesture.History().At(0).lx, 202);
    EXPECT_EQ(gesture.Newest().lx, 205);
    EXPECT_EQ(gesture.PreviousSample().lx, 204);
}

// Unit 40: horizontal motion needs a range above truncate(0.25 * 40) = 10 pixels, vertical
// above truncate(0.55 * 40) = 22; the newest position decides the sign, ties going to 2 / 4.
TEST(Classifier, DominantDirectionThresholdsAndTies) {
    struct Case {
        const char* what;
        std::vector<Pose> frames;
        int expected;
    };
    const Pose p = Rest();
    const std::vector<Case> cases = {
        {"x range 10 is no motion", {Pose(p).Left(200, 150), Pose(p).Left(210, 150)}, -1},
        {"x range 11 toward larger x", {Pose(p).Left(200, 150), Pose(p).Left(211, 150)}, 1},
        {"x range 11 toward smaller x", {Pose(p).Left(211, 150), Pose(p).Left(200, 150)}, 2},
        {"newest exactly halfway gets 2",
         {Pose(p).Left(200, 150), Pose(p).Left(220, 150), Pose(p).Left(210, 150)},
         2},
        {"y range 22 is no motion", {Pose(p).Left(200, 150), Pose(p).Left(200, 172)}, -1},
        {"y range 23 downward", {Pose(p).Left(200, 150), Pose(p).Left(200, 173)}, 3},
        {"y range 23 upward", {Pose(p).Left(200, 173), Pose(p).Left(200, 150)}, 4},
        {"newest halfway vertically gets 4",
         {Pose(p).Left(200, 150), Pose(p).Left(200, 190), Pose(p).Left(200, 170)},
         4},
        {"equal ranges count as vertical", {Pose(p).Left(200, 150), Pose(p).Left(230, 180)}, 3},
    };
    for (const Case& c : cases) {
        CGesture gesture;
        for (const Pose& pose : c.frames) {
            Feed(gesture, pose);
        }
        EXPECT_EQ(gesture.DominantDirection(kLeftHand, 0.25, 0.55), c.expected) << c.what;
    }
}

TEST(Classifier, DominantDirectionNeedsTwoSamples) {
    CGesture gesture;
    Feed(gesture, Rest());
    EXPECT_EQ(gesture.DominantDirection(kRightHand, 0.25, 0.55), -1);
}

// --- Mode 0: postures ---------------------------------------------------------------------------

// One representative position per zone: above the reference line (y = 80), between it and the
// lower line 160 (y = 130), below (y = 200); the side lines are x = 196 for the left hand and
// x = 124 for the right hand.
struct Zone {
    int code;
    float x;
    float y;
};
const Zone kLeftZones[] = {
    {3, 230, 80}, {1, 180, 130}, {4, 230, 130}, {2, 180, 200}, {5, 230, 200}};
const Zone kRightZones[] = {{6, 90, 80}, {1, 140, 130}, {7, 90, 130}, {2, 140, 200}, {8, 90, 200}};

int PostureOf(const Pose& pose) {
    ZykGR recognizer;
    Select(recognizer, modeStatus);
    return RunScript(recognizer, Script().Hold(pose, 2)).back();
}

int GestureIdByName(const std::string& name) {
    for (int id = -1; id <= 72; ++id) {
        if (name == GestureName(id)) {
            return id;
        }
    }
    return -100;
}

TEST(ModeStatus, EveryZonePairGivesItsNamedPosture) {
    for (const Zone& left : kLeftZones) {
        for (const Zone& right : kRightZones) {
            const bool bothBelow =
                (left.code == 2 || left.code == 5) && (right.code == 2 || right.code == 8);
            const std::string name =
                "gesL" + std::to_string(left.code) + "R" + std::to_string(right.code);
            const int expected = bothBelow ? gesNeutral : GestureIdByName(name);
            ASSERT_NE(expected, -100) << name;
            EXPECT_EQ(PostureOf(Rest().Left(left.x, left.y).Right(right.x, right.y)), expected)
                << name;
        }
    }
}

TEST(ModeStatus, BoundaryPositions) {
    struct Case {
        const char* what;
        Pose pose;
        int expected;
    };
    const Case cases[] = {
        {"both below: neutral, never L5R2", Rest().Left(230, 200).Right(140, 200), gesNeutral},
        {"left below exactly on x = lb falls through", Rest().Left(196, 200).Right(90, 130),
         gesNeutral},
        {"left below just outside lb", Rest().Left(197, 200).Right(90, 130), gesL5R7},
        {"left on the lower line is neither between nor below",
         Rest().Left(230, 160).Right(140, 130), gesNeutral},
        {"left on the reference line is not above", Rest().Left(230, 100).Right(140, 130),
         gesNeutral},
        {"left between exactly on lb counts as L1", Rest().Left(196, 130).Right(140, 130), gesL1R1},
        {"left between on lb with the right hand low is not L1R8",
         Rest().Left(196, 130).Right(90, 200), gesNeutral},
        {"right between exactly on rb has no zone", Rest().Left(230, 130).Right(124, 130),
         gesNeutral},
        {"right between on rb with the left hand above", Rest().Left(230, 80).Right(124, 130),
         gesNeutral},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PostureOf(c.pose), c.expected) << c.what;
    }
}

// --- Mode 2: motion -----------------------------------------------------------------------------

struct ScriptCase {
    const char* what;
    Script script;
    Stream expected;
};

TEST(ModeMotion, SwipesBothUpAndNeutral) {
    const Pose chestLeft = Rest().Left(200, 130);
    const Pose chestRight = Rest().Right(100, 130);
    const std::vector<ScriptCase> cases = {
        {"at rest: neutral", Script().Hold(Rest(), 3), {-1, 0, 0}},
        {"left hand toward larger x: 27 once",
         Script().LeftX(chestLeft, {200, 200, 215, 230, 245}),
         {-1, -1, 27, -1, -1}},
        {"left hand toward smaller x: 28",
         Script().LeftX(chestLeft, {245, 245, 230, 215}),
         {-1, -1, 28, -1}},
        {"right hand toward smaller x: 30",
         Script().RightX(chestRight, {100, 100, 85, 70}),
         {-1, -1, 30, -1}},
        {"right hand toward larger x: 29",
         Script().RightX(chestRight, {100, 100, 115, 130}),
         {-1, -1, 29, -1}},
        {"left hand up: 31 once it is above r - 0.2u = 92",
         Script().LeftY(Rest(), {150, 150, 120, 90, 80}),
         {-1, -1, -1, 31, -1}},
        {"left hand ending at 92 is not up",
         Script().LeftY(Rest(), {150, 150, 120, 92}),
         {-1, -1, -1, -1}},
        {"left hand down: 32", Script().LeftY(Rest(), {100, 100, 125, 150}), {-1, -1, 32, -1}},
        {"right hand up: 33", Script().RightY(Rest(), {150, 150, 120, 90}), {-1, -1, -1, 33}},
        {"sideways swipe needs the other hand down",
         Script().LeftX(Pose(chestLeft).Right(100, 150), {200, 200, 215, 230}),
         {-1, -1, -1, -1}},
        {"sideways swipe out of the band r - u .. r + 2.2u",
         Script().LeftX(Rest().Left(200, 50), {200, 200, 215, 230}),
         {-1, -1, -1, -1}},
    };
    for (const ScriptCase& c : cases) {
        EXPECT_EQ(RunMode(modeMotion, c.script), c.expected) << c.what;
    }
}

TEST(ModeMotion, BothHandsUpIsReportedWhileTheyRise) {
    Script script;
    for (float y : {150.f, 150.f, 120.f, 90.f, 79.f, 70.f}) {
        script.Hold(Rest().Left(230, y).Right(90, y));
    }
    // 79 is above truncate(r - 0.5u) = 80 with both hands moving up.
    EXPECT_EQ(RunMode(modeMotion, script), (Stream{-1, -1, -1, -1, 35, 35}));
}

TEST(ModeMotion, AReversedMotionReArmsTheSwipe) {
    const Pose chest = Rest().Left(200, 130);
    Script script;
    script
        .LeftX(chest, {200, 200, 215, 230, 245})  // 27
        .LeftX(chest, {230, 215, 200})            // 28 on the turn
        .LeftX(chest, {215, 230, 245});           // 27 again
    // The turn reports at once: the old motion's start (x = 200) is already far enough away.
    const Stream stream = RunMode(modeMotion, script);
    EXPECT_EQ(stream, (Stream{-1, -1, 27, -1, -1, 28, -1, -1, -1, 27, -1}));
}

// After more than 30 frames without any direction the swipe state is forgotten, so the same
// direction may swipe again.
TEST(ModeMotion, IdleResetReArmsAfterThirtyStillFrames) {
    const Pose chest = Rest().Left(200, 130);
    auto swipeAfterPause = [&](int stillFrames) {
        Script script;
        script.LeftX(chest, {200, 200, 215, 230})
            .Hold(Pose(chest).Left(230, 130), stillFrames)
            .LeftX(chest, {245, 260});
        const Stream stream = RunMode(modeMotion, script);
        int swipes = 0;
        for (int g : stream) {
            swipes += g == gesLeftLeft;
        }
        return swipes;
    };
    EXPECT_EQ(swipeAfterPause(10), 1);
    EXPECT_EQ(swipeAfterPause(40), 2);
}

// --- Mode 1: mouse ------------------------------------------------------------------------------

// The mouse region: left hand low and out to its side (y >= bottom, x >= 180), right hand raised
// in front (y <= bottom, x <= 140); bottom = r + 3.5 * 20 = 170 while off, torso y + 70 = 190 once
// on.
const Pose kMouse = Rest().Right(100, 120);

TEST(ModeMouse, FirstFrameLeavesTheRecordAndTheCursorStartsCentred) {
    FakeClock clock;
    ZykGR recognizer;
    Select(recognizer, modeMouse);
    std::vector<GestureRecord> records;
    const Stream stream = RunScript(recognizer, Script().Hold(kMouse, 2), 100, &records);
    EXPECT_EQ(stream, (Stream{-1, 23}));
    EXPECT_EQ(records[0].x, testing::kUntouched);
    EXPECT_FLOAT_EQ(records[1].x, 0.5f);
    EXPECT_FLOAT_EQ(records[1].y, 0.5f);
}

TEST(ModeMouse, RegionBottomDependsOnWhetherTheMouseIsOn) {
    Script script;
    script
        .Hold(Pose(kMouse).Right(100, 180), 2)   // 180 > 170: not inside while off
        .Hold(kMouse, 1)                         // switched on
        .Hold(Pose(kMouse).Right(100, 180), 1)   // 180 <= 190: inside while on
        .Hold(Pose(kMouse).Left(230, 185), 1)    // left hand above 190: off
        .Hold(Pose(kMouse).Right(100, 180), 1);  // off again: 170 applies
    EXPECT_EQ(RunMode(modeMouse, script), (Stream{-1, -1, 23, 23, -1, -1}));
}

TEST(ModeMouse, HandMovesTheCursorMirroredWithGain) {
    FakeClock clock;
    ZykGR recognizer;
    Select(recognizer, modeMouse);
    std::vector<GestureRecord> records;
    // Scale 0.12 * 20 = 2.4: a 40-pixel move toward smaller x is dx = 16.7 (gain 2), so the
    // cursor moves right by 0.333 and lands on the grid at 666 / 800.
    RunScript(recognizer, Script().Hold(kMouse, 3).Hold(Pose(kMouse).Right(60, 120)), 100,
              &records);
    EXPECT_FLOAT_EQ(records.back().x, 666.0f / 800.0f);
    EXPECT_FLOAT_EQ(records.back().y, 0.5f);
    // Raising the hand moves the cursor up (smaller y).
    records.clear();
    RunScript(recognizer, Script().Hold(Pose(kMouse).Right(60, 100), 2), 100, &records);
    EXPECT_LT(records.back().y, 0.5f);
}

TEST(ModeMouse, CursorStaysInRangeAndOnTheGrid) {
    FakeClock clock;
    ZykGR recognizer;
    Select(recognizer, modeMouse);
    std::vector<GestureRecord> records;
    Script script;
    script.Hold(kMouse, 2);
    // Sweep far toward smaller x and up (cursor to the top right), then back (bottom left).
    for (int i = 0; i < 30; ++i) {
        script.Hold(Pose(kMouse).Right(100 - 6 * i, 120 - 2 * i));
    }
    for (int i = 0; i < 60; ++i) {
        script.Hold(Pose(kMouse).Right(10 + 4 * i, 60 + 2 * i));
    }
    RunScript(recognizer, script, 10, &records);
    bool reachedMax = false;
    bool reachedMin = false;
    for (const GestureRecord& r : records) {
        if (r.gesture != gesMouseMove && r.gesture != gesMouseClick) {
            continue;
        }
        EXPECT_GE(r.x, 0.0f);
        EXPECT_LE(r.x, 1.0f);
        EXPECT_GE(r.y, 0.0f);
        EXPECT_LE(r.y, 1.0f);
        EXPECT_NEAR(r.x * 800, std::round(r.x * 800), 1e-3) << r.x;
        EXPECT_NEAR(r.y * 600, std::round(r.y * 600), 1e-3) << r.y;
        reachedMax = reachedMax || r.x == 1.0f;
        // The lower clamp 0.00001 quantises to 0.
        reachedMin = reachedMin || r.x == 0.0f;
    }
    EXPECT_TRUE(reachedMax);
    EXPECT_TRUE(reachedMin);
}

// A still cursor clicks once its dwell reaches 1000 ms; the next still frame starts a new dwell.
TEST(ModeMouse, DwellClickOnceAfterOneSecond) {
    Script script;
    script.Hold(kMouse, 16);
    // Frame 3 is the first still frame (timer started); frame 13 measures 1000 ms.
    Stream expected(16, gesMouseMove);
    expected[0] = -1;
    expected[12] = gesMouseClick;
    EXPECT_EQ(RunMode(modeMouse, script, nullptr, 100), expected);
    // Three frames of 333 ms (999 ms) are not enough, three of 334 ms are.
    EXPECT_EQ(RunMode(modeMouse, Script().Hold(kMouse, 6), nullptr, 333),
              (Stream{-1, 23, 23, 23, 23, 23}));
    EXPECT_EQ(RunMode(modeMouse, Script().Hold(kMouse, 6), nullptr, 334).back(), gesMouseClick);
}

// The completed dwell stays in the timer while the cursor moves; it must not click again.
TEST(ModeMouse, MovingAfterAClickReportsMoves) {
    Script script;
    script.Hold(kMouse, 13);  // click on frame 13
    for (int i = 1; i <= 5; ++i) {
        script.Hold(Pose(kMouse).Right(100 - 8 * i, 120));
    }
    const Stream stream = RunMode(modeMouse, script, nullptr, 100);
    ASSERT_EQ(stream[12], gesMouseClick);
    for (size_t i = 13; i < stream.size(); ++i) {
        EXPECT_EQ(stream[i], gesMouseMove) << "frame " << i + 1;
    }
}

// A cleared record (every value 0) has a torso without width: no region, so no cursor that a
// zero scale would throw into a corner.
TEST(ModeMouse, ClearedRecordIsOutsideTheRegion) {
    CGesture gesture;
    gesture.SetRecord(TrackingRecord{});
    EXPECT_EQ(gesture.RecognizeBasic(modeMouse), kHistoryTooShort);
    EXPECT_EQ(gesture.RecognizeBasic(modeMouse), -1);
    EXPECT_FLOAT_EQ(gesture.CursorX(), 0.5f);
}

// The torso's third value sets the region and the cursor scale. A negative value still gives a
// region (it lies the other way round) and a scale that mirrors the hand's motion; only a value
// whose scale is zero keeps the mouse from switching on. Once on, the mouse keeps the scale it
// started with, so a torso that loses its width later does not stop it.
TEST(ModeMouse, TorsoValueSetsRegionAndScale) {
    struct Case {
        const char* what;
        Script script;
        Stream expected;
        float lastX;
    };
    // Torso value -40: half -20, region bottom r - 70 = 30 while off and torso y - 70 = 50 once
    // on, scale -2.4: the 40-pixel move toward smaller x is dx = -16.7 (gain 2), so the cursor
    // goes left by 0.333 and lands on 133 / 800.
    const Pose negative = Rest().Torso(160, 120, -40).Right(100, 20);
    // Torso value 0 with the right hand on the reference line: inside a region of zero size.
    const Pose flat = Rest().Torso(160, 120, 0).Right(100, 90);
    const std::vector<Case> cases = {
        {"negative torso value mirrors the cursor",
         Script().Hold(negative, 3).Hold(Pose(negative).Right(60, 20)),
         {-1, 23, 23, 23},
         133.0f / 800.0f},
        {"zero torso value never switches the mouse on",
         Script().Hold(flat, 3),
         {-1, -1, -1},
         testing::kUntouched},
        {"the mouse stays on when the torso value drops to zero",
         Script().Hold(kMouse, 3).Hold(Pose(kMouse).Torso(160, 120, 0), 2),
         {-1, 23, 23, 23, 23},
         0.5f},
    };
    for (const Case& c : cases) {
        FakeClock clock;
        ZykGR recognizer;
        Select(recognizer, modeMouse);
        std::vector<GestureRecord> records;
        EXPECT_EQ(RunScript(recognizer, c.script, 100, &records), c.expected) << c.what;
        EXPECT_FLOAT_EQ(records.back().x, c.lastX) << c.what;
    }
}

TEST(ModeMouse, LeavingTheRegionReportsNothing) {
    Script script;
    script.Hold(kMouse, 3).Hold(Rest(), 2).Hold(Pose(kMouse).Right(150, 120), 1);
    EXPECT_EQ(RunMode(modeMouse, script), (Stream{-1, 23, 23, -1, -1, -1}));
}

}  // namespace
}  // namespace olvar
