// Cost of one recognizer frame per mode on a busy scripted scene (hands sweeping through every
// region, the head leaning and crouching).
#include <benchmark/benchmark.h>

#include <vector>

#include "gestures/recognizer.h"

namespace {

std::vector<TrackingRecord> BusyScene() {
    std::vector<TrackingRecord> frames;
    for (int i = 0; i < 64; ++i) {
        const float t = static_cast<float>(i % 16);
        TrackingRecord r{};
        r.faceX = 150 + 2 * t;
        r.faceY = 60 + (i % 32 < 16 ? 0 : 25);
        r.faceSize = 50;
        r.torsoX = 160;
        r.torsoY = 120;
        r.torsoValue = 40;
        r.hand0X = 180 + 6 * t;
        r.hand0Y = 60 + 9 * t;
        r.hand1X = 120 - 5 * t;
        r.hand1Y = 200 - 10 * t;
        r.joints[kJointNeckTop].y = 100;
        r.joints[kJointLeftShoulder].x = 120;
        frames.push_back(r);
    }
    return frames;
}

void BM_RecognizeFrame(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    const std::vector<TrackingRecord> frames = BusyScene();
    olvar::ZykGR recognizer;
    recognizer.SetMode(&mode);
    size_t next = 0;
    int invalid = 0;
    for (auto _ : state) {
        GestureRecord gesture{-1, 0, 0};
        recognizer.Recognize(&frames[next], &gesture);
        benchmark::DoNotOptimize(gesture);
        invalid += gesture.gesture < -2 || gesture.gesture > 72;
        next = (next + 1) % frames.size();
    }
    if (invalid != 0) {
        state.SkipWithError("a frame produced an identifier outside the vocabulary");
    }
    state.SetLabel(recognizer.GetModeName(mode));
}
BENCHMARK(BM_RecognizeFrame)->DenseRange(0, 14);

}  // namespace
