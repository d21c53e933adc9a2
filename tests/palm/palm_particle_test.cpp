// The palm particle tracker's steps on small masks: seeding, resampling (also with nothing to
// resample on), the prediction with its gains, floors and re-seeded ranges, the outline
// likelihood in both outline modes, the finger visibility classes, the estimate and the edge
// distance, and the Step's statuses and determinism.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "body/random.h"
#include "palm/palm_particle.h"

namespace olvar {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Normals {
    float x, y, angle, scale;
};

Normals DrawFour(ParkMiller& stream, float sigma) {
    Normals n;
    n.x = stream.Gaussian(0, sigma);
    n.y = stream.Gaussian(0, sigma);
    n.angle = stream.Gaussian(0, sigma);
    n.scale = stream.Gaussian(0, sigma);
    return n;
}

TEST(PalmParticle, SeedPutsThePoseFirstAndSpreadsTheRest) {
    PalmParticle tracker;
    EXPECT_EQ(tracker.count, 250);
    EXPECT_EQ(tracker.rng.State(), ParkMiller::kSeed);
    EXPECT_EQ(tracker.outline.count, 55);
    tracker.count = 500;
    tracker.outlineMode = 0;
    tracker.fingerTermOn = false;
    tracker.Seed(320, 240, 15, 1.2);
    ASSERT_EQ(tracker.samples.size(), 500u);
    EXPECT_EQ(tracker.outlineMode, 5);
    EXPECT_TRUE(tracker.fingerTermOn);
    EXPECT_DOUBLE_EQ(tracker.refAngle, 1.2);
    for (const PalmSample* s : {tracker.samples[0].get(), &tracker.estimate, &tracker.best}) {
        EXPECT_EQ(s->x, 320);
        EXPECT_EQ(s->y, 240);
        EXPECT_EQ(s->scale, 15);
        EXPECT_EQ(s->angle, 1.2f);
    }
    // Samples 1.. from four normals each (x, y, angle, scale), history at the seed centre.
    ParkMiller stream;
    for (int i = 1; i < 4; ++i) {
        const Normals n = DrawFour(stream, 0.5f);
        const PalmSample& s = *tracker.samples[i];
        EXPECT_EQ(s.x, static_cast<float>(320 + 15 * n.x)) << i;
        EXPECT_EQ(s.y, static_cast<float>(240 + 15 * n.y)) << i;
        EXPECT_EQ(s.angle, static_cast<float>(1.2 + 0.2f * n.angle)) << i;
        EXPECT_EQ(s.scale, static_cast<float>(std::max(15.0 + 3.0f * n.scale, 1.0))) << i;
    }
    for (const auto& s : tracker.samples) {
        EXPECT_EQ(s->x1, 320);
        EXPECT_EQ(s->y2, 240);
    }
    for (int i = 0; i < 500; ++i) {
        EXPECT_EQ(tracker.weights[i], 1.0f / 500);
        EXPECT_EQ(tracker.normWeights[i], 1.0f / 500);
    }
}

TEST(PalmParticle, SeedScalesAreFlooredAtOnePixel) {
    PalmParticle tracker;
    tracker.count = 500;
    tracker.Seed(50, 50, 1, 0);
    int atFloor = 0;
    for (const auto& s : tracker.samples) {
        EXPECT_GE(s->scale, 1.0f);
        atFloor += s->scale == 1.0f;
    }
    EXPECT_GT(atFloor, 100);  // about half the draws fall below
}

TEST(PalmResampling, DrawsFollowTheCumulativeWeights) {
    // Weights 0.25, 0.25, 0, 0.5.
    const std::vector<double> c = NormalisedCumulative({1, 1, 0, 2});
    ASSERT_EQ(c.size(), 5u);
    struct Case {
        float u;
        int index;
    };
    const Case cases[] = {
        {0.1f, 0}, {0.25f, 1}, {0.49f, 1}, {0.5f, 3},  // the empty interval of sample 2 is skipped
        {1.0f, 3},                                     // past the last interval: the last sample
    };
    for (const Case& k : cases) {
        EXPECT_EQ(DrawIndex(c, k.u), k.index) << k.u;
    }
}

TEST(PalmResampling, AllZeroWeightsGiveSampleZeroWithoutDividingByZero) {
    const std::vector<double> c = NormalisedCumulative({0, 0, 0});
    EXPECT_TRUE(c.empty()) << "a zero total cannot be normalised";
    for (float u : {0.01f, 0.5f, 1.0f}) {
        EXPECT_EQ(DrawIndex(c, u), 0);
    }

    PalmParticle tracker;
    tracker.count = 200;
    tracker.Seed(100, 100, 10, 0.5);
    tracker.samples[0]->x = 77;
    std::fill(tracker.weights.begin(), tracker.weights.end(), 0.0f);
    tracker.Resample();
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(tracker.samples[i]->x, 77) << i;
        EXPECT_EQ(tracker.normWeights[i], 0.0f) << "left as they are, not NaN";
    }
}

TEST(PalmResampling, CopiesInProportionAndNormalisesToMeanOne) {
    PalmParticle tracker;
    tracker.count = 1000;
    tracker.Seed(100, 100, 10, 0.5);
    for (int i = 0; i < 1000; ++i) {
        tracker.samples[i]->x = static_cast<float>(i);
        tracker.weights[i] = 0;
    }
    tracker.weights[10] = 1;
    tracker.weights[20] = 3;
    tracker.Resample();
    int from10 = 0, from20 = 0;
    for (int i = 0; i < 1000; ++i) {
        const float x = tracker.samples[i]->x;
        ASSERT_TRUE(x == 10 || x == 20) << x;
        (x == 10 ? from10 : from20)++;
    }
    EXPECT_NEAR(from20 / 1000.0, 0.75, 0.05);
    // The new normalised weight is the drawn sample's raw weight, scaled to mean 1.
    const double rawSum = from10 * 1.0 + from20 * 3.0;
    double sum = 0;
    for (int i = 0; i < 1000; ++i) {
        const double raw = tracker.samples[i]->x == 10 ? 1 : 3;
        EXPECT_NEAR(tracker.normWeights[i], raw / rawSum * 1000, 1e-4);
        sum += tracker.normWeights[i];
    }
    EXPECT_NEAR(sum, 1000, 1e-2);
}

TEST(PalmPrediction, GainFollowsTheNormalisedWeight) {
    struct Case {
        float normWeight;
        double gain;
    };
    const Case cases[] = {{0.0f, 0.5},  {0.0799f, 0.5},  {0.08f, 1.0},
                          {0.54f, 1.0}, {0.5401f, 1.75}, {3.0f, 1.75}};
    for (const Case& c : cases) {
        EXPECT_EQ(MotionGain(c.normWeight), c.gain) << c.normWeight;
    }
}

TEST(PalmPrediction, SecondOrderMotionFloorsAndReseededRanges) {
    PalmParticle tracker;
    tracker.count = 500;
    tracker.Seed(200, 150, 1, 0.7);  // scale 1: every predicted sample hits the floor of 6
    tracker.refX = 400;
    tracker.refY = 300;
    tracker.refScale = 9;
    tracker.refAngle = -0.4;
    PalmSample& s0 = *tracker.samples[0];
    s0.x = 210, s0.y = 160, s0.x1 = 205, s0.y1 = 155, s0.x2 = 200, s0.y2 = 150;
    tracker.normWeights[0] = 0.5401f;
    tracker.best.x = 50, tracker.best.y = 60, tracker.best.scale = 7, tracker.best.angle = 2;
    ParkMiller stream(tracker.rng.State());
    tracker.Predict();

    const Normals n = DrawFour(stream, 0.5f);
    EXPECT_FLOAT_EQ(s0.x, 1.8462 * 205 - 0.8521 * 200 + 1.75 * 4.1776 * 1 * n.x);
    EXPECT_FLOAT_EQ(s0.y, 1.8462 * 155 - 0.8521 * 150 + 1.75 * 4.1776 * 1 * n.y);
    EXPECT_EQ(s0.x1, 210);
    EXPECT_EQ(s0.y1, 160);
    EXPECT_EQ(s0.x2, 205);
    EXPECT_EQ(s0.y2, 155);
    EXPECT_FLOAT_EQ(s0.angle, 0.7f + 0.2f * n.angle);
    for (int j = 0; j < 400; ++j) {
        EXPECT_GE(tracker.samples[j]->scale, 6.0f) << j;
    }
    for (int j = 400; j < 450; ++j) {  // around the reference pose
        EXPECT_EQ(tracker.samples[j]->scale, 9.0f);
        EXPECT_EQ(tracker.samples[j]->angle, -0.4f);
        EXPECT_NEAR(tracker.samples[j]->x, 400, 9 * 0.2 * 5);
    }
    for (int j = 450; j < 500; ++j) {  // around the best sample
        EXPECT_EQ(tracker.samples[j]->scale, 7.0f);
        EXPECT_EQ(tracker.samples[j]->angle, 2.0f);
        EXPECT_NEAR(tracker.samples[j]->y, 60, 7 * 0.5 * 5);
    }
    // Every sample drew four normals, the replaced ones too: 4 x (500 + 100) in all.
    for (int i = 1; i < 600; ++i) {
        DrawFour(stream, 1);
    }
    EXPECT_EQ(tracker.rng.State(), stream.State());
}

TEST(PalmPrediction, SmallCloudsKeepTheirIndicesInRange) {
    for (int count : {1, 30, 60, 99}) {
        PalmParticle tracker;
        tracker.count = count;
        tracker.Seed(100, 100, 10, 0);
        tracker.best.scale = 8;
        tracker.refScale = 5;
        tracker.Predict();
        ASSERT_EQ(static_cast<int>(tracker.samples.size()), count);
        EXPECT_EQ(tracker.samples[count - 1]->scale, 8.0f) << count;
        if (count > 50) {
            EXPECT_EQ(tracker.samples[count - 51]->scale, 5.0f) << count;
        }
    }
}

// A frame of the given size for the scoring tests, with an edge map of the same size.
struct Frame {
    cv::Mat mask, edges;
    Frame(int w, int h, uint8_t fill)
        : mask(h, w, CV_8UC1, cv::Scalar(fill)), edges(h, w, CV_8UC1, cv::Scalar(0)) {}
};

TEST(PalmLikelihood, OutlineModesAndTheFingerPart) {
    Frame frame(400, 400, 0);  // no boundary anywhere: every line scores its minimum
    HandModel cleared;
    cleared.Clear();
    HandModel fitted;
    fitted.radius = 10;
    // scale 10: line length 24, h = 12, k = 1/36; the empty line's term is 1.5 e^(-100/36) + 0.5.
    const double term = 1.5 * std::exp(-100.0 / 36) + 0.5;
    struct Case {
        int mode;
        bool fingerTermOn;
        const HandModel* previous;
        double angle;  // the sample's, against refAngle 0.5
        double expected;
    };
    const Case cases[] = {
        {5, true, &cleared, 0.5, std::pow(term, 13) + 1},
        {5, false, &fitted, 0.5, std::pow(term, 13) + 1},
        {0, true, &fitted, 0.5, std::pow(term, 9) + 1},  // segments 1-4 skipped, finger part 1
        {0, true, &cleared, 0.9, (std::pow(term, 9) + 1) * std::exp(-5 * 0.16)},
        {7, true, &cleared, 0.1, (std::pow(term, 9) + 1) * std::exp(-5 * 0.16)},
    };
    for (const Case& c : cases) {
        PalmParticle tracker;
        tracker.count = 100;
        tracker.Seed(200, 250, 10, c.angle);
        tracker.refAngle = 0.5;
        tracker.fingerTermOn = c.fingerTermOn;
        tracker.SetFrame(&frame.mask, &frame.edges);
        tracker.Weigh(c.mode, *c.previous);
        EXPECT_NEAR(tracker.weights[0], c.expected, 1e-5 * c.expected)
            << "mode " << c.mode << " angle " << c.angle;
    }
}

TEST(PalmLikelihood, TinyScalesScoreFinitely) {
    // At scale 0.5 the line is one pixel long and has no half-length; on a full mask the hit
    // lies on the midpoint (d = 0), which must score as a perfect hit, not 0 * infinity.
    Frame frame(100, 100, 1);
    HandModel cleared;
    cleared.Clear();
    PalmParticle tracker;
    tracker.count = 100;
    tracker.Seed(50, 60, 0.5, kPi / 2);
    tracker.SetFrame(&frame.mask, &frame.edges);
    for (float scale : {0.5f, 0.3f, 0.0f}) {
        PalmSample s = *tracker.samples[0];
        s.scale = scale;
        const double w = tracker.SampleLikelihood(s, cleared);
        EXPECT_TRUE(std::isfinite(w)) << scale;
        EXPECT_GE(w, 1.0) << scale;
    }
}

TEST(PalmLikelihood, FingerVisibilityClassSetsTheMeasuredPoints) {
    // On empty images every measured point scores its minimum, so the score tells how many
    // points were measured: none (class 0), 2, 4 or 6.
    Frame frame(600, 600, 0);
    const int b = 8;
    // Edge score lines: k = 1 / (G / 3)^2 with G = 4; mask score lines: L0 = what the edge score
    // left (the last point's factor 0.6 of b), k = 6 / L0.
    const double edgeTerm = 1.5 * std::exp(-100.0 / ((4 / 3.0) * (4 / 3.0))) + 0.5;
    const double maskTerm = 1.5 * std::exp(-100.0 * 6 / 4) + 0.5;
    struct Case {
        double relativeLength;  // >= 0.5: no length noise
        int points;
    };
    const Case cases[] = {{0.5, 4}, {0.69, 4}, {0.71, 6}, {2.0, 6}};
    for (const Case& c : cases) {
        PalmParticle tracker;
        tracker.SetFrame(&frame.mask, &frame.edges);
        tracker.outline.SetPose(300, 400, 30, kPi / 2);
        HandModel previous;
        previous.radius = 10;
        previous.parts[kMiddle].length = c.relativeLength * 2.4 * 10;
        const double score = tracker.FingerScore(kMiddle, b, previous);
        EXPECT_NEAR(score, std::pow(edgeTerm * maskTerm, c.points), 1e-12) << c.relativeLength;
    }
    // Below 0.5 the length is noisy; the class follows the noisy value (same stream replayed).
    int seen[4] = {0, 0, 0, 0};
    PalmParticle tracker;
    tracker.SetFrame(&frame.mask, &frame.edges);
    tracker.outline.SetPose(300, 400, 30, kPi / 2);
    HandModel previous;
    previous.radius = 10;
    previous.parts[kRing].length = 0.1 * 2.2 * 10;
    for (int i = 0; i < 200; ++i) {
        ParkMiller replay(tracker.rng.State());
        replay.Gaussian(0, 0.05f);
        const double e = 0.1 + replay.Gaussian(0, 0.4f);
        const int points = e < 0.15 ? 0 : e < 0.5 ? 2 : e > 0.7 ? 6 : 4;
        ++seen[points / 2 > 2 ? 3 : points / 2];
        const double score = tracker.FingerScore(kRing, b, previous);
        ASSERT_NEAR(score, points == 0 ? 1.0 : std::pow(edgeTerm * maskTerm, points), 1e-12)
            << "relative length " << e;
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
}

TEST(PalmEdges, NearestEdgeDistanceLooksBothWaysFromTheMidpoint) {
    struct Case {
        const char* name;
        std::vector<cv::Point> edges;
        int expected;
    };
    // The line runs from A = (10, 20) to B = (30, 20); its midpoint is (20, 20).
    const Case cases[] = {
        {"no edge", {}, 10},
        {"edge on the midpoint", {{20, 20}}, 0},
        {"toward B only", {{24, 20}}, 4},
        {"toward A only", {{13, 20}}, 7},
        {"closer toward A", {{25, 20}, {18, 20}}, 2},
        {"equal: B's stays", {{23, 20}, {17, 20}}, 3},
        {"beyond the line", {{31, 20}, {9, 20}}, 10},
    };
    for (const Case& c : cases) {
        cv::Mat image(40, 40, CV_8UC1, cv::Scalar(0));
        for (const cv::Point& p : c.edges) {
            image.at<uint8_t>(p) = 1;
        }
        EXPECT_EQ(NearestEdgeDistance(image, {10, 20, 30, 20}), c.expected) << c.name;
    }
    // A long line: hits farther than 10 count with their distance.
    cv::Mat far(40, 60, CV_8UC1, cv::Scalar(0));
    far.at<uint8_t>(20, 35) = 1;
    EXPECT_EQ(NearestEdgeDistance(far, {0, 20, 40, 20}), 15);
    far.at<uint8_t>(20, 8) = 1;
    EXPECT_EQ(NearestEdgeDistance(far, {0, 20, 40, 20}), 12);
    // Midpoint by arithmetic shifts: (-3 + 0) >> 1 = -2, outside the image, and nothing breaks.
    cv::Mat image(10, 10, CV_8UC1, cv::Scalar(1));
    EXPECT_EQ(NearestEdgeDistance(image, {-3, 0, 0, 0}), 2);
}

TEST(PalmEstimate, WeightedMeanOfTheBestTwentyFiveAndTheThreshold) {
    PalmParticle tracker;
    tracker.count = 100;
    tracker.Seed(0, 0, 10, 0);
    for (int i = 0; i < 100; ++i) {
        PalmSample& s = *tracker.samples[i];
        s.x = static_cast<float>(i);
        s.y = static_cast<float>(2 * i);
        s.scale = 10;
        s.angle = 0.01f * i;
        tracker.weights[i] = i < 25 ? 0.05f : 0.0f;
    }
    tracker.weights[40] = 0.2f;  // the best, inside the 25 together with 24 of the first 25
    EXPECT_TRUE(tracker.Estimate());
    EXPECT_EQ(tracker.best.x, 40);
    // Ties keep the sample order: samples 0..23 and 40.
    const double sum = 24 * 0.05 + 0.2;
    double mx = 0.2 * 40;
    for (int i = 0; i < 24; ++i) {
        mx += 0.05 * i;
    }
    EXPECT_NEAR(tracker.estimate.x, mx / sum, 1e-4);
    EXPECT_NEAR(tracker.estimate.y, 2 * mx / sum, 1e-4);

    struct Case {
        float best;
        bool found;
    };
    for (const Case& c : {Case{0.1f, true}, Case{0.0999f, false}, Case{0.0f, false}}) {
        std::fill(tracker.weights.begin(), tracker.weights.end(), 0.0f);
        tracker.weights[7] = c.best;
        EXPECT_EQ(tracker.Estimate(), c.found) << c.best;
    }
    // All zero: divided by 1, not by 0.
    std::fill(tracker.weights.begin(), tracker.weights.end(), 0.0f);
    EXPECT_FALSE(tracker.Estimate());
    EXPECT_EQ(tracker.estimate.x, 0);
    EXPECT_EQ(tracker.best.x, 0);
}

TEST(PartitionParticle, StepStatusesForBadAndMissingInput) {
    Frame frame(120, 100, 0);
    const Integral integral(120 * 100, 0);
    const cv::Mat colour(100, 120, CV_8UC3, cv::Scalar(0, 0, 0));
    HandModel previous;
    previous.Clear();
    PartitionParticle tracker;
    EXPECT_EQ(tracker.Step(frame.mask, integral, colour, frame.edges, 5, previous), 10)
        << "not seeded: nothing to follow";
    tracker.Tracker().count = 500;
    tracker.Tracker().Seed(60, 50, 10, kPi / 2);
    const cv::Mat empty;
    const cv::Mat smallEdges(50, 60, CV_8UC1, cv::Scalar(0));
    const cv::Mat colourMask(100, 120, CV_8UC3, cv::Scalar(0, 0, 0));
    EXPECT_EQ(tracker.Step(empty, integral, colour, frame.edges, 5, previous), 12);
    EXPECT_EQ(tracker.Step(frame.mask, integral, colour, smallEdges, 5, previous), 12);
    EXPECT_EQ(tracker.Step(colourMask, integral, colour, frame.edges, 5, previous), 12);
    // Mode 5 weights exceed 1: an empty mask still "follows".
    EXPECT_EQ(tracker.Step(frame.mask, integral, colour, frame.edges, 5, previous), 0);
    // The reduced outline with an angle prior far from every sample loses the palm (a cloud
    // without reference samples, which carry the prior's own angle).
    tracker.Tracker().count = 50;
    tracker.Tracker().Seed(60, 50, 10, kPi / 2);
    tracker.Tracker().refAngle = kPi / 2 + 3;
    EXPECT_EQ(tracker.Step(frame.mask, integral, colour, frame.edges, 0, previous), 10);
}

}  // namespace
}  // namespace olvar
