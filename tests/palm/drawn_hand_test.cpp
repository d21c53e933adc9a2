// The palm tracker and the finger fit on drawn hand masks at camera resolution: an open hand
// with five spread fingers at several positions, angles and radii, and a fist.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "fixtures/hand_masks.h"
#include "palm/finger_fit.h"
#include "palm/palm_particle.h"

namespace olvar {
namespace {

using testing::DrawHand;
using testing::DrawnHand;
using testing::HandPose;

struct PoseCase {
    const char* name;
    double cx, cy, radius, angle;
};

const PoseCase kPoses[] = {
    {"upright, centre", 320, 300, 15, kPalmPi / 2},
    {"tilted left, right half", 470, 330, 15, kPalmPi / 2 + 0.35},
    {"tilted right, left half", 150, 380, 15, kPalmPi / 2 - 0.3},
    {"larger, low", 330, 420, 20, kPalmPi / 2 + 0.1},
    {"smaller, high", 250, 160, 12, kPalmPi / 2 - 0.15},
};

HandPose PoseOf(const PoseCase& c) {
    HandPose pose;
    pose.cx = c.cx;
    pose.cy = c.cy;
    pose.radius = c.radius;
    pose.angle = c.angle;
    return pose;
}

// Seeds off the drawn pose (by 0.64 of the radius and 0.35 rad) and runs `steps` steps with the
// reference pose as a palm driver keeps it: the seed's centre, the drawn radius and the forearm's
// angle (here the drawn one). Returns the estimate of every step.
std::vector<PalmSample> Track(const DrawnHand& hand, int steps, int mode = 5) {
    const HandPose& p = hand.pose;
    const cv::Mat edges = cv::Mat::zeros(hand.mask.size(), CV_8UC1);
    const cv::Mat colour;
    HandModel previous;
    previous.Clear();
    PartitionParticle tracker;
    PalmParticle& t = tracker.Tracker();
    t.count = 500;
    const int sx = static_cast<int>(p.cx + 0.5 * p.radius);
    const int sy = static_cast<int>(p.cy - 0.4 * p.radius);
    t.Seed(sx, sy, p.radius, p.angle + 0.35);
    t.refX = sx;
    t.refY = sy;
    t.refScale = p.radius;
    t.refAngle = p.angle;
    std::vector<PalmSample> estimates;
    for (int i = 0; i < steps; ++i) {
        EXPECT_EQ(tracker.Step(hand.mask, hand.integral, colour, edges, mode, previous), 0);
        estimates.push_back(t.estimate);
    }
    return estimates;
}

TEST(DrawnHand, TrackerSettlesOnThePalm) {
    constexpr int kSteps = 10, kSettled = 3;
    for (int mode : {5, 0}) {
        for (const PoseCase& c : kPoses) {
            const DrawnHand hand = DrawHand(PoseOf(c));
            const std::vector<PalmSample> estimates = Track(hand, kSteps, mode);
            double meanX = 0, meanY = 0, worst = 0, worstAngle = 0;
            for (int i = kSettled; i < kSteps; ++i) {
                const PalmSample& e = estimates[i];
                meanX += e.x / (kSteps - kSettled);
                meanY += e.y / (kSteps - kSettled);
                worst = std::max(worst, std::hypot(e.x - c.cx, e.y - c.cy));
                worstAngle = std::max(worstAngle, std::fabs(e.angle - c.angle));
            }
            const double meanError = std::hypot(meanX - c.cx, meanY - c.cy);
            std::printf(
                "mode %d %-24s from step %d: mean centre error %.2f px, worst %.2f (r %.0f),"
                " worst angle error %.3f\n",
                mode, c.name, kSettled + 1, meanError, worst, c.radius, worstAngle);
            EXPECT_LE(meanError, c.radius / 3) << c.name << " mode " << mode;
            EXPECT_LE(worst, c.radius / 2) << c.name << " mode " << mode;
            EXPECT_LE(worstAngle, 0.2) << c.name << " mode " << mode;
        }
    }
}

TEST(DrawnHand, TrackingIsDeterministic) {
    const DrawnHand hand = DrawHand(PoseOf(kPoses[1]));
    const std::vector<PalmSample> a = Track(hand, 3);
    const std::vector<PalmSample> b = Track(hand, 3);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(PalmSample)), 0);
}

HandModel FitAt(const DrawnHand& hand, int mode) {
    const HandPose& p = hand.pose;
    HandModel model, previous;
    previous.Clear();
    InitHandModel(model, static_cast<int>(p.cx), static_cast<int>(p.cy), 2 * p.radius, p.angle);
    const FingerFitInputs in{{hand.mask, hand.integral}, {hand.mask, hand.integral}, previous};
    FitFingers(model, mode, in);
    return model;
}

TEST(DrawnHand, FittedTipsLieOnTheDrawnTips) {
    for (const PoseCase& c : kPoses) {
        const DrawnHand hand = DrawHand(PoseOf(c));
        for (int mode : {5, 0}) {
            const HandModel model = FitAt(hand, mode);
            for (int f = kIndex; f <= kLittle; ++f) {
                const HandPart& part = model.parts[f];
                const double error =
                    std::hypot(part.tipX - hand.tip[f].x, part.tipY - hand.tip[f].y);
                std::printf("%-26s mode %d finger %d tip error %.2f (len %.0f, angle off %.3f)\n",
                            c.name, mode, f, error, part.length,
                            part.angle - c.angle - hand.pose.fingerOffset[f]);
                EXPECT_LE(error, c.radius / 2) << c.name << " mode " << mode << " finger " << f;
            }
        }
    }
}

TEST(DrawnHand, FingerCheckTurnsTheFingerTermOffAndOn) {
    // The previous fit's fingers are measured at the estimate: on the drawn hand (with its edge
    // map) they are found and the finger term stays on; on an empty frame they are not and the
    // term goes off; with a cleared previous model nothing is checked.
    const DrawnHand hand = DrawHand(PoseOf(kPoses[0]));
    cv::Mat edges;
    cv::Canny(hand.mask * 255, edges, 150, 250, 3);
    const cv::Mat empty = cv::Mat::zeros(hand.mask.size(), CV_8UC1);
    const HandModel fitted = FitAt(hand, 5);
    HandModel cleared;
    cleared.Clear();
    struct Case {
        const char* name;
        const cv::Mat* mask;
        const cv::Mat* edges;
        const HandModel* previous;
        bool before, after;
    };
    const Case cases[] = {
        {"drawn hand", &hand.mask, &edges, &fitted, false, true},
        {"empty frame", &empty, &empty, &fitted, true, false},
        {"cleared model", &empty, &empty, &cleared, true, true},
    };
    for (const Case& c : cases) {
        PalmParticle tracker;
        tracker.SetFrame(c.mask, c.edges);
        tracker.Seed(static_cast<int>(hand.pose.cx), static_cast<int>(hand.pose.cy),
                     hand.pose.radius, hand.pose.angle);
        tracker.fingerTermOn = c.before;
        tracker.outline.lineLength = TruncToInt(2.4 * hand.pose.radius);
        tracker.CheckFingers(*c.previous);
        EXPECT_EQ(tracker.fingerTermOn, c.after) << c.name;
    }
}

TEST(DrawnHand, FistGivesShortFingers) {
    for (const PoseCase& c : kPoses) {
        const DrawnHand hand = DrawHand(testing::Fist(PoseOf(c)));
        const HandModel model = FitAt(hand, 5);
        for (int f = kIndex; f <= kLittle; ++f) {
            std::printf("%-26s fist finger %d length %.0f\n", c.name, f, model.parts[f].length);
            EXPECT_LT(model.parts[f].length, 1.0 * c.radius) << c.name << " finger " << f;
        }
    }
}

}  // namespace
}  // namespace olvar
