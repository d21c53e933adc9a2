// Olvar: the library object behind IOlvar. It owns the tracking context, both users' state and
// the two gesture recognizers for its whole life.
#ifndef OLVAR_LIBRARY_OLVAR_OBJECT_H
#define OLVAR_LIBRARY_OLVAR_OBJECT_H

#include <cstdint>
#include <memory>

#include "gestures/recognizer.h"
#include "library/tracking_context.h"
#include "olvar/olvar.h"
#include "users/per_user_state.h"

namespace olvar {

// The six option bytes exactly as the host set them. Hosts may pass any non-zero byte for "on"
// (97, 255, ...), which is no valid bool, so the bytes are kept as bytes and tested against 0.
struct OptionBytes {
    uint8_t estimateHeight;
    uint8_t reserved1;
    uint8_t reserved2;
    uint8_t gestureEnabled;
    uint8_t legTrackingEnabled;
    uint8_t palmEnabled;
};
static_assert(sizeof(OptionBytes) == sizeof(OlvarOptions), "one byte per option");

class Olvar final : public IOlvar {
  public:
    Olvar();
    ~Olvar();
    Olvar(const Olvar&) = delete;
    Olvar& operator=(const Olvar&) = delete;

    int SetFrameFormat(int stride, int height, int width, int format, bool bottomUp) override;
    int SetOptions(const OlvarOptions* options) override;
    OlvarOptions GetOptions() override;
    int SetUserMode(const UserMode* mode) override;
    UserMode GetUserMode() override;
    int SetGestureMode(const int* mode) override;
    int GetGestureMode(int* mode) override;
    int GetModeList(const int** list) override;
    const char* GetModeName(int index) override;
    int GetGestureList(const int** list) override;
    const char* GetGestureName(int index) override;
    void EnableLegTracking(bool on) override;
    void EnablePalmTracking(bool on) override;
    int ProcessFrame(const unsigned char* data, int size, int* userNumber, TrackingRecord* records,
                     GestureRecord* gestures) override;
    int GetPreviewImage(unsigned char* buffer, int size, int width, int height,
                        int stride) override;
    int GetFaceRegion(int* rect, int user) override;

    // White-box access for tests and tools (never for hosts).
    TrackingContext& Context() { return *context_; }
    PerUserState& Users() { return users_; }

  private:
    void CopyGeometryFromContext();

    // The per-user part of a frame, after preparation (frame_steps.cpp).
    int RunUserSteps(int* userNumber, TrackingRecord* records, GestureRecord* gestures);
    int SingleUserStep(int* userNumber, TrackingRecord* records);
    int TwoUserStep(int* userNumber, TrackingRecord* records);
    int FullUserStep(int user, int* userNumber, TrackingRecord* records);
    // Optional analyses after a successful tracking step; returns the result that decides
    // whether the record is kept (the palm analysis's, 0 without it).
    int OptionalSteps(const FrameView& frame);
    void ClearTrackedFlags();
    void StoreLastRecord(int user, const TrackingRecord& record);

    OptionBytes options_;
    std::unique_ptr<TrackingContext> context_;

    // Copies of the context's geometry, refreshed by every successful SetFrameFormat.
    int workWidth_ = 0;
    int workHeight_ = 0;
    int workPixels_ = 0;
    int frameWidth_ = 0;
    int frameHeight_ = 0;
    bool resize_ = false;
    double scale_ = 0.0;
    double inverseScale_ = 0.0;

    PerUserState users_;
    std::unique_ptr<ZykGR[]> recognizers_;
};

}  // namespace olvar

#endif  // OLVAR_LIBRARY_OLVAR_OBJECT_H
