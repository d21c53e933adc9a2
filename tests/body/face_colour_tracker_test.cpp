// The face colour tracker: colour histograms of boxes, the head-outline factor, the shared
// random stream, the step's report, failed steps and following a moving head.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "body/face_colour_tracker.h"

namespace olvar {
namespace {

constexpr int kW = 200, kH = 150;

int BinOf(int r, int g, int b) {
    return (r >> 5) * 64 + (g >> 5) * 8 + (b >> 5);
}

// A person on a grey wall: a skin-coloured head of half-width hx (1.25 hx half-height) centred
// at (cx, cy), dark hair on its top quarter, and a blue shirt from the chin down. The mask is
// the whole silhouette.
struct Person {
    cv::Mat colour = cv::Mat(kH, kW, CV_8UC3, cv::Scalar(128, 128, 128));
    cv::Mat mask = cv::Mat::zeros(kH, kW, CV_8UC1);

    Person(int cx, int cy, int hx) {
        const int hy = hx * 5 / 4;
        const cv::Rect shirt(cx - 2 * hx, cy + hy, 4 * hx + 1, kH);
        cv::rectangle(colour, shirt, cv::Scalar(160, 60, 40), cv::FILLED);
        cv::rectangle(mask, shirt, cv::Scalar(1), cv::FILLED);
        const cv::Rect head(cx - hx, cy - hy, 2 * hx + 1, 2 * hy + 1);
        cv::rectangle(colour, head, cv::Scalar(90, 120, 200), cv::FILLED);
        cv::rectangle(colour, cv::Rect(head.x, head.y, head.width, hy / 2), cv::Scalar(30, 30, 40),
                      cv::FILLED);
        cv::rectangle(mask, head, cv::Scalar(1), cv::FILLED);
    }
};

TEST(ColourHistogram, CountsOnlyMaskedPixelsOfBoxesInsideTheFrame) {
    const Person p(100, 60, 10);
    float h[kHistogramBins];

    // Inside the head's skin, one colour: one bin holding everything.
    ColourHistogram(p.colour, &p.mask, 100, 65, 5, 5, h);
    EXPECT_FLOAT_EQ(h[BinOf(200, 120, 90)], 1.0f);

    // Half skin, half shirt, symmetric about the centre row: two equal halves, the centre row
    // (skin) tipping the balance slightly.
    ColourHistogram(p.colour, &p.mask, 100, 72, 5, 5, h);
    EXPECT_NEAR(h[BinOf(200, 120, 90)] + h[BinOf(40, 60, 160)], 1.0f, 1e-5f);
    EXPECT_GT(h[BinOf(200, 120, 90)], h[BinOf(40, 60, 160)]);

    struct Case {
        const char* what;
        int cx, cy, hx, hy;
    };
    const Case empty[] = {
        {"box on the wall (no foreground)", 30, 30, 8, 10},
        {"centre left of the frame", -1, 60, 8, 10},
        {"centre below the frame", 100, kH, 8, 10},
        {"zero half-width", 100, 60, 0, 10},
        {"negative half-height", 100, 60, 8, -3},
    };
    for (const Case& c : empty) {
        ColourHistogram(p.colour, &p.mask, c.cx, c.cy, c.hx, c.hy, h);
        float total = 0;
        for (float v : h) {
            total += v;
        }
        EXPECT_EQ(total, 0.0f) << c.what;
    }
    // A mask of another size can not tell foreground: nothing counts.
    const cv::Mat small = cv::Mat::ones(10, 10, CV_8UC1);
    ColourHistogram(p.colour, &small, 100, 65, 5, 5, h);
    EXPECT_EQ(h[BinOf(200, 120, 90)], 0.0f);
    // Enormous half-sizes cover the frame without overflowing.
    ColourHistogram(p.colour, nullptr, 100, 65, 2000000000, 2000000000, h);
    EXPECT_NEAR(h[BinOf(128, 128, 128)] + h[BinOf(200, 120, 90)] + h[BinOf(40, 60, 160)] +
                    h[BinOf(40, 30, 30)],
                1.0f, 1e-4f);
}

TEST(ColourHistogram, BhattacharyyaOfSameAndDisjointHistograms) {
    const Person p(100, 60, 10);
    float skin[kHistogramBins], shirt[kHistogramBins], mixed[kHistogramBins];
    ColourHistogram(p.colour, &p.mask, 100, 65, 5, 5, skin);
    ColourHistogram(p.colour, &p.mask, 100, 100, 8, 8, shirt);
    ColourHistogram(p.colour, &p.mask, 100, 72, 5, 5, mixed);
    EXPECT_NEAR(Bhattacharyya(skin, skin), 1.0f, 1e-6f);
    EXPECT_EQ(Bhattacharyya(skin, shirt), 0.0f);
    const float rho = Bhattacharyya(skin, mixed);
    EXPECT_GT(rho, 0.7f);
    EXPECT_LT(rho, 0.8f);
}

TEST(HeadOutline, FactorRangesFromAbsentToExactOutline) {
    const cv::Mat none = cv::Mat::zeros(kH, kW, CV_8UC1);
    struct Case {
        int hx;
        float factor;  // each of the eight probes misses (distance 10)
    };
    for (const Case& c : {Case{20, std::pow(std::exp(-1.0f) * 1.5f + 0.5f, 8.0f)},
                          Case{8, std::pow(std::exp(-100.0f / 16) * 1.5f + 0.5f, 8.0f)},
                          Case{0, std::pow(0.5f, 8.0f)}}) {
        EXPECT_NEAR(HeadOutlineFactor(none, 100, 70, c.hx), c.factor, 1e-5f * c.factor) << c.hx;
    }
    // A block as wide as the head, its top 1.25 half-widths above the centre: every probe hits
    // the outline at its midpoint.
    cv::Mat head = cv::Mat::zeros(kH, kW, CV_8UC1);
    cv::rectangle(head, cv::Point(92, 60), cv::Point(108, kH - 1), cv::Scalar(1), cv::FILLED);
    EXPECT_FLOAT_EQ(HeadOutlineFactor(head, 100, 70, 8), 256.0f);
    // Off by half a width, or a size too small, the outline sits elsewhere.
    EXPECT_LT(HeadOutlineFactor(head, 104, 70, 8), 64.0f);
    EXPECT_LT(HeadOutlineFactor(head, 100, 70, 5), 64.0f);
    // Probes beyond the frame are clamped into it.
    EXPECT_GT(HeadOutlineFactor(head, -50, 500, 40), 0.0f);
    EXPECT_GT(HeadOutlineFactor(cv::Mat(), 100, 70, 8), 0.0f);
}

TEST(ColourStepReport, CapsTheHeightAndChecksTheEstimate) {
    struct Case {
        int x, y, hx, hy;
        float best;
        int status, reportedHy;
    };
    const Case cases[] = {
        {100, 70, 5, 30, 0.5f, 1, 20},               // hy capped at 4 hx
        {100, 70, 8, 10, 0.5f, 1, 10},               // within the cap
        {0, 0, 1, 1, 0.0001f, 1, 1},                 // corner of the frame, best exactly minWeight
        {kW, 70, 8, 10, 0.5f, -1, 10},               // centre right of the frame
        {100, -1, 8, 10, 0.5f, -1, 10},              // centre above the frame
        {100, 70, 0, 10, 0.5f, -1, 0},               // no width (the cap makes the height 0 too)
        {100, 70, 8, 0, 0.5f, -1, 0},                // no height
        {100, 70, 8, 10, 0.00009f, -1, 10},          // best weight below minWeight
        {100, 70, 1 << 30, 1 << 30, 1, 1, 1 << 30},  // cap computed without overflow
    };
    for (const Case& c : cases) {
        const FaceParticle e{c.x, c.y, 0, 0, c.hx, c.hy, 0};
        const ColourStep step = ReportColourEstimate(e, c.best, 0.0001f, kW, kH);
        EXPECT_EQ(step.status, c.status) << c.x << "," << c.y << "," << c.hx << "," << c.hy;
        EXPECT_EQ(step.hy, c.reportedHy) << c.hx << "," << c.hy;
        EXPECT_EQ(step.x, c.x);
        EXPECT_EQ(step.bestWeight, c.best);
    }
}

class ColourTracker : public ::testing::Test {
  protected:
    // Starts the tracker on the head of a person at (100, 60) with half-width 10.
    void StartOn(const Person& p, int x = 100, int y = 60, int hx = 10, int hy = 12) {
        tracker.mask = &p.mask;
        tracker.StartColourTracker(x, y, hx, hy, p.colour, kW, kH);
    }
    // Every particle, and the estimate, becomes `q`.
    void SetAllParticles(const FaceParticle& q) {
        for (FaceParticle& p : tracker.faceParticles) {
            p = q;
        }
        tracker.faceEstimate = q;
    }
    bool SameParticles(const FaceParticle* a, const FaceParticle* b) {
        return std::memcmp(a, b, sizeof(FaceParticle) * FaceColourTracker::kParticles) == 0;
    }

    FaceColourTracker tracker;
};

TEST_F(ColourTracker, StartScattersParticlesWithCauchyDrawsFromTheSharedStream) {
    const Person p(100, 60, 10);
    // A second tracker resets the shared stream: both start from the same seed.
    FaceColourTracker other;
    EXPECT_EQ(SharedColourRandom()->State(), ParkMiller::kSeed);
    StartOn(p, 100, 60, 10, 12);

    const FaceParticle& first = tracker.faceParticles[0];
    EXPECT_EQ(first.x, 100);
    EXPECT_EQ(first.y, 60);
    EXPECT_EQ(first.hx, 10);
    EXPECT_EQ(first.hy, 12);
    EXPECT_EQ(first.vx, 0.0f);
    EXPECT_EQ(first.rate, 0.0f);
    EXPECT_EQ(std::memcmp(&tracker.faceEstimate, &first, sizeof(FaceParticle)), 0);
    for (float w : tracker.particleWeights) {
        EXPECT_FLOAT_EQ(w, 1.0f / 75);
    }
    // Particle 1 from the first seven Cauchy samples (the sixth unused).
    ParkMiller replica;
    float c[7];
    for (float& v : c) {
        v = replica.Cauchy(0.5f);
    }
    const FaceParticle& second = tracker.faceParticles[1];
    EXPECT_EQ(second.x, static_cast<int>(10 * c[0] + 100));
    EXPECT_EQ(second.y, static_cast<int>(12 * c[1] + 60));
    EXPECT_FLOAT_EQ(second.vx, 20 * c[2]);
    EXPECT_FLOAT_EQ(second.vy, 20 * c[3]);
    EXPECT_EQ(second.hx, static_cast<int>(0.02f * c[4] + 10));
    EXPECT_EQ(second.hy, static_cast<int>(1.25 * (0.02f * c[4] + 10)));
    EXPECT_FLOAT_EQ(second.rate, 0.002f * c[6]);
    // 74 particles of seven draws each.
    for (int k = 7; k < 74 * 7; ++k) {
        replica.Next();
    }
    EXPECT_EQ(SharedColourRandom()->State(), replica.State());
    // The other tracker continues the same sequence.
    other.mask = &p.mask;
    other.StartColourTracker(100, 60, 10, 12, p.colour, kW, kH);
    EXPECT_NE(other.faceParticles[1].vx, second.vx);
}

TEST_F(ColourTracker, ParticlesOffTheFrameFailAndTheSetIsRestored) {
    const Person p(100, 60, 10);
    StartOn(p);
    tracker.spread = 0;  // deterministic prediction
    SetAllParticles({-20, 60, 0, 0, 8, 10, 0});
    FaceParticle before[FaceColourTracker::kParticles];
    float weightsBefore[FaceColourTracker::kParticles];
    std::memcpy(before, tracker.faceParticles, sizeof(before));
    std::memcpy(weightsBefore, tracker.particleWeights, sizeof(weightsBefore));

    const ColourStep step = tracker.StepColourTracker(p.colour, kW, kH);
    // Predicted centre: trunc(-20 + 0.5) = -19, off the frame: empty histogram, rho 0. The
    // estimate rounds it as trunc(-19 + 0.5) = -18.
    const float expected = std::exp(-50.0f) * HeadOutlineFactor(p.mask, -19, 60, 8);
    EXPECT_NEAR(step.bestWeight, expected, 1e-3f * expected);
    EXPECT_EQ(step.status, -1);
    EXPECT_EQ(step.x, -18);
    EXPECT_TRUE(SameParticles(tracker.faceParticles, before));
    EXPECT_EQ(std::memcmp(tracker.particleWeights, weightsBefore, sizeof(weightsBefore)), 0);
    // The estimate keeps what the failed step computed.
    EXPECT_EQ(tracker.faceEstimate.x, -18);
}

TEST_F(ColourTracker, ResamplingDrawsOnlyWeightedParticles) {
    const Person p(100, 60, 10);
    StartOn(p);
    tracker.spread = 0;
    SetAllParticles({100, 60, 0, 0, 10, 12, 0});
    // Only particle 5 carries weight; it is told apart by its size.
    tracker.faceParticles[5] = {101, 61, 0, 0, 9, 11, 0};
    std::fill(tracker.particleWeights, tracker.particleWeights + 75, 0.0f);
    tracker.particleWeights[5] = 1;

    const ColourStep step = tracker.StepColourTracker(p.colour, kW, kH);
    ASSERT_EQ(step.status, 1);
    // Particle 0 is the previous estimate; every other one is a child of particle 5, predicted
    // without noise: the size becomes trunc(9 + 0.5) and 1.25 * 9 rounded.
    EXPECT_EQ(tracker.faceParticles[0].hx, 10);
    for (int i = 1; i < 75; ++i) {
        EXPECT_EQ(tracker.faceParticles[i].x, 101) << i;
        EXPECT_EQ(tracker.faceParticles[i].hx, 9) << i;
        EXPECT_EQ(tracker.faceParticles[i].hy, 11) << i;
    }
}

TEST_F(ColourTracker, PredictionDrawsSevenNormalsPerParticleInOrder) {
    // Every particle moving right and down and growing: after the 75 resampling uniforms, each
    // particle in turn draws a (sigma 2 spread) and z1 .. z6 (sigma spread) from the shared
    // stream; z5 is drawn and not used.
    const Person p(100, 60, 10);
    StartOn(p);
    const FaceParticle q{100, 60, 5.0f, -5.0f, 10, 12, 0.01f};
    SetAllParticles(q);
    ParkMiller replica(SharedColourRandom()->State());
    for (int k = 0; k < 75; ++k) {
        replica.Uniform();
    }
    const ColourStep step = tracker.StepColourTracker(p.colour, kW, kH);
    ASSERT_EQ(step.status, 1);
    for (int i = 0; i < 3; ++i) {
        const float a = replica.Gaussian(0, 1.0f);
        float z[7];
        for (int k = 1; k <= 6; ++k) {
            z[k] = replica.Gaussian(0, 0.5f);
        }
        const float c = q.hx + q.hx * q.rate + 0.02f * z[4];
        const FaceParticle& got = tracker.faceParticles[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(got.x, static_cast<int>(0.2f * q.vx + q.x + q.hx * a + 0.5));
        EXPECT_EQ(got.y, static_cast<int>(0.2f * q.vy + q.y + q.hy * z[1] + 0.5));
        EXPECT_FLOAT_EQ(got.vx, q.vx + 20 * z[2]);
        EXPECT_FLOAT_EQ(got.vy, q.vy + 20 * z[3]);
        EXPECT_EQ(got.hx, static_cast<int>(c + 0.5));
        EXPECT_EQ(got.hy, static_cast<int>(1.25 * c + 0.5));
        EXPECT_FLOAT_EQ(got.rate, q.rate + 0.002f * z[6]);
    }
}

TEST_F(ColourTracker, BadImagesLeaveTheTrackerUntouched) {
    const Person p(100, 60, 10);
    StartOn(p);
    FaceParticle before[FaceColourTracker::kParticles];
    std::memcpy(before, tracker.faceParticles, sizeof(before));
    const int state = SharedColourRandom()->State();
    const cv::Mat grey(kH, kW, CV_8UC1, cv::Scalar(0));
    const cv::Mat small(10, 10, CV_8UC3, cv::Scalar(0));
    EXPECT_EQ(tracker.StepColourTracker(grey, kW, kH).status, -1);
    EXPECT_EQ(tracker.StepColourTracker(small, kW, kH).status, -1);
    EXPECT_EQ(tracker.StepColourTracker(p.colour, kW + 4, kH).status, -1);
    const cv::Mat smallMask = cv::Mat::ones(10, 10, CV_8UC1);
    tracker.mask = &smallMask;
    EXPECT_EQ(tracker.StepColourTracker(p.colour, kW, kH).status, -1);
    EXPECT_TRUE(SameParticles(tracker.faceParticles, before));
    EXPECT_EQ(SharedColourRandom()->State(), state);
}

TEST_F(ColourTracker, FollowsAHeadMovingSideways) {
    Person start(60, 60, 10);
    StartOn(start, 60, 60, 10, 12);
    double errorSum = 0;
    int frames = 0;
    for (int k = 1; k <= 40; ++k) {
        const int cx = 60 + 2 * k;  // two pixels per frame toward image-right
        const Person p(cx, 60, 10);
        tracker.mask = &p.mask;
        const ColourStep step = tracker.StepColourTracker(p.colour, kW, kH);
        ASSERT_EQ(step.status, 1) << "frame " << k;
        const double error = std::hypot(step.x - cx, step.y - 60);
        EXPECT_LT(error, 5.0) << "frame " << k;
        EXPECT_NEAR(step.hx, 10, 3) << "frame " << k;
        errorSum += error;
        ++frames;
    }
    std::printf("colour tracker, head moving 2 px/frame: mean centre error %.2f px\n",
                errorSum / frames);
}

}  // namespace
}  // namespace olvar
