// Cost of the palm analysis' two largest parts on a drawn 640 x 480 open hand (palm radius 15):
// one palm tracker step with 500 samples (without a previous hand model, as on the first frame,
// and with one, when every sample also scores the four bent fingers), and one finger fit; and
// of the edge map over a hand-sized rectangle.
#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>

#include "fixtures/hand_masks.h"
#include "palm/finger_fit.h"
#include "palm/hand_region.h"
#include "palm/palm_particle.h"

namespace {

using olvar::HandModel;
using olvar::testing::DrawHand;
using olvar::testing::DrawnHand;

struct PalmInputs {
    DrawnHand hand = DrawHand(olvar::testing::HandPose());
    cv::Mat edges;
    cv::Mat colour = cv::Mat::zeros(480, 640, CV_8UC3);
    HandModel fitted;

    PalmInputs() {
        cv::Canny(hand.mask * 255, edges, 150, 250, 3);
        const olvar::testing::HandPose& p = hand.pose;
        olvar::InitHandModel(fitted, static_cast<int>(p.cx), static_cast<int>(p.cy), 2 * p.radius,
                             p.angle);
        HandModel cleared;
        cleared.Clear();
        olvar::FitFingers(fitted, 5,
                          {{hand.mask, hand.integral}, {hand.mask, hand.integral}, cleared});
    }
};

void RunSteps(benchmark::State& state, bool withPreviousModel) {
    const PalmInputs in;
    HandModel previous = in.fitted;
    if (!withPreviousModel) {
        previous.Clear();
    }
    olvar::PartitionParticle tracker;
    tracker.Tracker().count = 500;
    const olvar::testing::HandPose& p = in.hand.pose;
    tracker.Tracker().Seed(static_cast<int>(p.cx), static_cast<int>(p.cy), p.radius, p.angle);
    tracker.Tracker().refX = p.cx;
    tracker.Tracker().refY = p.cy;
    tracker.Tracker().refScale = p.radius;
    tracker.Tracker().refAngle = p.angle;
    int lost = 0;
    for (auto _ : state) {
        lost += tracker.Step(in.hand.mask, in.hand.integral, in.colour, in.edges, 5, previous) != 0;
    }
    const olvar::PalmSample& e = tracker.Tracker().estimate;
    state.counters["lost"] = lost;
    state.counters["centreError"] = std::hypot(e.x - p.cx, e.y - p.cy);
}

void BM_PalmStepFirstFrame(benchmark::State& state) {
    RunSteps(state, false);
}
BENCHMARK(BM_PalmStepFirstFrame)->Unit(benchmark::kMicrosecond);

void BM_PalmStepWithFingers(benchmark::State& state) {
    RunSteps(state, true);
}
BENCHMARK(BM_PalmStepWithFingers)->Unit(benchmark::kMicrosecond);

void BM_FitFingers(benchmark::State& state) {
    const PalmInputs in;
    HandModel cleared;
    cleared.Clear();
    const olvar::testing::HandPose& p = in.hand.pose;
    HandModel model;
    for (auto _ : state) {
        olvar::InitHandModel(model, static_cast<int>(p.cx), static_cast<int>(p.cy), 2 * p.radius,
                             p.angle);
        olvar::FitFingers(
            model, 5,
            {{in.hand.mask, in.hand.integral}, {in.hand.mask, in.hand.integral}, in.fitted});
        benchmark::DoNotOptimize(model);
    }
    state.counters["middleLength"] = model.parts[olvar::kMiddle].length;
}
BENCHMARK(BM_FitFingers)->Unit(benchmark::kMicrosecond);

// The edge map of a 120 x 120 rectangle around the drawn hand, in kept buffers.
void BM_EdgesInBox(benchmark::State& state) {
    const PalmInputs in;
    const cv::Mat grey = in.hand.mask * 200 + 30;
    cv::Mat edges = cv::Mat::zeros(grey.size(), CV_8UC1);
    olvar::CannyWork work;
    const cv::Rect roi(static_cast<int>(in.hand.pose.cx) - 60,
                       static_cast<int>(in.hand.pose.cy) - 80, 120, 120);
    for (auto _ : state) {
        olvar::EdgesInBox(grey, edges, roi, &work);
        benchmark::DoNotOptimize(edges.data);
    }
}
BENCHMARK(BM_EdgesInBox)->Unit(benchmark::kMicrosecond);

}  // namespace
