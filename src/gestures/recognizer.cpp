#include "gestures/recognizer.h"

#include "gestures/vocabulary.h"

namespace olvar {

int ZykGR::SetMode(const int* mode) {
    if (mode == nullptr || *mode > kLastMode) {
        return kOlvarInvalid;
    }
    currentMode_ = *mode;
    previousMode_ = *mode;
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

const char* ZykGR::GetModeName(int mode) { return ModeName(mode); }

int ZykGR::GetGestureList(const int** list) {
    if (list == nullptr) {
        return kOlvarInvalid;
    }
    return GestureList(list);
}

const char* ZykGR::GetGestureName(int gesture) { return GestureName(gesture); }

int ZykGR::Recognize(const TrackingRecord*, GestureRecord*) { return kOlvarOk; }

}  // namespace olvar
