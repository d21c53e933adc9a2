// Body-part models and the particle filter on small masks.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

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
