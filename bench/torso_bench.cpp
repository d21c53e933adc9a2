// One torso filter step on a rendered person's silhouette at the working size.
#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>

#include "body/particle_filter.h"
#include "imaging/integral.h"
#include "synth/scene.h"

namespace {

void BM_TorsoFilterStep(benchmark::State& state) {
    olvar::synth::SceneConfig config;
    config.script = olvar::synth::ScriptRest();
    const olvar::synth::Scene scene(config);
    const olvar::synth::Frame frame = scene.Render(scene.FrameCount() - 1);
    cv::Mat small, mask;
    cv::resize(frame.people[0].silhouette, small, cv::Size(200, 150), 0, 0, cv::INTER_AREA);
    cv::threshold(small, mask, 0, 1, cv::THRESH_BINARY);
    olvar::Integral integral;
    olvar::BuildIntegral(integral, mask);

    olvar::CParticleFilter filter;
    filter.SetFrameSize(200, 150);
    const float s = 3.2f;
    int x = static_cast<int>(frame.people[0].torso.x / s);
    int y = static_cast<int>(frame.people[0].torso.y / s);
    int size = static_cast<int>(frame.people[0].torsoHalfWidth / s);
    filter.Initialize(integral.data(), &x, &y, &size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(filter.Track(integral.data(), &x, &y, &size));
    }
}
BENCHMARK(BM_TorsoFilterStep)->Unit(benchmark::kMicrosecond);

}  // namespace
