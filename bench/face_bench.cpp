// Face tracking costs per working frame (200 x 150) of a rendered resting person: one face
// colour tracker step, one skin map, and one face search above the torso.
#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>

#include "body/face_colour_tracker.h"
#include "body/skin_colour.h"
#include "body/user_tracker.h"
#include "imaging/integral.h"
#include "synth/scene.h"

namespace {

constexpr int kW = 200, kH = 150;

// The working images of the last frame of the rest script, the person's face in working pixels,
// and face colour models learned on it.
struct WorkingScene {
    cv::Mat colour, ycrcb, foreground, skin;
    olvar::Integral skinIntegral, foregroundIntegral;
    cv::Point face, torso;
    int torsoHalfWidth = 0;
    olvar::SkinColourModel tracked, detected;

    WorkingScene() {
        olvar::synth::SceneConfig config;
        config.script = olvar::synth::ScriptRest();
        const olvar::synth::Scene scene(config);
        const olvar::synth::Frame frame = scene.Render(scene.FrameCount() - 1);
        cv::resize(frame.image, colour, cv::Size(kW, kH), 0, 0, cv::INTER_LINEAR);
        cv::GaussianBlur(colour, colour, cv::Size(3, 3), 0, 0, cv::BORDER_REPLICATE);
        cv::cvtColor(colour, ycrcb, cv::COLOR_BGR2YCrCb);
        cv::Mat small;
        cv::resize(frame.people[0].silhouette * 255, small, cv::Size(kW, kH));
        cv::threshold(small, foreground, 127, 1, cv::THRESH_BINARY);
        const float s = 640.0f / kW;
        face = cv::Point(frame.people[0].face / s);
        torso = cv::Point(frame.people[0].torso / s);
        torsoHalfWidth = static_cast<int>(frame.people[0].torsoHalfWidth / s);

        skin = cv::Mat::zeros(kH, kW, CV_8UC1);
        olvar::LearnFaceColour(true, face.x, face.y, 6, colour, ycrcb, foreground, skin, tracked);
        olvar::ClearModel(detected);
        olvar::MergeModel(tracked, detected);
        olvar::BuildSkinMap(colour, ycrcb, foreground, tracked, detected, skin);
        olvar::BuildIntegral(skinIntegral, skin);
        olvar::BuildIntegral(foregroundIntegral, foreground);
    }
};

const WorkingScene& Scene() {
    static const WorkingScene scene;
    return scene;
}

void BM_FaceColourTrackerStep(benchmark::State& state) {
    const WorkingScene& w = Scene();
    olvar::FaceColourTracker tracker;
    tracker.mask = &w.foreground;
    tracker.StartColourTracker(w.face.x, w.face.y, 6, 8, w.colour, kW, kH);
    int valid = 0;
    for (auto _ : state) {
        const olvar::ColourStep step = tracker.StepColourTracker(w.colour, kW, kH);
        valid += step.status == 1;
        benchmark::DoNotOptimize(step);
    }
    if (valid == 0) {
        state.SkipWithError("the colour tracker never held the face");
    }
}
BENCHMARK(BM_FaceColourTrackerStep)->Unit(benchmark::kMicrosecond);

void BM_BuildSkinMap(benchmark::State& state) {
    const WorkingScene& w = Scene();
    cv::Mat map;
    for (auto _ : state) {
        olvar::BuildSkinMap(w.colour, w.ycrcb, w.foreground, w.tracked, w.detected, map);
        benchmark::ClobberMemory();
    }
    if (cv::countNonZero(map) == 0) {
        state.SkipWithError("empty skin map");
    }
}
BENCHMARK(BM_BuildSkinMap)->Unit(benchmark::kMicrosecond);

void BM_FindFace(benchmark::State& state) {
    const WorkingScene& w = Scene();
    olvar::UserTracker user;
    user.faceColour.mask = &w.foreground;
    int found = 0;
    for (auto _ : state) {
        user.torsoX = static_cast<float>(w.torso.x);
        user.torsoY = static_cast<float>(w.torso.y);
        user.torsoSize = w.torsoHalfWidth;
        found += user.FindFace(w.colour, w.skinIntegral.data(), w.foregroundIntegral.data()) == 0;
    }
    if (found == 0) {
        state.SkipWithError("the search never found the face");
    }
}
BENCHMARK(BM_FindFace)->Unit(benchmark::kMicrosecond);

}  // namespace
