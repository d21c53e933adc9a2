// The recognizer: mode selection, what it writes into the gesture record, calibration, and
// records no tracker would produce.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "gesture_script.h"

namespace olvar {
namespace {

using testing::FakeClock;
using testing::kUntouched;
using testing::MakeRecord;
using testing::Pose;
using testing::Rest;
using testing::RunScript;
using testing::Script;
using testing::Select;
using Stream = std::vector<int>;

// Identifiers above 14 have no mode object: they are refused and the mode is kept. Everything
// else is stored, 3 and negative values included.
TEST(Recognizer, SetModeAcceptsZeroToFourteenAndNegativeValues) {
    struct Case {
        int mode;
        int status;
    };
    const Case cases[] = {
        {0, kOlvarOk},         {2, kOlvarOk},
        {3, kOlvarOk},         {4, kOlvarOk},
        {14, kOlvarOk},        {-1, kOlvarOk},
        {INT_MIN, kOlvarOk},   {15, kOlvarInvalid},
        {1000, kOlvarInvalid}, {INT_MAX, kOlvarInvalid},
    };
    for (const Case& c : cases) {
        ZykGR recognizer;
        Select(recognizer, modeCombine);
        EXPECT_EQ(recognizer.SetMode(&c.mode), c.status) << c.mode;
        int current = -100;
        const int expected = c.status == kOlvarOk ? c.mode : modeCombine;
        EXPECT_EQ(recognizer.GetMode(&current), expected) << c.mode;
        EXPECT_EQ(current, expected) << c.mode;
    }
    ZykGR recognizer;
    EXPECT_EQ(recognizer.GetMode(nullptr), modeMotion);
    EXPECT_EQ(recognizer.SetMode(nullptr), kOlvarInvalid);
    EXPECT_EQ(recognizer.GetMode(nullptr), modeMotion);
}

// After a refused identifier the recognizer keeps running the mode it had.
TEST(Recognizer, RefusedModeKeepsRecognizing) {
    FakeClock clock;
    ZykGR recognizer;
    Select(recognizer, modeMotionExt1);
    const int bad = 15;
    ASSERT_EQ(recognizer.SetMode(&bad), kOlvarInvalid);
    EXPECT_EQ(RunScript(recognizer, Script().Hold(Rest(), 2)), (Stream{-2, 0}));
}

TEST(Recognizer, FirstFrameAndModeThree) {
    struct Case {
        int mode;
        Stream expected;
    };
    const Case cases[] = {
        {modeStatus, {-1, 0}},  // the shared classifier leaves the first record alone
        {modeMouse, {-1, -1}},  // (the hands are not in the mouse region)
        {modeMotion, {-1, 0}},
        {modeUndefine, {-1, -1}},   // nothing recognized, nothing written
        {modeMotionExt1, {-2, 0}},  // mode objects report the short history
        {modeTreasureHunter, {-2, 0}},
        {-3, {-1, 0}},  // negative: the motion mode
    };
    for (const Case& c : cases) {
        FakeClock clock;
        ZykGR recognizer;
        Select(recognizer, c.mode);
        std::vector<GestureRecord> records;
        EXPECT_EQ(RunScript(recognizer, Script().Hold(Rest(), 2), 100, &records), c.expected)
            << "mode " << c.mode;
        for (const GestureRecord& r : records) {
            EXPECT_EQ(r.x, kUntouched);
            EXPECT_EQ(r.y, kUntouched);
        }
    }
}

TEST(Recognizer, NegativeModeRunsTheMotionMode) {
    const Script script = Script()
                              .LeftX(Rest().Left(200, 130), {200, 200, 215, 230})
                              .LeftY(Rest(), {150, 150, 120, 90, 80})
                              .Hold(Rest(), 3);
    auto run = [&](int mode) {
        FakeClock clock;
        ZykGR recognizer;
        Select(recognizer, mode);
        return RunScript(recognizer, script);
    };
    const Stream motion = run(modeMotion);
    EXPECT_EQ(run(-1), motion);
    EXPECT_EQ(run(INT_MIN), motion);
    EXPECT_EQ(motion[2], gesLeftLeft);
}

// Cursor positions travel with 23 to 26, lean values with 37, 38 and 51 to 54; other gestures
// leave x and y as they were.
TEST(Recognizer, CursorAndLeanGoIntoTheRecord) {
    FakeClock clock;
    ZykGR recognizer;
    std::vector<GestureRecord> records;

    Select(recognizer, modeMotionExt2);
    Script bothUp;
    for (float y : {150.f, 150.f, 120.f, 90.f, 78.f}) {
        bothUp.Hold(Rest().Left(230, y).Right(90, y));
    }
    RunScript(recognizer, bothUp, 100, &records);
    ASSERT_EQ(records.back().gesture, gesBothUp);
    EXPECT_EQ(records.back().x, kUntouched);
    EXPECT_EQ(records.back().y, kUntouched);

    records.clear();
    Select(recognizer, modeCombine2);
    RunScript(recognizer, Script().Hold(Rest(), 2).Hold(Rest().Head(200, 60)), 100, &records);
    ASSERT_EQ(records.back().gesture, gesBodyLeft);
    EXPECT_NEAR(records.back().x, 0.5 - 20.0 / 120, 1e-6);
    EXPECT_FLOAT_EQ(records.back().y, 0.5f);

    records.clear();
    Select(recognizer, modeMouse);
    RunScript(recognizer, Script().Hold(Rest().Right(100, 120), 2), 100, &records);
    ASSERT_EQ(records.back().gesture, gesMouseMove);
    EXPECT_FLOAT_EQ(records.back().x, 0.5f);
}

// A mode object keeps its history while other modes run: coming back gives no -2.
TEST(Recognizer, ModesKeepTheirHistoryAcrossSwitches) {
    FakeClock clock;
    ZykGR recognizer;
    Select(recognizer, modeMotionExt1);
    EXPECT_EQ(RunScript(recognizer, Script().Hold(Rest(), 2)), (Stream{-2, 0}));
    Select(recognizer, modeMotionExt2);
    EXPECT_EQ(RunScript(recognizer, Script().Hold(Rest(), 1)), (Stream{-2}));
    Select(recognizer, modeMotionExt1);
    EXPECT_EQ(RunScript(recognizer, Script().Hold(Rest(), 1)), (Stream{0}));
    Select(recognizer, modeMotion);
    EXPECT_EQ(RunScript(recognizer, Script().Hold(Rest(), 1)), (Stream{-1}));
}

// Selecting a mode anew clears its calibration; selecting it again while active does not.
TEST(Recognizer, SelectingAModeAnewClearsItsCalibration) {
    FakeClock clock;
    ZykGR recognizer;
    IMode* combine = recognizer.ModeObject(modeCombine);
    ASSERT_NE(combine, nullptr);
    Select(recognizer, modeCombine);
    RunScript(recognizer, Script().Hold(Rest(), 2));
    EXPECT_TRUE(combine->IsCalibrated());
    Select(recognizer, modeCombine);
    EXPECT_TRUE(combine->IsCalibrated());
    Select(recognizer, modeCombine1);
    EXPECT_TRUE(combine->IsCalibrated());
    Select(recognizer, modeCombine);
    EXPECT_FALSE(combine->IsCalibrated());
}

// Calibration is the user's rest position: after reselection the head's current place is the
// new centre, so the same head position is upright instead of leaning.
TEST(Recognizer, RecalibrationMovesTheLeanCentre) {
    const Pose front = Rest().Left(200, 130).Right(120, 130);
    const Pose shifted = Pose(front).Head(200, 60);
    auto run = [&](int between) {
        FakeClock clock;
        ZykGR recognizer;
        Select(recognizer, modeMotionExt3);
        RunScript(recognizer, Script().Hold(front, 2));
        Select(recognizer, between);
        Select(recognizer, modeMotionExt3);
        return RunScript(recognizer, Script()
                                         .Hold(shifted, 1)
                                         .Hold(Pose(shifted).Left(205, 130))
                                         .Hold(Pose(shifted).Left(200, 130)));
    };
    EXPECT_EQ(run(modeMotionExt3), (Stream{-1, gesHandsMovingBodyLeft, gesHandsMovingBodyLeft}));
    EXPECT_EQ(run(modeMotionExt2), (Stream{-1, gesHandsMovingFront, gesHandsMovingFront}));
}

// The calibrated unit follows the face size only after more than ten frames whose unit differs
// by more than 8; the frames need not be consecutive.
TEST(Recognizer, UnitRecalibratesAfterElevenDeviatingFrames) {
    struct Case {
        const char* what;
        std::vector<float> faceSizes;  // after two calibrating frames at 50 (unit 40)
        int expectedUnit;
    };
    auto repeat = [](std::vector<float> pattern, int times) {
        std::vector<float> out;
        for (int i = 0; i < times; ++i) {
            out.insert(out.end(), pattern.begin(), pattern.end());
        }
        return out;
    };
    const std::vector<Case> cases = {
        {"ten frames at unit 49", repeat({62}, 10), 40},
        {"eleven frames at unit 49", repeat({62}, 11), 49},
        {"unit 48 is within tolerance", repeat({61}, 30), 40},
        {"ten deviating frames among normal ones", repeat({62, 50}, 10), 40},
        {"eleven deviating frames among normal ones", repeat({50, 62}, 11), 49},
    };
    for (const Case& c : cases) {
        FakeClock clock;
        ZykGR recognizer;
        Select(recognizer, modeMotionExt1);
        Script script;
        script.Hold(Rest(), 2);
        for (float size : c.faceSizes) {
            script.Hold(Rest().Face(size).Head(170, 60));
        }
        RunScript(recognizer, script);
        const IMode* mode = recognizer.ModeObject(modeMotionExt1);
        EXPECT_EQ(mode->Body().unit, c.expectedUnit) << c.what;
        EXPECT_EQ(mode->Body().calibratedHeadX, c.expectedUnit == 40 ? 160 : 170) << c.what;
    }
}

TEST(Recognizer, NullPointersAreRefused) {
    ZykGR recognizer;
    const TrackingRecord record = MakeRecord(Rest());
    GestureRecord gesture{-1, kUntouched, kUntouched};
    EXPECT_EQ(recognizer.Recognize(nullptr, &gesture), kOlvarInvalid);
    EXPECT_EQ(recognizer.Recognize(&record, nullptr), kOlvarInvalid);
    EXPECT_EQ(gesture.gesture, -1);
    EXPECT_EQ(recognizer.Recognize(&record, &gesture), kOlvarOk);
}

// Records no tracker would write (not-a-number, infinities, huge or zero sizes) must still give
// a gesture identifier and finite cursor values in every mode.
TEST(Recognizer, CorruptRecordsGiveValidResultsInEveryMode) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float values[] = {nan, inf, -inf, 3e38f, -3e38f, 0.0f, -1.0f, 1e7f};
    std::vector<TrackingRecord> records;
    for (float v : values) {
        Pose p = Rest();
        records.push_back(MakeRecord(Pose(p).Face(v)));
        records.push_back(MakeRecord(Pose(p).Head(v, v)));
        records.push_back(MakeRecord(Pose(p).Left(v, 200).Right(100, v)));
        records.push_back(MakeRecord(Pose(p).Neck(v)));
        records.push_back(MakeRecord(Pose(p).Right(100, 120).Torso(v, v, v)));
        records.push_back(MakeRecord(Pose(p).Right(100, 120).Torso(160, 120, v)));
        records.push_back(MakeRecord(Pose(p).Shoulder(v).Right(105, 110)));
        TrackingRecord all{};
        all.faceX = all.faceY = all.faceSize = all.torsoX = all.torsoY = all.torsoValue = v;
        all.hand0X = all.hand0Y = all.hand1X = all.hand1Y = v;
        all.joints[kJointNeckTop].y = all.joints[kJointLeftShoulder].x = v;
        records.push_back(all);
    }
    for (int mode = -1; mode <= 14; ++mode) {
        FakeClock clock;
        ZykGR recognizer;
        Select(recognizer, mode);
        for (int pass = 0; pass < 3; ++pass) {
            for (const TrackingRecord& record : records) {
                FakeClock::Advance(700);
                GestureRecord gesture{-1, 0.0f, 0.0f};
                ASSERT_EQ(recognizer.Recognize(&record, &gesture), kOlvarOk);
                EXPECT_GE(gesture.gesture, -2) << "mode " << mode;
                EXPECT_LE(gesture.gesture, 72) << "mode " << mode;
                EXPECT_TRUE(std::isfinite(gesture.x)) << "mode " << mode;
                EXPECT_TRUE(std::isfinite(gesture.y)) << "mode " << mode;
            }
        }
    }
}

}  // namespace
}  // namespace olvar
