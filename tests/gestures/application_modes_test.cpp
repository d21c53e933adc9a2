// The application modes 10 to 14, driven through the recognizer with scripted poses.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "gesture_script.h"

namespace olvar {
namespace {

using testing::Pose;
using testing::Rest;
using testing::RunMode;
using testing::Script;
using Stream = std::vector<int>;

int Count(const Stream& stream, int gesture) {
    return static_cast<int>(std::count(stream.begin(), stream.end(), gesture));
}

struct ScriptCase {
    const char* what;
    Script script;
    Stream expected;
};

// --- Mode 10: media centre ----------------------------------------------------------------------
// Default box column c = truncate(160 - 1.75 * 40) = 90: top line 88, box bottom 140, box x
// from 94 to 120, outer x from 40 to 136, band top 80, chest line 160, low line 188. Direction
// codes use 0.4 units (16 pixels) both ways.
const Pose kInBox = Rest().Right(105, 110);

TEST(MediaCenter, OneShotGestures) {
    const Pose chest = Rest().Left(200, 120).Right(110, 120);
    Script bothUp;
    for (float y : {200.f, 200.f, 150.f, 100.f, 80.f, 70.f}) {
        bothUp.Hold(Rest().Left(200, y).Right(110, y));
    }
    const std::vector<ScriptCase> cases = {
        {"both hands low: neutral", Script().Hold(Rest(), 2), {-2, 0}},
        {"right hand flicked up out of the box: 33",
         Script().RightY(kInBox, {110, 110, 110, 80, 70}),
         {-2, -1, -1, 33, -1}},
        {"left hand raised: 31",
         Script().LeftY(Rest(), {150, 150, 120, 85, 70}),
         {-2, -1, -1, 31, -1}},
        {"both hands up: 35", bothUp, {-2, 0, -1, -1, 35, -1}},
        {"both hands still at the chest: 63, re-armed by lowering them",
         Script().Hold(chest, 3).Hold(Rest(), 2).Hold(chest, 5),
         {-2, 63, -1, 0, 0, -1, -1, -1, 63, -1}},
        // On the first sideways frame the column jumps to the hand (x 125: box 129..155), so
        // the swipe fires a frame later, with the default column again.
        {"right hand out of the box toward larger x: 29 once",
         Script().RightX(kInBox, {105, 105, 105, 125, 145, 165, 185}),
         {-2, -1, -1, -1, 29, -1, -1}},
        // Toward smaller x the jumped box (85: 89..115) already lies beside the hand.
        {"right hand out of the box toward smaller x: 30",
         Script().RightX(kInBox, {105, 105, 105, 85, 65}),
         {-2, -1, -1, 30, -1}},
    };
    for (const ScriptCase& c : cases) {
        EXPECT_EQ(RunMode(modeMediaCenter, c.script), c.expected) << c.what;
    }
}

// A second 29 needs the hand back inside: R = 2 right of the box's left edge re-arms it.
TEST(MediaCenter, SwipeReArmsWhenTheHandComesBack) {
    const Script script = Script()
                              .RightX(kInBox, {105, 105, 105, 125, 145, 165})
                              .RightX(kInBox, {140, 105, 105, 105})
                              .RightX(kInBox, {125, 145});
    EXPECT_EQ(RunMode(modeMediaCenter, script),
              (Stream{-2, -1, -1, -1, 29, -1, -1, -1, -1, -1, 29, -1}));
}

// Dropping the right hand below the box starts a press; bringing it back up to where it dropped
// (after at least four frames of the press) reports 34.
TEST(MediaCenter, PressBelowTheBox) {
    const Script script = Script().RightY(kInBox, {110, 110, 110, 150, 110, 110, 110});
    EXPECT_EQ(RunMode(modeMediaCenter, script), (Stream{-2, -1, -1, -1, -1, -1, 34}));
}

// A still right hand in the box reports 62 after 2500 ms (frames of 100 ms, timing from frame 2)
// and then times anew.
TEST(MediaCenter, HoldInTheBox) {
    const Stream stream = RunMode(modeMediaCenter, Script().Hold(kInBox, 60));
    Stream expected(60, -1);
    expected[0] = -2;
    expected[26] = gesRightHold;  // frame 27: 2500 ms after frame 2
    expected[52] = gesRightHold;  // frame 53: 2500 ms after frame 28
    EXPECT_EQ(stream, expected);
}

// Moving inside the box (a direction code) stops the timing; it starts again on the first still
// frame.
TEST(MediaCenter, MovingInTheBoxRestartsTheHold) {
    Script script;
    script.Hold(kInBox, 10)
        .Hold(Pose(kInBox).Right(96, 110))
        .Hold(Pose(kInBox).Right(118, 110), 40);
    const Stream stream = RunMode(modeMediaCenter, script);
    // The range 96..118 leaves the history on frame 15, which starts the new hold.
    ASSERT_EQ(Count(stream, gesRightHold), 1);
    EXPECT_EQ(std::find(stream.begin(), stream.end(), gesRightHold) - stream.begin(), 39);
}

// --- Mode 11: card game -------------------------------------------------------------------------
// Pointer centre (truncate(160 - 1.6 * 40), truncate(60 + 0.5 * 40)) = (96, 80), scale 40; the
// pointer switches on above y = 120 and off below y = 152.

TEST(Solitaire, PointerValuesOnTheCardGameGrid) {
    struct Case {
        float rightX;
        float rightY;
        float x;
        float y;
    };
    const Case cases[] = {
        {96, 80, 0, 0},    {66, 80, 7, 0},   // 0.75 unit: k = 7 maps to 7
        {72, 80, 7, 0},    {58, 80, 10, 0},  // 0.6 unit (k = 6) and 0.95 unit (k = 9)
        {56, 80, 15, 0},   {-4, 80, 15, 0},  // one unit or more
        {136, 80, -15, 0}, {96, 100, 0, 5},  // the other side; half a unit down
        {96, 48, 0, -10},  {84, 88, 3, 2},   // 0.8 unit up (k = -8); 0.3 and 0.2 units
    };
    for (const Case& c : cases) {
        std::vector<GestureRecord> records;
        const Stream stream =
            RunMode(modeSolitaire, Script().Hold(Rest().Right(c.rightX, c.rightY), 2), &records);
        ASSERT_EQ(stream, (Stream{-2, 23})) << c.rightX << ", " << c.rightY;
        EXPECT_EQ(records[1].x, c.x) << c.rightX;
        EXPECT_EQ(records[1].y, c.y) << c.rightY;
    }
}

// The left hand's up swipe is a click. The history is smoothed to its mean every frame, so the
// hand's averaged height reaches r - 0.2u = 92 some frames after the hand itself.
TEST(Solitaire, LeftUpSwipeIsReportedAsAClick) {
    const Script script =
        Script().LeftY(Rest(), {200, 200, 160, 100, 40, 40, 40, 40, 40, 40, 40, 40});
    EXPECT_EQ(RunMode(modeSolitaire, script),
              (Stream{-2, 0, 0, 0, -1, -1, -1, -1, -1, -1, 24, -1}));
}

TEST(Solitaire, PointerSwitchesWithHysteresis) {
    Script script;
    script
        .Hold(Rest().Right(96, 80), 10)    // on
        .Hold(Rest().Right(96, 140), 30)   // between the lines: stays on
        .Hold(Rest().Right(96, 158), 30)   // below the off line: off
        .Hold(Rest().Right(96, 140), 30)   // between the lines: stays off
        .Hold(Rest().Right(96, 100), 30);  // above the on line: on
    // The history is smoothed, so a switch shows some frames after the hand crossed a line;
    // each phase is long enough to settle.
    const Stream stream = RunMode(modeSolitaire, script);
    EXPECT_EQ(stream[9], gesMouseMove);
    for (int i = 10; i < 40; ++i) {
        EXPECT_EQ(stream[i], gesMouseMove) << "frame " << i + 1;
    }
    EXPECT_EQ(stream[69], -1);
    for (int i = 70; i < 100; ++i) {
        EXPECT_EQ(stream[i], -1) << "frame " << i + 1;
    }
    EXPECT_EQ(stream[129], gesMouseMove);
}

// Both (smoothed) hands above r - u = 60 while moving up: 35. The smoothing makes the averaged
// hands arrive there some frames after the hands themselves.
TEST(Solitaire, BothHandsUp) {
    Script script;
    for (float y : {200.f, 200.f, 120.f, 40.f}) {
        script.Hold(Rest().Left(230, y).Right(90, y));
    }
    script.Hold(Rest().Left(230, 30).Right(90, 30), 16);
    // Averaged heights 173, 153, 139, ... 64, 60 reach 56 on frame 15; the raw history keeps a
    // range above 22 (moving up) for four frames.
    const Stream stream = RunMode(modeSolitaire, script);
    EXPECT_EQ(stream[2], gesNeutral);
    EXPECT_EQ(stream[13], -1);
    EXPECT_EQ(Stream(stream.begin() + 14, stream.begin() + 18), Stream(4, gesBothUp));
    EXPECT_EQ(Count(stream, gesBothUp), 4);
}

// Face size -50 gives unit -40: the pointer centre moves to (224, 40), the on line to y = 0 and
// the off line to y = -32, above it. A right hand at y = -10 lies beyond both lines: each frame
// switches the pointer off and at once on again, so it keeps pointing; its values use the
// negative scale (x: 126 / -40 -> -1 -> -15, y: -50 / -40 -> 1 -> 15). The left hand rests on
// the line truncate(r + 1.5u) = 40, where its up code (every hand has a code with a negative
// unit) first clicks and then lets the pointer through; the right hand keeps moving sideways so
// that it never has the up code that would make both hands up.
TEST(Solitaire, NegativeUnitKeepsThePointerGoing) {
    const Pose pose = Rest().Face(-50).Left(230, 40);
    const Script script = Script().RightX(Pose(pose).Right(90, -10), {90, 100, 110, 120, 130});
    std::vector<GestureRecord> records;
    EXPECT_EQ(RunMode(modeSolitaire, script, &records), (Stream{-2, 24, 23, 23, 23}));
    for (size_t i = 2; i < records.size(); ++i) {
        EXPECT_EQ(records[i].x, -15.0f) << "frame " << i + 1;
        EXPECT_EQ(records[i].y, 15.0f) << "frame " << i + 1;
    }
}

// --- Mode 12: globe -----------------------------------------------------------------------------

// Both hands in the band (r - 2u, r + 1.5u) = (20, 160): level hands (1.8 x height difference
// below 1.5u = 60) report 39 at 4 units (160 pixels) apart or more, 40 closer; otherwise the
// higher hand tilts.
TEST(GoogleEarth, PostureOfBothHands) {
    struct Case {
        Pose pose;
        int expected;
    };
    const Case cases[] = {
        {Rest().Left(240, 120).Right(80, 120), gesHandsFar},
        {Rest().Left(239, 120).Right(80, 120), gesHandsClose},
        {Rest().Left(230, 133).Right(90, 100), gesHandsClose},  // 1.8 * 33 = 59
        {Rest().Left(230, 134).Right(90, 100), gesRightTilt},   // 1.8 * 34 = 61, right higher
        {Rest().Left(230, 100).Right(90, 140), gesLeftTilt},
        {Rest().Left(230, 20).Right(90, 40), -1},    // on the band's top
        {Rest().Left(230, 160).Right(90, 150), -1},  // on the band's bottom
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunMode(modeGoogleEarth, Script().Hold(c.pose, 3)),
                  (Stream{-2, c.expected, c.expected}));
    }
}

TEST(GoogleEarth, SwipesAndNeutral) {
    EXPECT_EQ(RunMode(modeGoogleEarth, Script().LeftX(Rest().Left(200, 130), {200, 200, 215, 230})),
              (Stream{-2, -1, 27, -1}));
    EXPECT_EQ(RunMode(modeGoogleEarth, Script().Hold(Rest(), 2)), (Stream{-2, 0}));
}

// --- Mode 13: joystick --------------------------------------------------------------------------
// Left centre (truncate(160 + 80), truncate(60 + 14)) = (240, 74), right centre (68, 80), dead
// zone half-size truncate(0.8 * 40) = 32, low line r + 2u = 180.

TEST(JoyStick, RightStick) {
    const Pose leftDown = Rest();
    const std::vector<ScriptCase> cases = {
        {"in the dead zone: 62 every frame, even with the left hand up",
         Script().Hold(Rest().Left(240, 74).Right(70, 85), 4),
         {-2, 62, 62, 62}},
        {"toward smaller x: 30", Script().Hold(Pose(leftDown).Right(18, 80), 3), {-2, 30, 30}},
        {"toward larger x: 29", Script().Hold(Pose(leftDown).Right(118, 80), 2), {-2, 29}},
        {"up: 33", Script().Hold(Pose(leftDown).Right(68, 30), 2), {-2, 33}},
        {"down without having been raised: nothing",
         Script().Hold(Pose(leftDown).Right(68, 130), 2),
         {-2, -1}},
        {"down after being raised: 34",
         Script().Hold(Pose(leftDown).Right(68, 90), 2).Hold(Pose(leftDown).Right(68, 130), 2),
         {-2, 62, 34, 34}},
        {"both hands low: neutral", Script().Hold(Rest(), 2), {-2, 0}},
    };
    for (const ScriptCase& c : cases) {
        EXPECT_EQ(RunMode(modeJoyStick, c.script), c.expected) << c.what;
    }
}

// The left stick fires once per push; it is released by returning into the dead zone.
TEST(JoyStick, LeftStickPushesOncePerVisitOutside) {
    const Pose left = Rest().Left(240, 74);
    const Script script = Script().LeftX(left, {240, 240, 265, 290, 290, 240, 240, 290});
    EXPECT_EQ(RunMode(modeJoyStick, script), (Stream{-2, -1, -1, 27, -1, -1, -1, 27}));
    const Script toSmallerX = Script().LeftX(left, {240, 240, 190});
    EXPECT_EQ(RunMode(modeJoyStick, toSmallerX), (Stream{-2, -1, 28}));
    const Script up = Script().LeftY(left, {74, 74, 30});
    EXPECT_EQ(RunMode(modeJoyStick, up), (Stream{-2, -1, 31}));
}

// Pushing the raised left hand down starts a press that reports 32 once it lasted more than
// 400 ms (frames of 100 ms: 400 ms on frame 7 is not enough).
TEST(JoyStick, LeftPressIsTimed) {
    const Pose left = Rest().Left(240, 74).Right(90, 150);
    const Script script = Script().LeftY(left, {74, 74, 120, 120, 120, 120, 120, 120});
    EXPECT_EQ(RunMode(modeJoyStick, script), (Stream{-2, -1, -1, -1, -1, -1, -1, 32}));
}

// --- Mode 14: treasure hunt ---------------------------------------------------------------------

TEST(TreasureHunter, CrouchLeanAndHandsInFront) {
    const Pose hands = Rest().Left(230, 150).Right(90, 150);
    Script crouch;
    for (float y : {60.f, 60.f, 78.f, 79.f, 79.f, 78.f, 77.f}) {
        crouch.Hold(Pose(hands).Head(160, y));
    }
    Script lean;
    for (float x : {160.f, 160.f, 180.f, 181.f, 181.f, 179.f, 180.f}) {
        lean.Hold(Pose(hands).Head(x, 60));
    }
    const Pose front = Rest().Left(200, 130).Right(120, 130);
    const std::vector<ScriptCase> cases = {
        {"head drops more than truncate(0.45u) = 18: crouch, back: up",
         crouch,
         {-2, -1, -1, 70, -1, -1, 71}},
        {"head more than 20 pixels aside: 37 once, back within 20: 72",
         lean,
         {-2, -1, -1, 37, -1, 72, -1}},
        {"hands moving in front: 48 until they stop: 69",
         Script().LeftX(front, {200, 200, 206, 212, 212, 212, 212, 212}),
         {-2, -1, 48, 48, 48, 48, 69, -1}},
        {"hands at rest: neutral before any crouch",
         Script().Hold(Rest(), 2).Hold(Rest().Head(160, 90)),
         {-2, 0, 0}},
    };
    for (const ScriptCase& c : cases) {
        EXPECT_EQ(RunMode(modeTreasureHunter, c.script), c.expected) << c.what;
    }
}

// Far out to the side (beyond 2.3 units = 92 pixels from the head) only downward swipes count,
// close to the body only the others; a filtered swipe still counts as reported.
TEST(TreasureHunter, SwipesDependOnTheDistanceFromTheBody) {
    const std::vector<ScriptCase> cases = {
        {"left down far out: 32",
         Script().LeftY(Rest().Left(270, 100), {100, 100, 125, 150}),
         {-2, -1, 32, -1}},
        {"left down close: nothing",
         Script().LeftY(Rest().Left(220, 100), {100, 100, 125, 150}),
         {-2, -1, -1, -1}},
        {"left sideways close: 27",
         Script().LeftX(Rest().Left(170, 130), {170, 170, 200, 230}),
         {-2, -1, 27, -1}},
        {"left sideways far out: nothing, not even later",
         Script().LeftX(Rest().Left(260, 130), {260, 260, 290, 320, 350}),
         {-2, -1, -1, -1, -1}},
        {"right down far out: 34",
         Script().RightY(Rest().Right(50, 100), {100, 100, 125}),
         {-2, -1, 34}},
        {"right down close: nothing",
         Script().RightY(Rest().Right(100, 100), {100, 100, 125}),
         {-2, -1, -1}},
        {"right sideways close: 30",
         Script().RightX(Rest().Right(140, 130), {140, 140, 110}),
         {-2, -1, 30}},
    };
    for (const ScriptCase& c : cases) {
        EXPECT_EQ(RunMode(modeTreasureHunter, c.script), c.expected) << c.what;
    }
}

}  // namespace
}  // namespace olvar
