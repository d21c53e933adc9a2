#include "gestures/recognizer.h"

#include "gestures/vocabulary.h"

namespace olvar {
namespace {

bool CarriesCursor(int gesture) {
    return gesture >= gesMouseMove && gesture <= gesMouseLeftDown;
}

bool CarriesCursorOrLean(int gesture) {
    return CarriesCursor(gesture) || gesture == gesBodyLeft || gesture == gesBodyRight ||
           (gesture >= gesHandsMovingBodyLeft && gesture <= gesLeftLiftShiftBodyRight);
}

}  // namespace

int ZykGR::SetMode(const int* mode) {
    // Identifiers above 14 have no mode object; they are refused so that Recognize never runs
    // a missing mode.
    if (mode == nullptr || *mode > kLastMode) {
        return kOlvarInvalid;
    }
    const int selected = *mode;
    currentMode_ = selected;
    if (selected > modeUndefine && selected != previousMode_) {
        modes_.Find(selected)->ClearCalibration();
    }
    previousMode_ = selected;
    return kOlvarOk;
}

int ZykGR::GetMode(int* mode) {
    if (mode != nullptr) {
        *mode = currentMode_;
    }
    return currentMode_;
}

int ZykGR::GetModeList(const int** list) {
    if (list == nullptr) {
        return kOlvarInvalid;
    }
    return ModeList(list);
}

const char* ZykGR::GetModeName(int mode) {
    return ModeName(mode);
}

int ZykGR::GetGestureList(const int** list) {
    if (list == nullptr) {
        return kOlvarInvalid;
    }
    return GestureList(list);
}

const char* ZykGR::GetGestureName(int gesture) {
    return GestureName(gesture);
}

int ZykGR::Recognize(const TrackingRecord* record, GestureRecord* gesture) {
    if (record == nullptr || gesture == nullptr) {
        return kOlvarInvalid;
    }
    if (currentMode_ == modeUndefine) {
        return kOlvarOk;
    }
    if (IMode* mode = modes_.Find(currentMode_)) {
        mode->SetRecord(*record);
        const int result = mode->RecognizeFrame();
        gesture->gesture = result;
        if (CarriesCursorOrLean(result)) {
            gesture->x = mode->CursorX();
            gesture->y = mode->CursorY();
        }
        return kOlvarOk;
    }
    // Modes 0, 1, 2 and negative identifiers (which run the motion mode).
    classifier_.SetRecord(*record);
    const int result = classifier_.RecognizeBasic(currentMode_);
    if (result == kHistoryTooShort) {
        return kOlvarOk;
    }
    gesture->gesture = result;
    if (CarriesCursor(result)) {
        gesture->x = classifier_.CursorX();
        gesture->y = classifier_.CursorY();
    }
    return kOlvarOk;
}

}  // namespace olvar
