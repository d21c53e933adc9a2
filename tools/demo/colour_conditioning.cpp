#include "demo/colour_conditioning.h"

#include <deque>
#include <utility>

#include "host/room_learner.h"

namespace olvar::demo {
namespace {

// Delivers frames read ahead, then the rest of the source.
class ReplaySource : public FrameSource {
  public:
    ReplaySource(std::deque<cv::Mat> held, std::unique_ptr<FrameSource> rest)
        : held_(std::move(held)), rest_(std::move(rest)) {}
    cv::Size FrameSize() const override { return rest_->FrameSize(); }
    bool Next(cv::Mat* frame) override {
        if (!held_.empty()) {
            *frame = std::move(held_.front());
            held_.pop_front();
            return true;
        }
        return rest_->Next(frame);
    }

  private:
    std::deque<cv::Mat> held_;
    std::unique_ptr<FrameSource> rest_;
};

int FrameBytes(const cv::Mat& frame) {
    return static_cast<int>(frame.step[0] * static_cast<size_t>(frame.rows));
}

}  // namespace

std::unique_ptr<FrameSource> ChooseColourGain(std::unique_ptr<FrameSource> source,
                                              const DemoOptions& options, OlvarColourGain* gain) {
    const cv::Size size = source->FrameSize();
    gain->SetFrameFormat(size.width * 3, size.height, size.width, kOlvarBgr24, false);
    if (options.colourGain != ColourGainMode::kAuto) {
        gain->SetGain(options.colourGain == ColourGainMode::kOff ? 1.0f : options.colourGainValue);
        return source;
    }
    std::deque<cv::Mat> held;
    cv::Mat frame;
    while (!gain->Chosen() && source->Next(&frame)) {
        gain->Observe(frame.data, FrameBytes(frame));
        held.push_back(frame.clone());
    }
    gain->Choose();  // inputs shorter than the observation
    return std::make_unique<ReplaySource>(std::move(held), std::move(source));
}

void ChooseColourGainFromRoom(const std::vector<uint8_t>& room, cv::Size size,
                              const DemoOptions& options, OlvarColourGain* gain) {
    gain->SetFrameFormat(size.width * 3, size.height, size.width, kOlvarBgr24, false);
    if (options.colourGain != ColourGainMode::kAuto) {
        gain->SetGain(options.colourGain == ColourGainMode::kOff ? 1.0f : options.colourGainValue);
        return;
    }
    for (int i = 0; i < OlvarColourGain::kObservedFrames; ++i) {
        const std::vector<uint8_t> frame = host::RoomFrame(room, i);
        gain->Observe(frame.data(), static_cast<int>(frame.size()));
    }
    gain->Choose();
}

const cv::Mat& ConditionFrame(const OlvarColourGain& gain, const cv::Mat& frame,
                              cv::Mat* conditioned) {
    if (gain.Gain() == 1.0f) {
        return frame;
    }
    conditioned->create(frame.size(), frame.type());
    gain.Apply(frame.data, FrameBytes(frame), conditioned->data);
    return *conditioned;
}

}  // namespace olvar::demo
