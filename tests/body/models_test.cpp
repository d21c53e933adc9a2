// Body-part models and the particle filter on small masks.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <memory>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "body/particle_filter.h"
#include "body/primitives.h"
#include "body/random.h"
#include "imaging/integral.h"

#include "body_masks.h"

namespace olvar {
namespace {

using test_masks::IntegralOf;
using test_masks::kH;
using test_masks::kW;

std::unique_ptr<Primitive> Model(int kind, int x, int y, int size) {
    std::unique_ptr<Primitive> m(CreatePrimitive(kH, kind, kW));
    m->x = x;
    m->y = y;
    m->partSize = size;
    m->SetUp(kW, kH);
    return m;
}

TEST(Primitives, FactoryPlacesModelsAtTheFrameCentreAndRejectsUnknownKinds) {
    for (int kind : {kTorsoKind, kFaceKind, kHandKind}) {
        std::unique_ptr<Primitive> m(CreatePrimitive(kH, kind, kW));
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->x, 100);
        EXPECT_EQ(m->y, 75);
        EXPECT_EQ(m->partSize, 37);
        EXPECT_FLOAT_EQ(m->weight, 1.0f);
        EXPECT_EQ(m->score, 0.0);
    }
    EXPECT_EQ(CreatePrimitive(kH, 3, kW), nullptr);
    EXPECT_EQ(CreatePrimitive(kH, -1, kW), nullptr);
}

// The outline points of a model's shape in storage order: torso outer then inner, face and hand
// inner then outer; the torso's second shape when asked for.
std::vector<PointI> Outline(const Primitive& model, bool alternative) {
    if (const auto* torso = dynamic_cast<const TorsoPrimitive*>(&model)) {
        if (alternative) {
            return {std::begin(torso->alternative), std::end(torso->alternative)};
        }
        std::vector<PointI> points(std::begin(torso->outer), std::end(torso->outer));
        points.insert(points.end(), std::begin(torso->inner), std::end(torso->inner));
        return points;
    }
    const PointI* inner = nullptr;
    const PointI* outer = nullptr;
    if (const auto* face = dynamic_cast<const FacePrimitive*>(&model)) {
        inner = face->inner, outer = face->outer;
    } else {
        const auto& hand = dynamic_cast<const HandPrimitive&>(model);
        inner = hand.inner, outer = hand.outer;
    }
    std::vector<PointI> points(inner, inner + 4);
    points.insert(points.end(), outer, outer + 4);
    return points;
}

double InnerArea(const Primitive& model) {
    if (const auto* torso = dynamic_cast<const TorsoPrimitive*>(&model)) {
        return torso->innerArea;
    }
    if (const auto* face = dynamic_cast<const FacePrimitive*>(&model)) {
        return face->innerArea;
    }
    return dynamic_cast<const HandPrimitive&>(model).innerArea;
}

TEST(Primitives, OutlinesFollowEachShapesRoundingAndClamping) {
    struct Case {
        const char* what;
        int kind;
        int x, y, size;
        bool alternative;
        std::vector<PointI> points;
        double innerArea;
    };
    const Case cases[] = {
        // s = 11: 0.4·s, 1.4·s and 3.12·s all have fractions below one half, so the + 0.5 of
        // the head column and the top rows moves nl, head and top one pixel.
        {"torso",
         kTorsoKind,
         100,
         80,
         11,
         false,
         {{89, 46},
          {111, 46},
          {111, 46},
          {111, 46},
          {111, 102},
          {89, 102},
          {89, 46},
          {89, 46},
          {96, 65},
          {104, 65},
          {104, 80},
          {111, 80},
          {111, 102},
          {89, 102},
          {89, 80},
          {96, 80}},
         15 * 8 + 22 * 22},
        {"torso at the top-left corner",
         kTorsoKind,
         5,
         10,
         20,
         false,
         {{0, 0},
          {25, 0},
          {25, 0},
          {25, 0},
          {25, 50},
          {0, 50},
          {0, 0},
          {0, 0},
          {0, 0},
          {13, 0},
          {13, 10},
          {25, 10},
          {25, 50},
          {0, 50},
          {0, 10},
          {0, 10}},
         10 * 13 + 40 * 25},
        // The second shape truncates without rounding: column 4·s high, block s deep.
        {"torso, second shape",
         kTorsoKind,
         100,
         80,
         13,
         true,
         {{87, 28},
          {94, 28},
          {105, 28},
          {113, 28},
          {87, 80},
          {94, 80},
          {105, 80},
          {113, 80},
          {87, 93},
          {113, 93}},
         13 * 26 + 52 * 11},
        // s / 3 is not a whole number: 100 -/+ 6.67 truncates to 93 and 106.
        {"face",
         kFaceKind,
         100,
         70,
         20,
         false,
         {{93, 60}, {106, 60}, {106, 80}, {93, 80}, {89, 55}, {110, 55}, {110, 80}, {89, 80}},
         20 * 13},
        {"face at the left edge",
         kFaceKind,
         5,
         70,
         30,
         false,
         {{0, 55}, {15, 55}, {15, 85}, {0, 85}, {0, 47}, {21, 47}, {21, 85}, {0, 85}},
         30 * 15},
        {"hand",
         kHandKind,
         100,
         75,
         30,
         false,
         {{89, 64}, {110, 64}, {110, 85}, {89, 85}, {85, 60}, {115, 60}, {115, 90}, {85, 90}},
         21 * 21},
    };
    for (const Case& c : cases) {
        std::unique_ptr<Primitive> model(CreatePrimitive(kH, c.kind, kW));
        model->x = c.x;
        model->y = c.y;
        model->partSize = c.size;
        model->SetUp(kW, kH);
        if (c.alternative) {
            model->SetUpAlternative(0, kH);  // the width comes from the model itself
        }
        const std::vector<PointI> points = Outline(*model, c.alternative);
        ASSERT_EQ(points.size(), c.points.size()) << c.what;
        for (size_t i = 0; i < points.size(); ++i) {
            EXPECT_EQ(points[i].x, c.points[i].x) << c.what << " point " << i;
            EXPECT_EQ(points[i].y, c.points[i].y) << c.what << " point " << i;
        }
        // Every set-up, the second torso shape's included, writes the inner area.
        EXPECT_EQ(InnerArea(*model), c.innerArea) << c.what;
    }
}

TEST(Primitives, SecondTorsoShapeScoresOneOnExactlyItsInnerRegion) {
    auto torso = Model(kTorsoKind, 100, 80, 13);
    torso->SetUpAlternative(0, kH);
    // Column (94, 105] x (28, 80] on block (87, 113] x (80, 93]: the box sums exclude the first
    // row and column.
    cv::Mat mask = cv::Mat::zeros(kH, kW, CV_8UC1);
    mask(cv::Rect(95, 29, 11, 52)) = 1;
    mask(cv::Rect(88, 81, 26, 13)) = 1;
    const Integral integral = IntegralOf(mask);
    EXPECT_DOUBLE_EQ(torso->ScoreAlternative(integral.data(), kW, 0), 1.0);
    // The ordinary shape, set up again, scores against its own area (856): inside 180 + 338,
    // band 789 - 518.
    torso->SetUp(kW, kH);
    EXPECT_DOUBLE_EQ(torso->Score(integral.data(), kW, kH, 1), (518.0 - 271.0) / 856.0);
}

TEST(Primitives, HandScoresZeroOnAFullMask) {
    const cv::Mat ones(kH, kW, CV_8UC1, cv::Scalar(1));
    const Integral integral = IntegralOf(ones);
    auto hand = Model(kHandKind, 100, 75, 20);
    auto* h = static_cast<HandPrimitive*>(hand.get());
    // 14 x 14 inside, 20 x 20 outside: the band holds 204 against 196.
    EXPECT_EQ(h->innerArea, 196);
    EXPECT_EQ(hand->Score(integral.data(), kW, kH, 1), 0.0);
}

TEST(Primitives, FaceScoresOneOnExactlyItsInnerBox) {
    auto face = Model(kFaceKind, 100, 70, 30);
    auto* f = static_cast<FacePrimitive*>(face.get());
    cv::Mat mask = cv::Mat::zeros(kH, kW, CV_8UC1);
    // The box sum counts x0 < u <= x1, y0 < v <= y1.
    mask(cv::Rect(f->inner[0].x + 1, f->inner[0].y + 1, f->inner[2].x - f->inner[0].x,
                  f->inner[2].y - f->inner[0].y)) = 1;
    const Integral integral = IntegralOf(mask);
    EXPECT_DOUBLE_EQ(face->Score(integral.data(), kW, kH, 1), 1.0);
}

TEST(Primitives, FaceBandIsClippedAtTheLeftEdge) {
    auto face = Model(kFaceKind, 5, 70, 30);
    auto* f = static_cast<FacePrimitive*>(face.get());
    EXPECT_EQ(f->inner[0].x, 0);  // trunc(5 - 10) clamps to 0
    EXPECT_EQ(f->outer[0].x, 0);
    EXPECT_EQ(f->outer[2].y, f->inner[2].y);  // open below
}

TEST(Primitives, FaceSizeFactorAgainstTheReferenceSize) {
    auto face = Model(kFaceKind, 100, 70, 24);
    auto* f = static_cast<FacePrimitive*>(face.get());
    cv::Mat mask = cv::Mat::zeros(kH, kW, CV_8UC1);
    mask(cv::Rect(f->inner[0].x + 1, f->inner[0].y + 1, f->inner[2].x - f->inner[0].x,
                  f->inner[2].y - f->inner[0].y)) = 1;
    const Integral integral = IntegralOf(mask);
    struct Case {
        int size;
        double reference;
        double factor;
    };
    for (const Case& c : {Case{24, 20, 1.2}, Case{24, 1, 1.0}, Case{24, 12, 1.0}}) {
        face->partSize = c.size;
        face->SetUp(kW, kH);
        const double plain = face->Score(integral.data(), kW, kH, 1);
        const double scaled = face->Score(integral.data(), kW, kH, c.reference);
        EXPECT_NEAR(scaled, plain * c.factor, 1e-6) << c.reference;  // ratio 2.0 stays unscaled
        EXPECT_EQ(face->score, scaled);
    }
}

TEST(Primitives, TorsoPrefersAHeadColumnOnShoulders) {
    cv::Mat body = cv::Mat::zeros(kH, kW, CV_8UC1);
    cv::rectangle(body, cv::Rect(80, 60, 41, 90), cv::Scalar(1), cv::FILLED);  // shoulders down
    cv::rectangle(body, cv::Rect(93, 30, 15, 30), cv::Scalar(1), cv::FILLED);  // head and neck
    const Integral integral = IntegralOf(body);
    auto atBody = Model(kTorsoKind, 100, 60, 20);
    auto beside = Model(kTorsoKind, 150, 60, 20);
    const double onBody = atBody->Score(integral.data(), kW, kH, 1);
    EXPECT_GT(onBody, 0.5);
    EXPECT_EQ(beside->Score(integral.data(), kW, kH, 1), 0.0);
    // Any pose scores, even outside the frame.
    auto outside = Model(kTorsoKind, -500, 900, 40);
    EXPECT_EQ(outside->Score(integral.data(), kW, kH, 1), 0.0);
}

TEST(Random, GaussianSamplesAreFiniteAndStreamsRepeat) {
    ParkMiller a, b;
    double sum = 0, squares = 0;
    for (int i = 0; i < 20000; ++i) {
        const float va = a.Gaussian(0, 1), vb = b.Gaussian(0, 1);
        ASSERT_TRUE(std::isfinite(va));
        ASSERT_EQ(va, vb);
        sum += va;
        squares += va * va;
    }
    EXPECT_NEAR(sum / 20000, 0.0, 0.03);
    EXPECT_NEAR(squares / 20000, 1.0, 0.05);
}

TEST(ParticleFilter, InitializeSeedsTheCloudAroundThePose) {
    cv::Mat body = cv::Mat::zeros(kH, kW, CV_8UC1);
    const Integral integral = IntegralOf(body);
    CParticleFilter filter;
    filter.SetFrameSize(kW, kH);
    int x = 100, y = 80, size = 30;
    filter.Initialize(integral.data(), &x, &y, &size);
    EXPECT_EQ(filter.positionSigma, 10);
    EXPECT_FLOAT_EQ(filter.sizeSigma, 1.35f);
    ASSERT_EQ(filter.particles.size(), 500u);
    ASSERT_EQ(filter.copyCounts.size(), 500u);
    EXPECT_EQ(filter.particles[0]->x, 100);
    EXPECT_EQ(filter.particles[0]->y, 80);
    EXPECT_EQ(filter.particles[0]->partSize, 30);
    for (size_t i = 0; i < filter.particles.size(); ++i) {
        EXPECT_FLOAT_EQ(filter.particles[i]->weight, 1.0f);
        EXPECT_EQ(filter.copyCounts[i], 1);
    }

    int small = 6;
    x = 100, y = 80;
    filter.Initialize(integral.data(), &x, &y, &small);
    EXPECT_FLOAT_EQ(filter.sizeSigma, 0.51f);  // the floor, not 0.27
}

TEST(ParticleFilter, PosesOutsideTheFrameClampPositionButNotSize) {
    const Integral integral = IntegralOf(cv::Mat::zeros(kH, kW, CV_8UC1));
    CParticleFilter filter;
    filter.SetFrameSize(kW, kH);
    int x = -40, y = 400, size = -7;
    EXPECT_FALSE(filter.Initialize(integral.data(), &x, &y, &size));
    EXPECT_EQ(filter.particles[0]->x, 0);
    EXPECT_EQ(filter.particles[0]->y, kH - 1);
    EXPECT_EQ(filter.particles[0]->partSize, -7);
    EXPECT_EQ(x, -40);  // a rejected estimate leaves the pose alone
}

TEST(ParticleFilter, EstimateAveragesTheBestTenth) {
    struct Case {
        int count;
        int used;
    };
    for (const Case& c : {Case{9, 3}, Case{2, 2}, Case{25, 2}, Case{3, 3}, Case{1, 1}}) {
        std::vector<std::unique_ptr<Primitive>> owned;
        std::vector<Primitive*> models;
        for (int i = 0; i < c.count; ++i) {
            owned.emplace_back(CreatePrimitive(kH, kHandKind, kW));
            owned.back()->x = 10 * i;
            owned.back()->y = i;
            owned.back()->partSize = 100 + i;
            owned.back()->score = i;  // the last ones are the best
            models.push_back(owned.back().get());
        }
        std::unique_ptr<Primitive> estimate(CreatePrimitive(kH, kHandKind, kW));
        CParticleFilter::EstimateFromBest(models, estimate.get());
        long sx = 0;
        for (int i = c.count - c.used; i < c.count; ++i) {
            sx += 10 * i;
        }
        EXPECT_EQ(estimate->x, sx / c.used) << c.count;
    }
    // Ties: the earlier particle wins.
    EXPECT_EQ(SelectTopScores({1, 5, 5, 2}, 1), std::vector<int>{1});
}

TEST(ParticleFilter, AcceptsAnEstimateExactlyAtTheThreshold) {
    const cv::Mat ones(kH, kW, CV_8UC1, cv::Scalar(1));
    const Integral integral = IntegralOf(ones);
    CParticleFilter filter;
    filter.kind = kHandKind;
    filter.SetFrameSize(kW, kH);
    filter.acceptThreshold = 0.0f;  // the hand scores exactly 0 on a full mask
    int x = 100, y = 75, size = 20;
    EXPECT_TRUE(filter.Initialize(integral.data(), &x, &y, &size));
}

TEST(ParticleFilter, TrackKeepsAboutFiveHundredParticlesAndFollowsABlock) {
    CParticleFilter filter;
    filter.SetFrameSize(kW, kH);
    cv::Mat body = cv::Mat::zeros(kH, kW, CV_8UC1);
    auto draw = [&](int cx) {
        body = 0;
        cv::rectangle(body, cv::Rect(cx - 20, 60, 41, 90), cv::Scalar(1), cv::FILLED);
        cv::rectangle(body, cv::Rect(cx - 7, 30, 15, 30), cv::Scalar(1), cv::FILLED);
    };
    draw(90);
    Integral integral = IntegralOf(body);
    int x = 90, y = 60, size = 20;
    ASSERT_TRUE(filter.Initialize(integral.data(), &x, &y, &size));
    for (int cx = 92; cx <= 110; cx += 2) {
        draw(cx);
        integral = IntegralOf(body);
        ASSERT_TRUE(filter.Track(integral.data(), &x, &y, &size));
        // The children are as many as the copies computed from the previous weights (about
        // 500, whatever the initial count).
        int total = 0;
        for (int c : filter.copyCounts) {
            total += c;
        }
        EXPECT_EQ(static_cast<int>(filter.particles.size()), total);
        EXPECT_NEAR(total, 500, 20);
    }
    EXPECT_NEAR(x, 110, 4);
    EXPECT_NEAR(y, 60, 5);
    EXPECT_NEAR(size, 20, 4);
}

TEST(ParticleFilter, EmptyMaskReseedsWithoutFailingLoudly) {
    CParticleFilter filter;
    filter.SetFrameSize(kW, kH);
    const Integral empty = IntegralOf(cv::Mat::zeros(kH, kW, CV_8UC1));
    int x = 100, y = 75, size = 20;
    EXPECT_FALSE(filter.Initialize(empty.data(), &x, &y, &size));
    EXPECT_FALSE(filter.Track(empty.data(), &x, &y, &size));
    EXPECT_EQ(filter.particles.size(), 500u);  // re-seeded: every particle with one copy
}

TEST(ParticleFilter, TwoFiltersDrawIdenticalStreams) {
    CParticleFilter a, b;
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(a.Gaussian(3, 2), b.Gaussian(3, 2));
    }
}

}  // namespace
}  // namespace olvar
