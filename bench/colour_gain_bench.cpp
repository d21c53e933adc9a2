// The host-side colour gain on a 640 x 480 frame: applying it (the per-frame cost a host pays,
// at most 0.3 ms on one core), copying the frame for comparison, and observing a warm-up frame.
#include <benchmark/benchmark.h>

#include <olvar/colour_gain.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "synth/scene.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// Arg: 3 or 4 bytes per pixel.
cv::Mat Frame(int bytesPerPixel) {
    const cv::Mat room = olvar::synth::RenderEmptyRoom(kWidth, kHeight, 3);
    if (bytesPerPixel == 3) {
        return room;
    }
    cv::Mat bgrx;
    cv::cvtColor(room, bgrx, cv::COLOR_BGR2BGRA);
    return bgrx;
}

OlvarColourGain Helper(int bytesPerPixel) {
    OlvarColourGain gain;
    gain.SetFrameFormat(bytesPerPixel * kWidth, kHeight, kWidth,
                        bytesPerPixel == 3 ? kOlvarBgr24 : kOlvarBgrx32, false);
    return gain;
}

void BM_ColourGainApply640x480(benchmark::State& state) {
    const int bytes = static_cast<int>(state.range(0));
    const cv::Mat frame = Frame(bytes);
    OlvarColourGain gain = Helper(bytes);
    gain.SetGain(1.5f);
    const int size = bytes * kWidth * kHeight;
    std::vector<unsigned char> out(static_cast<size_t>(size));
    for (auto _ : state) {
        gain.Apply(frame.data, size, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    // The gain moved the chroma: the output is not a copy.
    if (std::equal(out.begin(), out.end(), frame.data)) {
        state.SkipWithError("the gain changed nothing");
    }
}
BENCHMARK(BM_ColourGainApply640x480)->Arg(3)->Arg(4)->ArgNames({"bytes"});

// The floor under Apply on a shared machine: copying the same frame (what Apply does with gain 1).
void BM_ColourGainCopy640x480(benchmark::State& state) {
    const int bytes = static_cast<int>(state.range(0));
    const cv::Mat frame = Frame(bytes);
    const size_t size = static_cast<size_t>(bytes) * kWidth * kHeight;
    std::vector<unsigned char> out(size);
    for (auto _ : state) {
        std::memcpy(out.data(), frame.data, size);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ColourGainCopy640x480)->Arg(3)->Arg(4)->ArgNames({"bytes"});

void BM_ColourGainObserve640x480(benchmark::State& state) {
    const cv::Mat frame = Frame(3);
    const int size = 3 * kWidth * kHeight;
    for (auto _ : state) {
        OlvarColourGain gain = Helper(3);
        gain.Observe(frame.data, size);
        benchmark::DoNotOptimize(gain.Choose());
    }
}
BENCHMARK(BM_ColourGainObserve640x480);

}  // namespace
