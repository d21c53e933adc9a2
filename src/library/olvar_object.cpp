#include "library/olvar_object.h"

#include <algorithm>
#include <cstring>

#include "library/frame_preparation.h"

namespace olvar {
namespace {

constexpr OptionBytes kDefaultOptions = {0, 0, 1, 1, 0, 0};

}  // namespace

Olvar::Olvar()
    : options_(kDefaultOptions),
      context_(std::make_unique<TrackingContext>()),
      recognizers_(std::make_unique<ZykGR[]>(2)) {
    // Frames are accepted before the first SetFrameFormat: the copies start from the context's
    // defaults (320 x 240 frames, 200 x 150 working size).
    CopyGeometryFromContext();
    const int initialMode = modeMotionExt1;
    recognizers_[0].SetMode(&initialMode);
    recognizers_[1].SetMode(&initialMode);
}

Olvar::~Olvar() = default;

void Olvar::CopyGeometryFromContext() {
    const TrackingContext& c = *context_;
    workWidth_ = c.workWidth;
    workHeight_ = c.workHeight;
    workPixels_ = c.workWidth * c.workHeight;
    frameWidth_ = c.frameWidth;
    frameHeight_ = c.frameHeight;
    resize_ = c.resize;
    scale_ = c.scale;
    inverseScale_ = c.inverseScale;
}

int Olvar::SetFrameFormat(int stride, int height, int width, int format, bool bottomUp) {
    const int status = context_->Configure(stride, height, width, format, bottomUp);
    if (status != kOlvarOk) {
        return status;
    }
    CopyGeometryFromContext();
    users_.ResizeState(workWidth_, workHeight_, workPixels_);
    return kOlvarOk;
}

int Olvar::SetOptions(const OlvarOptions* options) {
    if (options == nullptr) {
        return kOlvarInvalid;
    }
    std::memcpy(&options_, options, sizeof options_);
    return kOlvarOk;
}

OlvarOptions Olvar::GetOptions() {
    // Copied as bytes: the host gets back exactly what it set, without a load as bool.
    OlvarOptions options;
    std::memcpy(&options, &options_, sizeof options);
    return options;
}

int Olvar::SetUserMode(const UserMode* mode) {
    if (mode == nullptr || mode->userCount < 1 || mode->userCount > 2 || mode->mode < 0 ||
        mode->mode > 1) {
        return kOlvarInvalid;
    }
    users_.userMode = *mode;
    return kOlvarOk;
}

UserMode Olvar::GetUserMode() {
    return users_.userMode;
}

int Olvar::SetGestureMode(const int* mode) {
    recognizers_[0].SetMode(mode);
    return recognizers_[1].SetMode(mode);
}

int Olvar::GetGestureMode(int* mode) {
    return recognizers_[0].GetMode(mode);
}

int Olvar::GetModeList(const int** list) {
    if (!recognizers_) {
        return kOlvarNoRecognizer;
    }
    return recognizers_[0].GetModeList(list);
}

const char* Olvar::GetModeName(int index) {
    return recognizers_ ? recognizers_[0].GetModeName(index) : nullptr;
}

int Olvar::GetGestureList(const int** list) {
    if (!recognizers_) {
        return kOlvarNoRecognizer;
    }
    return recognizers_[0].GetGestureList(list);
}

const char* Olvar::GetGestureName(int index) {
    return recognizers_ ? recognizers_[0].GetGestureName(index) : nullptr;
}

void Olvar::EnableLegTracking(bool on) {
    options_.legTrackingEnabled = on ? 1 : 0;
    if (!on) {
        // The next record of the current user reports no legs.
        users_.Current().legsReady = false;
        users_.legs[users_.current].ClearResult();
    }
}

void Olvar::EnablePalmTracking(bool on) {
    options_.palmEnabled = on ? 1 : 0;
    if (!on) {
        // The next record of the current user reports no palm.
        users_.palm[users_.current].ClearFlags();
    }
}

int Olvar::ProcessFrame(const unsigned char* data, int size, int* userNumber,
                        TrackingRecord* records, GestureRecord* gestures) {
    if (userNumber == nullptr || records == nullptr || gestures == nullptr) {
        return kOlvarInvalid;
    }
    const UserMode mode = GetUserMode();
    std::memset(records, 0, sizeof(TrackingRecord) * (mode.userCount > 1 ? 2 : 1));
    if (mode.userCount <= 1) {
        users_.current = 0;
    }
    const int prepared = PrepareFrame(*context_, data, size);
    if (prepared != kOlvarOk && prepared != kStillScene) {
        return prepared;
    }
    return RunUserSteps(userNumber, records, gestures);
}

int Olvar::GetPreviewImage(unsigned char* buffer, int size, int width, int height, int stride) {
    return context_->RenderPreview(buffer, size, width, height, stride);
}

int Olvar::GetFaceRegion(int* rect, int user) {
    if (user < 0 || user > 1) {
        return kOlvarInvalid;
    }
    if (!users_.users[user].handsReady) {
        return kOlvarNothing;
    }
    if (rect == nullptr) {
        return kOlvarInvalid;
    }
    const TrackingContext& c = *context_;
    cv::Rect box;
    if (users_.FaceRegion(user, c.foreground, c.foregroundIntegral.data(), c.motionIntegral.data(),
                          &box) != 0) {
        return kOlvarNothing;
    }
    const FaceSquare square = SquareFaceRegionInFrame(box, c.scale, c.frameWidth);
    rect[0] = square.left;
    rect[1] = square.top;
    rect[2] = square.right;
    rect[3] = square.bottom;
    return kOlvarOk;
}

}  // namespace olvar
