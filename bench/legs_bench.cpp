// ProcessFrame at 640 x 480 on the whole-body leg scene (the feet in view, the legs moving),
// with the leg analysis off and on, and with palm and legs on.
#include <benchmark/benchmark.h>

#include <olvar/olvar.h>

#include <vector>

#include "library/olvar_object.h"
#include "synth/scene.h"
#include "synth/script_legs.h"

namespace {

struct LegClip {
    std::vector<cv::Mat> warmup;  // empty room, the person walking in and resting
    std::vector<cv::Mat> loop;    // the leg movements, played forward and back
};

const LegClip& WholeBodyClip() {
    static const LegClip clip = [] {
        olvar::synth::SceneConfig config;
        config.script = olvar::synth::ScriptLegs();
        const olvar::synth::Scene scene(config);
        LegClip c;
        const int warmupFrames = std::min(scene.FrameCount(), 130);
        for (int i = 0; i < warmupFrames; ++i) {
            c.warmup.push_back(scene.Render(i).image);
        }
        for (int i = warmupFrames; i < scene.FrameCount(); ++i) {
            c.loop.push_back(scene.Render(i).image);
        }
        for (int i = static_cast<int>(c.loop.size()) - 2; i > 0; --i) {
            c.loop.push_back(c.loop[static_cast<size_t>(i)]);
        }
        return c;
    }();
    return clip;
}

void BM_ProcessFrameWholeBody(benchmark::State& state) {
    const bool legs = state.range(0) != 0;
    const bool palm = state.range(1) != 0;
    const LegClip& clip = WholeBodyClip();
    olvar::Olvar tracker;
    tracker.SetFrameFormat(640 * 3, 480, 640, kOlvarBgr24, false);
    tracker.EnableLegTracking(legs);
    tracker.EnablePalmTracking(palm);
    TrackingRecord records[2];
    GestureRecord gestures[2];
    int user = 0;
    const int size = 640 * 480 * 3;
    for (const cv::Mat& frame : clip.warmup) {
        tracker.ProcessFrame(frame.data, size, &user, records, gestures);
    }
    size_t next = 0;
    long withLegs = 0;
    for (auto _ : state) {
        const cv::Mat& frame = clip.loop[next];
        next = (next + 1) % clip.loop.size();
        const int status = tracker.ProcessFrame(frame.data, size, &user, records, gestures);
        withLegs += status == kOlvarOk && records[0].legJoints[kLegRightFoot].y > 0;
    }
    state.counters["legs"] =
        benchmark::Counter(static_cast<double>(withLegs) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_ProcessFrameWholeBody)
    ->ArgNames({"legs", "palm"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
