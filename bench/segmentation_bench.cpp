// Frame preparation plus foreground segmentation of one 640 x 480 frame in which a person moves:
// copy, reduction, smoothing, colour conversion, difference, quadtree, reference, motion,
// history, users' area, codebook classification and learning, clean-up and the foreground
// integral.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "library/frame_preparation.h"
#include "library/tracking_context.h"
#include "synth/scene.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kSequence = 16;

// A room with a person (head, torso, arms, legs) swaying and waving, with camera noise, as
// host frames of 3 bytes per pixel.
std::vector<std::vector<unsigned char>> SwayingPersonFrames() {
    const cv::Mat room = olvar::synth::RenderEmptyRoom(kWidth, kHeight, 3);
    cv::RNG rng(802163120);
    std::vector<std::vector<unsigned char>> frames;
    for (int k = 0; k < kSequence; ++k) {
        cv::Mat frame = room.clone();
        const int cx = 320 + static_cast<int>(20 * std::sin(2 * CV_PI * k / kSequence));
        const int lift = static_cast<int>(40 * (1 + std::sin(4 * CV_PI * k / kSequence)));
        const cv::Scalar shirt(45, 50, 175), jeans(110, 62, 38), skin(110, 145, 205);
        cv::rectangle(frame, cv::Rect(cx - 48, 300, 40, 160), jeans, cv::FILLED);
        cv::rectangle(frame, cv::Rect(cx + 8, 300, 40, 160), jeans, cv::FILLED);
        cv::rectangle(frame, cv::Rect(cx - 58, 150, 116, 160), shirt, cv::FILLED);
        cv::rectangle(frame, cv::Rect(cx - 84, 155 - lift, 24, 150), skin, cv::FILLED);
        cv::rectangle(frame, cv::Rect(cx + 60, 155, 24, 150), skin, cv::FILLED);
        cv::ellipse(frame, cv::Point(cx, 100), cv::Size(30, 38), 0, 0, 360, skin, cv::FILLED);
        cv::Mat noise(frame.size(), CV_16SC3);
        rng.fill(noise, cv::RNG::NORMAL, 0, 4.0);
        cv::add(frame, noise, frame, cv::noArray(), CV_8UC3);
        frames.emplace_back(frame.data, frame.data + frame.total() * 3);
    }
    return frames;
}

void BM_PrepareAndSegment640x480(benchmark::State& state) {
    olvar::TrackingContext context;
    context.Configure(3 * kWidth, kHeight, kWidth, kOlvarBgr24, false);
    const std::vector<std::vector<unsigned char>> frames = SwayingPersonFrames();
    auto prepare = [&](int index) {
        const std::vector<unsigned char>& f = frames[static_cast<size_t>(index % kSequence)];
        return olvar::PrepareFrame(context, f.data(), static_cast<int>(f.size()));
    };
    // Past the process-wide warm-up, with the codebook learned, before timing.
    int index = 0;
    while (olvar::FramesSinceLoad() <= olvar::kWarmUpFrames ||
           !olvar::LastFrameMasks(context).segmented) {
        prepare(index++);
        if (index > 200) {
            state.SkipWithError("the sequence never reached the segmentation");
            return;
        }
    }
    int64_t segmented = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(prepare(index++));
        segmented += context.segmented ? 1 : 0;
    }
    state.counters["segmented"] = benchmark::Counter(static_cast<double>(segmented) /
                                                     static_cast<double>(state.iterations()));
}
BENCHMARK(BM_PrepareAndSegment640x480)->Unit(benchmark::kMillisecond);

}  // namespace
