// ProcessFrame per frame with one user in view, at three camera sizes, with the optional palm
// and leg analyses off and on.
#include <benchmark/benchmark.h>

#include <olvar/olvar.h>

#include <time.h>

#include <algorithm>
#include <vector>

#include "library/frame_preparation.h"
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
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

// The value below which the given share of the times lies.
double Quantile(std::vector<double> times, double share) {
    if (times.empty()) {
        return 0;
    }
    const size_t at = std::min(times.size() - 1, static_cast<size_t>(share * times.size()));
    std::nth_element(times.begin(), times.begin() + static_cast<long>(at), times.end());
    return times[at];
}

// 640 x 480 with palm tracking on (and the legs with argument 1), timed only on the frames with
// the image-left hand raised beside the head and open (the palm tracker, the finger fit and the
// fingertip search run whenever the scene moves); the other frames of the palm scene are played
// untimed in between. Besides the mean, the median and the 90th percentile of the per-frame CPU
// time, and the median over the frames on which the scene moved: on the others the record is
// only written again.
void BM_ProcessFrameHandRaised(benchmark::State& state) {
    struct Clip {
        std::vector<cv::Mat> frames;
        std::vector<bool> raised;
    };
    static const Clip clip = [] {
        olvar::synth::SceneConfig config;
        config.script = olvar::synth::ScriptPalm();
        const olvar::synth::Scene scene(config);
        Clip c;
        for (int i = 0; i < scene.FrameCount(); ++i) {
            olvar::synth::Frame f = scene.Render(i);
            const olvar::synth::PalmTruth& palm = f.people[0].palms[1];
            c.raised.push_back(palm.open && !palm.fist);
            c.frames.push_back(f.image);
        }
        return c;
    }();
    olvar::Olvar tracker;
    tracker.SetFrameFormat(640 * 3, 480, 640, kOlvarBgr24, false);
    tracker.EnableLegTracking(state.range(0) != 0);
    tracker.EnablePalmTracking(true);
    TrackingRecord records[2];
    GestureRecord gestures[2];
    int user = 0;
    const int size = 640 * 480 * 3;
    size_t next = 0;
    long withPalm = 0;
    std::vector<double> cpuMs, movedMs;
    cpuMs.reserve(static_cast<size_t>(state.max_iterations));
    movedMs.reserve(static_cast<size_t>(state.max_iterations));
    const auto play = [&] {
        tracker.ProcessFrame(clip.frames[next].data, size, &user, records, gestures);
        next = (next + 1) % clip.frames.size();
    };
    for (auto _ : state) {
        if (!clip.raised[next]) {
            state.PauseTiming();
            while (!clip.raised[next]) {
                play();
            }
            state.ResumeTiming();
        }
        const double start = ThreadCpuMs();
        play();
        cpuMs.push_back(ThreadCpuMs() - start);
        if (olvar::IntegralTotal(tracker.Context().motionIntegral) >= olvar::kMinMotion) {
            movedMs.push_back(cpuMs.back());
        }
        withPalm += records[0].fingerEvent >= 0 ? 1 : 0;
    }
    state.counters["palm"] =
        benchmark::Counter(static_cast<double>(withPalm) / static_cast<double>(state.iterations()));
    state.counters["median_cpu_ms"] = Quantile(cpuMs, 0.5);
    state.counters["p90_cpu_ms"] = Quantile(cpuMs, 0.9);
    state.counters["moved"] =
        static_cast<double>(movedMs.size()) / static_cast<double>(cpuMs.size());
    state.counters["moved_median_cpu_ms"] = Quantile(movedMs, 0.5);
}
BENCHMARK(BM_ProcessFrameHandRaised)
    ->ArgName("legs")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(600);

BENCHMARK(BM_ProcessFrame)
    ->ArgNames({"w", "h", "palm_legs"})
    ->Args({320, 240, 0})
    ->Args({640, 480, 0})
    ->Args({1280, 720, 0})
    ->Args({640, 480, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
