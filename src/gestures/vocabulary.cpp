#include "gestures/vocabulary.h"

namespace olvar {
namespace {

const char* const kGestureNames[kGestureCount] = {
    "gesUndefined",
    "gesNeutral",
    "gesL5R7",
    "gesL5R1",
    "gesL5R6",
    "gesL4R8",
    "gesL1R8",
    "gesL3R8",
    "gesL4R7",
    "gesL1R7",
    "gesL4R1",
    "gesL1R1",
    "gesL3R7",
    "gesL3R1",
    "gesL4R6",
    "gesL1R6",
    "gesL3R6",
    "gesL1R2",
    "gesL2R1",
    "gesL2R6",
    "gesL2R7",
    "gesL3R2",
    "gesL4R2",
    "gesL5R2",
    "gesMouseMove",
    "gesMouseClick",
    "gesMouseDBClick",
    "gesMouseLeftDown",
    "gesLeftLeft",
    "gesLeftRight",
    "gesRightLeft",
    "gesRightRight",
    "gesLeftUp",
    "gesLeftDown",
    "gesRightUp",
    "gesRightDown",
    "gesBothUp",
    "gesBothDown",
    "gesBodyLeft",
    "gesBodyRight",
    "gesHandsFar",
    "gesHandsClose",
    "gesLeftRightFast",
    "gesRightLeftFast",
    "gesStopLeftFast",
    "gesStopRightFast",
    "gesLeftUpShift",
    "gesRightUpShift",
    "gesHeadTilt",
    "gesHandsMovingFront",
    "gesLeftLiftShift",
    "gesRightLiftShift",
    "gesHandsMovingBodyLeft",
    "gesHandsMovingBodyRight",
    "gesLeftLiftShiftBodyLeft",
    "gesLeftLiftShiftBodyRight",
    "gesRightLiftShiftBodyLeft",
    "gesRightLiftShiftBodyRight",
    "gesLeftHigherRightMiddle",
    "gesLeftLowerRightMiddle",
    "gesLeftEqualRightMiddle",
    "gesLeftHigherRightBottom",
    "gesLeftLowerRightBottom",
    "gesRightHold",
    "gesBothUpChest",
    "gesRightMiddle",
    "gesLeftUpRightActive",
    "gesLeftUpRightNotActive",
    "gesLeftTilt",
    "gesRightTilt",
    "gesHandsMovingFrontStop",
    "gesCrouch",
    "gesCrouchUp",
    "gesBodyHold",
};

const int kGestureIds[kGestureCount] = {
    -1, 0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17,
    18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36,
    37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55,
    56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72,
};

const char* const kModeNames[kModeCount] = {
    "modeStatus",      "modeMouse",      "modeMotion",      "modeUndefine", "modeMotionExt1",
    "modeMotionExt2",  "modeMotionExt3", "modeCombine",     "modeCombine1", "modeCombine2",
    "modeMediaCenter", "modeSolitaire",  "modeGoogleEarth", "modeJoyStick", "modeTreasureHunter",
};

const int kModeIds[kSelectableModes] = {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};

}  // namespace

int ModeList(const int** list) {
    *list = kModeIds;
    return kSelectableModes;
}

const char* ModeName(int mode) {
    if (mode < 0 || mode > kLastMode) {
        return kModeNames[3];
    }
    return kModeNames[mode];
}

int GestureList(const int** list) {
    *list = kGestureIds;
    return kGestureCount;
}

const char* GestureName(int gesture) {
    // The range test is made on the table index, so -2 falls outside as well.
    const long long index = static_cast<long long>(gesture) + 1;
    if (index < 0 || index >= kGestureCount) {
        return kGestureNames[0];
    }
    return kGestureNames[index];
}

}  // namespace olvar
