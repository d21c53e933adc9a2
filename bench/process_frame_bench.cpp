// ProcessFrame per frame with one user in view, at three camera sizes, with the optional palm
// and leg analyses off and on.
#include <benchmark/benchmark.h>

#include <olvar/olvar.h>

#include <vector>

#include "library/olvar_object.h"
#include "synth/scene.h"

namespace {

struct RenderedClip {
    std::vector<cv::Mat> warmup;  // empty room, then the person walking in and resting
    std::vector<cv::Mat> loop;    // the person swiping, played forward and back
};

const RenderedClip& ClipFor(int width, int height) {
    static std::vector<std::pair<int, RenderedClip>> cache;
    for (const auto& [w, clip] : cache) {
        if (w == width) {
            return clip;
        }
    }
    olvar::synth::SceneConfig config;
    config.frameSize = cv::Size(width, height);
    config.script = olvar::synth::ScriptSwipes();
    const olvar::synth::Scene scene(config);
    RenderedClip clip;
    const int warmupFrames = std::min(scene.FrameCount(), 130);
    for (int i = 0; i < warmupFrames; ++i) {
        clip.warmup.push_back(scene.Render(i).image);
    }
    for (int i = warmupFrames; i < scene.FrameCount(); ++i) {
        clip.loop.push_back(scene.Render(i).image);
    }
    for (int i = static_cast<int>(clip.loop.size()) - 2; i > 0; --i) {
        clip.loop.push_back(clip.loop[static_cast<size_t>(i)]);
    }
    cache.emplace_back(width, std::move(clip));
    return cache.back().second;
}

void BM_ProcessFrame(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const bool optional = state.range(2) != 0;
    const RenderedClip& clip = ClipFor(width, height);

    olvar::Olvar tracker;
    tracker.SetFrameFormat(width * 3, height, width, kOlvarBgr24, false);
    tracker.EnableLegTracking(optional);
    tracker.EnablePalmTracking(optional);
    TrackingRecord records[2];
    GestureRecord gestures[2];
    int user = 0;
    const int size = width * height * 3;
    for (const cv::Mat& frame : clip.warmup) {
        tracker.ProcessFrame(frame.data, size, &user, records, gestures);
    }
    size_t next = 0;
    long tracked = 0;
    for (auto _ : state) {
        const cv::Mat& frame = clip.loop[next];
        next = (next + 1) % clip.loop.size();
        const int status = tracker.ProcessFrame(frame.data, size, &user, records, gestures);
        tracked += status == kOlvarOk && records[0].torsoHalfWidth > 0;
    }
    state.counters["tracked"] =
        benchmark::Counter(static_cast<double>(tracked) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_ProcessFrame)
    ->ArgNames({"w", "h", "palm_legs"})
    ->Args({320, 240, 0})
    ->Args({640, 480, 0})
    ->Args({1280, 720, 0})
    ->Args({640, 480, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
