#include "host/room_learner.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace olvar::host {
namespace {

constexpr int kSampleStep = 4;          // every 4th pixel of every 4th row
constexpr int kChangeLevel = 20;        // grey levels beyond noise and the common change
constexpr double kStillShare = 0.003;   // changed samples a still picture may show
constexpr double kMovingShare = 0.003;  // changed samples that make the middle "moving"

int FramesFor(double seconds, double fps) {
    return static_cast<int>(std::lround(seconds * fps));
}

std::vector<uint8_t> Packed(const uint8_t* frame, int stride, int width, int height) {
    std::vector<uint8_t> packed(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        std::memcpy(&packed[static_cast<size_t>(y) * width * 3],
                    frame + static_cast<size_t>(y) * stride, static_cast<size_t>(width) * 3);
    }
    return packed;
}

// Brightness of a pixel, weighted roughly as luma.
int Brightness(const uint8_t* p) {
    return (p[0] + 2 * p[1] + p[2]) >> 2;
}

}  // namespace

const char* RoomPhaseName(RoomPhase phase) {
    switch (phase) {
        case RoomPhase::kCountdown:
            return "countdown";
        case RoomPhase::kWaiting:
            return "waiting";
        case RoomPhase::kLearning:
            return "learning";
        case RoomPhase::kDone:
            break;
    }
    return "done";
}

StillTest::StillTest(int width, int height) : width_(width), height_(height) {}

double StillTest::Share(const uint8_t* a, const uint8_t* b, int stride, int x0, int x1, int y0,
                        int y1) const {
    // The common brightness change first (light drift, exposure), then the samples that differ
    // from it by more than noise.
    long long sum = 0;
    long long samples = 0;
    for (int y = y0; y < y1; y += kSampleStep) {
        for (int x = x0; x < x1; x += kSampleStep) {
            const size_t at = static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
            sum += Brightness(b + at) - Brightness(a + at);
            ++samples;
        }
    }
    if (samples == 0) {
        return 0.0;
    }
    const int common = static_cast<int>(std::lround(static_cast<double>(sum) / samples));
    long long changed = 0;
    for (int y = y0; y < y1; y += kSampleStep) {
        for (int x = x0; x < x1; x += kSampleStep) {
            const size_t at = static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
            const int d = Brightness(b + at) - Brightness(a + at) - common;
            changed += std::abs(d) > kChangeLevel ? 1 : 0;
        }
    }
    return static_cast<double>(changed) / static_cast<double>(samples);
}

double StillTest::ChangedShare(const uint8_t* a, const uint8_t* b, int stride) const {
    return Share(a, b, stride, 0, width_, 0, height_);
}

bool StillTest::Still(const uint8_t* a, const uint8_t* b, int stride) const {
    return ChangedShare(a, b, stride) < kStillShare;
}

double StillTest::ChangedShareInMiddle(const uint8_t* a, const uint8_t* b, int stride) const {
    return Share(a, b, stride, width_ / 3, 2 * width_ / 3, height_ / 3, 2 * height_ / 3);
}

RoomLearner::RoomLearner(int width, int height, double fps, double countdownSeconds)
    : width_(width),
      height_(height),
      countdownFrames_(std::max(0, FramesFor(countdownSeconds, fps))),
      stillFrames_(std::max(2, FramesFor(kStillSeconds, fps))),
      maxWaitFrames_(std::max(2, FramesFor(kMaxWaitSeconds, fps))),
      still_(width, height),
      phase_(countdownFrames_ > 0 ? RoomPhase::kCountdown : RoomPhase::kWaiting) {}

int RoomLearner::CountdownLeft() const {
    const int left = countdownFrames_ - frames_;
    if (left <= 0) {
        return 0;
    }
    const double fps = stillFrames_ / kStillSeconds;
    return static_cast<int>(std::ceil(left / fps));
}

RoomPhase RoomLearner::Add(const uint8_t* frame, int stride) {
    if (phase_ == RoomPhase::kDone) {
        return RoomPhase::kDone;
    }
    ++frames_;
    if (frames_ <= countdownFrames_) {
        phase_ = frames_ < countdownFrames_ ? RoomPhase::kCountdown : RoomPhase::kWaiting;
        return RoomPhase::kCountdown;
    }
    recent_.push_back(Packed(frame, stride, width_, height_));
    if (static_cast<int>(recent_.size()) > stillFrames_) {
        recent_.pop_front();
    }
    ++waited_;
    const int packedStride = width_ * 3;
    const bool stillSinceLast =
        recent_.size() >= 2 &&
        still_.Still(recent_[recent_.size() - 2].data(), recent_.back().data(), packedStride);
    stillRun_ = stillSinceLast ? stillRun_ + 1 : 1;
    const RoomPhase phase = stillRun_ > 1 ? RoomPhase::kLearning : RoomPhase::kWaiting;
    // A full second of still frames, and its first and last frame agree too (someone walking
    // out slowly changes little from frame to frame, but much over the second).
    if (stillRun_ >= stillFrames_ &&
        still_.Still(recent_.front().data(), recent_.back().data(), packedStride)) {
        Finish(false);
    } else if (waited_ >= maxWaitFrames_) {
        Finish(true);
    } else {
        phase_ = phase;
    }
    return phase;
}

void RoomLearner::Finish(bool fellBack) {
    fellBack_ = fellBack;
    room_ = MedianFrame(recent_);
    recent_.clear();
    phase_ = RoomPhase::kDone;
}

std::vector<uint8_t> MedianFrame(const std::deque<std::vector<uint8_t>>& frames) {
    if (frames.empty()) {
        return {};
    }
    const size_t bytes = frames.front().size();
    std::vector<uint8_t> median(bytes);
    std::vector<uint8_t> values(frames.size());
    const size_t middle = frames.size() / 2;
    for (size_t i = 0; i < bytes; ++i) {
        for (size_t k = 0; k < frames.size(); ++k) {
            values[k] = frames[k][i];
        }
        std::nth_element(values.begin(), values.begin() + static_cast<long>(middle), values.end());
        median[i] = values[middle];
    }
    return median;
}

std::vector<uint8_t> RoomFrame(const std::vector<uint8_t>& room, int index) {
    std::vector<uint8_t> frame(room.size());
    // Per byte a binomial step of -2..2 (one grey level of deviation) from a hash of the
    // position and the frame index.
    uint32_t state = 2463534242u ^ static_cast<uint32_t>(index) * 2654435761u;
    for (size_t i = 0; i < room.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const int noise = static_cast<int>((state & 1) + ((state >> 1) & 1)) -
                          static_cast<int>(((state >> 2) & 1) + ((state >> 3) & 1));
        frame[i] = static_cast<uint8_t>(std::clamp(room[i] + noise, 0, 255));
    }
    return frame;
}

int WarmUpOnRoom(IOlvar* tracker, const std::vector<uint8_t>& room, int frames,
                 const std::function<void(std::vector<uint8_t>&)>& condition,
                 const std::function<void(int status)>& fed) {
    if (tracker == nullptr) {
        return kOlvarInvalid;
    }
    for (int i = 0; i < frames; ++i) {
        std::vector<uint8_t> frame = RoomFrame(room, i);
        if (condition) {
            condition(frame);
        }
        TrackingRecord records[2];
        GestureRecord gestures[2];
        int userNumber = 0;
        const int status = tracker->ProcessFrame(frame.data(), static_cast<int>(frame.size()),
                                                 &userNumber, records, gestures);
        if (fed) {
            fed(status);
        }
        if (status == kOlvarInvalid || status == kOlvarBadFormat) {
            return kOlvarInvalid;
        }
    }
    return kOlvarOk;
}

UntrackedHint::UntrackedHint(int width, int height, double fps, double seconds)
    : still_(width, height),
      width_(width),
      height_(height),
      windowFrames_(std::max(2, FramesFor(seconds, fps))) {}

bool UntrackedHint::Update(bool tracked, const uint8_t* frame, int stride) {
    std::vector<uint8_t> packed = Packed(frame, stride, width_, height_);
    const bool moved =
        !previous_.empty() &&
        still_.ChangedShareInMiddle(previous_.data(), packed.data(), width_ * 3) > kMovingShare;
    previous_ = std::move(packed);
    if (tracked) {
        untracked_ = 0;
        moving_.clear();
        armed_ = true;
        return false;
    }
    ++untracked_;
    moving_.push_back(moved);
    if (static_cast<int>(moving_.size()) > windowFrames_) {
        moving_.pop_front();
    }
    const long movingFrames = std::count(moving_.begin(), moving_.end(), true);
    if (armed_ && untracked_ >= windowFrames_ && movingFrames * 4 >= windowFrames_) {
        armed_ = false;
        return true;
    }
    return false;
}

}  // namespace olvar::host
