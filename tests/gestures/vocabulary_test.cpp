#include <gtest/gtest.h>

#include <string>

#include "gestures/recognizer.h"
#include "gestures/vocabulary.h"

namespace olvar {
namespace {

TEST(Vocabulary, GestureNamesAtAndBeyondTheEnds) {
    struct Case {
        int id;
        const char* name;
    };
    const Case cases[] = {
        {-3, "gesUndefined"},
        {-2, "gesUndefined"},
        {-1, "gesUndefined"},
        {0, "gesNeutral"},
        {1, "gesL5R7"},
        {22, "gesL5R2"},
        {23, "gesMouseMove"},
        {24, "gesMouseClick"},
        {27, "gesLeftLeft"},
        {34, "gesRightDown"},
        {35, "gesBothUp"},
        {40, "gesHandsClose"},
        {47, "gesHeadTilt"},
        {48, "gesHandsMovingFront"},
        {57, "gesLeftHigherRightMiddle"},
        {62, "gesRightHold"},
        {69, "gesHandsMovingFrontStop"},
        {72, "gesBodyHold"},
        {73, "gesUndefined"},
        {1 << 30, "gesUndefined"},
        {-(1 << 30), "gesUndefined"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(GestureName(c.id), c.name) << "gesture " << c.id;
    }
}

TEST(Vocabulary, ModeNamesIncludingTheUnlistedThree) {
    struct Case {
        int id;
        const char* name;
    };
    const Case cases[] = {
        {-1, "modeUndefine"},       {0, "modeStatus"},       {1, "modeMouse"},
        {2, "modeMotion"},          {3, "modeUndefine"},     {4, "modeMotionExt1"},
        {7, "modeCombine"},         {10, "modeMediaCenter"}, {13, "modeJoyStick"},
        {14, "modeTreasureHunter"}, {15, "modeUndefine"},    {1 << 30, "modeUndefine"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(ModeName(c.id), c.name) << "mode " << c.id;
    }
}

TEST(Vocabulary, ListsAreCompleteAndOrdered) {
    const int* modes = nullptr;
    ASSERT_EQ(ModeList(&modes), 14);
    const int expectedModes[] = {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(modes[i], expectedModes[i]);
    }

    const int* gestures = nullptr;
    ASSERT_EQ(GestureList(&gestures), 74);
    for (int i = 0; i < 74; ++i) {
        EXPECT_EQ(gestures[i], i - 1);
        // Every listed gesture has its own name; only -1 is "gesUndefined".
        EXPECT_EQ(std::string(GestureName(gestures[i])) == "gesUndefined", i == 0);
    }
}

TEST(Vocabulary, RecognizerForwardsLookupsAndRefusesNullLists) {
    ZykGR recognizer;
    const int* list = nullptr;
    EXPECT_EQ(recognizer.GetModeList(&list), 14);
    EXPECT_EQ(recognizer.GetGestureList(&list), 74);
    EXPECT_EQ(recognizer.GetModeList(nullptr), kOlvarInvalid);
    EXPECT_EQ(recognizer.GetGestureList(nullptr), kOlvarInvalid);
    EXPECT_STREQ(recognizer.GetModeName(11), "modeSolitaire");
    EXPECT_STREQ(recognizer.GetGestureName(-2), "gesUndefined");
}

}  // namespace
}  // namespace olvar
