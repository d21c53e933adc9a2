// Hot kernels: integral arrays, box sums and frame preparation.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>

#include "imaging/integral.h"
#include "library/frame_preparation.h"
#include "library/tracking_context.h"
#include "synth/scene.h"

namespace {

cv::Mat RandomMask(int width, int height) {
    cv::Mat mask(height, width, CV_8UC1);
    cv::RNG rng(5);
    rng.fill(mask, cv::RNG::UNIFORM, 0, 2);
    return mask;
}

void BM_BuildIntegral200x150(benchmark::State& state) {
    const cv::Mat mask = RandomMask(200, 150);
    olvar::Integral integral;
    for (auto _ : state) {
        olvar::BuildIntegral(integral, mask);
        benchmark::DoNotOptimize(integral.data());
    }
}
BENCHMARK(BM_BuildIntegral200x150);

void BM_BoxDensity(benchmark::State& state) {
    const cv::Mat mask = RandomMask(200, 150);
    olvar::Integral integral;
    olvar::BuildIntegral(integral, mask);
    const double theta = state.range(0) == 0 ? 0.0 : 0.7;
    double total = 0;
    for (auto _ : state) {
        for (int i = 0; i < 100; ++i) {
            total += olvar::BoxDensity(200, 150, 60 + (i % 40), 75, 40, 12, theta, integral.data());
        }
    }
    benchmark::DoNotOptimize(total);
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_BoxDensity)->Arg(0)->Arg(1)->ArgNames({"rotated"});

void BM_FramePreparation640x480(benchmark::State& state) {
    olvar::TrackingContext context;
    context.Configure(640 * 3, 480, 640, kOlvarBgr24, false);
    const cv::Mat frame = olvar::synth::RenderEmptyRoom(640, 480, 3);
    const int size = static_cast<int>(frame.total() * frame.elemSize());
    for (auto _ : state) {
        benchmark::DoNotOptimize(olvar::PrepareFrame(context, frame.data, size));
    }
}
BENCHMARK(BM_FramePreparation640x480);

}  // namespace
