// Cost of hand detection and of one hand-tracking step on a rendered 640 x 480 frame reduced to
// the 200 x 150 working size.
#include <benchmark/benchmark.h>

#include <string>

#include <opencv2/imgproc.hpp>

#include "../tests/body/hands_scene.h"

namespace {

using olvar::testing::BodyPose;
using olvar::testing::BodyScene;
using olvar::testing::HandsRig;
using olvar::testing::RenderedFrame;
namespace poses = olvar::testing::poses;

// Renders at camera size and reduces to the working size as the frame pipeline does.
RenderedFrame WorkingFrame(const BodyPose& pose) {
    const BodyScene camera(640, 480);
    const RenderedFrame big = camera.Render(pose, olvar::testing::Appearances()[1]);
    RenderedFrame f;
    cv::resize(big.colour, f.colour, {200, 150}, 0, 0, cv::INTER_AREA);
    cv::resize(big.mask, f.mask, {200, 150}, 0, 0, cv::INTER_NEAREST);
    cv::resize(big.skin, f.skin, {200, 150}, 0, 0, cv::INTER_NEAREST);
    return f;
}

const BodyPose kHanging{"", {poses::kHanging, olvar::testing::Mirror(poses::kHanging)}};
// Hand 0 on its way up, frame by frame.
BodyPose Lifting(int frame) {
    return {"",
            {olvar::testing::Lerp(poses::kHanging, poses::kRaised, frame / 30.0),
             olvar::testing::Mirror(poses::kHanging)}};
}

void BM_StartHands(benchmark::State& state) {
    static const BodyScene scene;
    HandsRig rig(scene);
    rig.Feed(WorkingFrame(kHanging));
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
    static const BodyScene scene;
    HandsRig rig(scene);
    rig.Feed(WorkingFrame(kHanging));
    if (rig.Start() != 0) {
        state.SkipWithError("hands not found");
        return;
    }
    // A few tracked frames give the motion counts their history.
    for (int frame = 1; frame <= 5; ++frame) {
        rig.Feed(WorkingFrame(Lifting(frame)));
        if (rig.Track() != 0) {
            state.SkipWithError("tracking failed while warming up");
            return;
        }
    }
    rig.Feed(WorkingFrame(Lifting(6)));
    // Every iteration tracks from the same previous state.
    olvar::UserTracker& t = rig.tracker;
    const auto joints = t.skeleton.joints;
    const auto links = t.skeleton.links;
    float hx[2] = {t.handX[0], t.handX[1]}, hy[2] = {t.handY[0], t.handY[1]};
    int result = 0;
    for (auto _ : state) {
        t.skeleton.joints = joints;
        t.skeleton.links = links;
        for (int i = 0; i < 2; ++i) {
            t.handX[i] = hx[i];
            t.handY[i] = hy[i];
            t.handFound[i] = true;
        }
        result = rig.Track();
        benchmark::DoNotOptimize(result);
    }
    if (result != 0) {
        state.SkipWithError(("tracking failed with " + std::to_string(result)).c_str());
    }
}
BENCHMARK(BM_TrackHandsStep)->Unit(benchmark::kMicrosecond);

}  // namespace
