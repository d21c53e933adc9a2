// Cost of hand detection and of one hand-tracking step on a rendered 640 x 480 frame reduced to
// the 200 x 150 working size (the scene renderer's person standing, then raising hand 0).
#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>

#include "fixtures/hands_scene.h"
#include "synth/scene.h"

namespace {

using olvar::testing::HandsRig;

constexpr int kW = 200, kH = 150;
constexpr double kScale = kW / 640.0;

cv::Mat ReduceMask(const cv::Mat& mask) {
    cv::Mat scaled;
    cv::resize(mask * 255, scaled, {kW, kH}, 0, 0, cv::INTER_AREA);
    cv::Mat out = scaled >= 128;
    return out / 255;
}

// Renders frame i of a person resting for 10 frames and then raising hand 0, and feeds it to
// the rig at the working size with the torso and face placed from the truth.
class RaiseScene {
  public:
    RaiseScene() : scene_(Config()) {}

    void Feed(HandsRig& rig, int index, bool start) const {
        const olvar::synth::Frame frame = scene_.Render(index);
        const olvar::synth::PersonTruth& truth = frame.people.at(0);
        cv::Mat colour;
        cv::resize(frame.image, colour, {kW, kH}, 0, 0, cv::INTER_AREA);
        const int t = static_cast<int>(truth.torsoHalfWidth * kScale);
        const double tx = truth.torso.x * kScale, ty = truth.torso.y * kScale;
        const double fx = truth.face.x * kScale, fy = truth.face.y * kScale;
        if (start) {
            rig.PlaceBody(tx, ty, t, fx, fy, t);
        } else {
            rig.MoveBody(tx, ty, t, fx, fy, t);
        }
        rig.Feed(colour, ReduceMask(truth.silhouette), ReduceMask(truth.skin));
    }

  private:
    static olvar::synth::SceneConfig Config() {
        olvar::synth::TrackBuilder person(
            olvar::synth::MakeAppearance(olvar::synth::SkinTone::kMedium, 0, 1, true));
        person.Rest(10).RaiseHand(0);
        olvar::synth::SceneConfig config;
        config.frameSize = {640, 480};
        config.script = olvar::synth::Script{{person.Build()}};
        return config;
    }

    olvar::synth::Scene scene_;
};

void BM_StartHands(benchmark::State& state) {
    const RaiseScene scene;
    HandsRig rig(kW, kH);
    scene.Feed(rig, 9, true);
    int result = 0;
    for (auto _ : state) {
        result = rig.Start();
        benchmark::DoNotOptimize(result);
    }
    if (result != 0) {
        state.SkipWithError("hands not found");
    }
}
BENCHMARK(BM_StartHands)->Unit(benchmark::kMicrosecond);

void BM_TrackHandsStep(benchmark::State& state) {
    const RaiseScene scene;
    HandsRig rig(kW, kH);
    scene.Feed(rig, 9, true);
    if (rig.Start() != 0) {
        state.SkipWithError("hands not found");
        return;
    }
    // A few tracked frames of the raise give the motion counts their history.
    for (int frame = 10; frame <= 15; ++frame) {
        scene.Feed(rig, frame, false);
        if (rig.Track() != 0) {
            state.SkipWithError("tracking failed while warming up");
            return;
        }
    }
    scene.Feed(rig, 16, false);
    // Every iteration tracks from the same previous state.
    olvar::UserTracker& t = rig.tracker;
    const auto joints = t.skeleton.joints;
    const auto links = t.skeleton.links;
    const float hx[2] = {t.handX[0], t.handX[1]}, hy[2] = {t.handY[0], t.handY[1]};
    const int sx[2] = {t.handStepX[0], t.handStepX[1]}, sy[2] = {t.handStepY[0], t.handStepY[1]};
    int result = 0;
    for (auto _ : state) {
        t.skeleton.joints = joints;
        t.skeleton.links = links;
        for (int i = 0; i < 2; ++i) {
            t.handX[i] = hx[i];
            t.handY[i] = hy[i];
            t.handStepX[i] = sx[i];
            t.handStepY[i] = sy[i];
            t.handFound[i] = true;
        }
        result = rig.Track();
        benchmark::DoNotOptimize(result);
    }
    if (result != 0) {
        state.SkipWithError("tracking failed");
    }
}
BENCHMARK(BM_TrackHandsStep)->Unit(benchmark::kMicrosecond);

}  // namespace
