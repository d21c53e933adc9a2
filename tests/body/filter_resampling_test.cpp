// One tracking step of the particle filter, followed in detail: the copies come from the scores
// of the previous frame normalised over the cloud, the children inherit their parent's weight and
// stay near it, and face-kind children are scored against the previous estimate's size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "body/particle_filter.h"
#include "body/random.h"
#include "imaging/integral.h"

#include "body_masks.h"

namespace olvar {
namespace {

using test_masks::Body;
using test_masks::IntegralOf;
using test_masks::kH;
using test_masks::kW;

// A particle of the previous generation with the weight and copies it passes on.
struct Parent {
    int x, y, size;
    float weight;
    int copies;
};

TEST(FilterResampling, CopiesFollowThePreviousScoresAndChildrenInheritTheWeight) {
    const Integral integral = IntegralOf(Body(100, 60, 20));
    CParticleFilter filter;
    filter.SetFrameSize(kW, kH);
    int x = 100, y = 60, size = 20;
    ASSERT_TRUE(filter.Initialize(integral.data(), &x, &y, &size));

    // All weights are 1 after a start, so the new weights are the scores over their sum.
    std::vector<Parent> parents;
    double scoreSum = 0;
    for (const auto& p : filter.particles) {
        scoreSum += p->score;
    }
    int total = 0;
    for (const auto& p : filter.particles) {
        const float weight = static_cast<float>(p->score / scoreSum);
        const int copies = static_cast<int>(weight * 500.0 + 0.5);
        parents.push_back({p->x, p->y, p->partSize, weight, copies});
        total += copies;
    }
    ASSERT_GE(total, 125);

    filter.Track(integral.data(), &x, &y, &size);
    ASSERT_EQ(filter.copyCounts.size(), parents.size());
    ASSERT_EQ(filter.particles.size(), static_cast<size_t>(total));
    size_t child = 0;
    for (size_t k = 0; k < parents.size(); ++k) {
        EXPECT_EQ(filter.copyCounts[k], parents[k].copies) << k;
        // Children of parent k follow each other, within six sigma of it: vertical sigma
        // trunc(0.2 * size), twice that sideways, size sigma max(0.5, 0.04 * size).
        const Parent& parent = parents[k];
        const int sigma = static_cast<int>(0.2 * parent.size);
        const double sizeSigma = std::max(0.5, 0.04 * parent.size);
        for (int c = 0; c < parent.copies; ++c, ++child) {
            const Primitive& p = *filter.particles[child];
            EXPECT_FLOAT_EQ(p.weight, parent.weight) << k;
            EXPECT_LE(std::abs(p.x - parent.x), 6 * 2 * sigma) << k;
            EXPECT_LE(std::abs(p.y - parent.y), 6 * sigma) << k;
            EXPECT_LE(std::abs(p.partSize - parent.size), 6 * sizeSigma) << k;
        }
    }
}

TEST(FilterResampling, FaceChildrenAreScoredAgainstThePreviousEstimateSize) {
    const Integral integral = IntegralOf(Body(100, 60, 20));
    struct Case {
        bool useReferenceSize;
    };
    for (const Case& c : {Case{true}, Case{false}}) {
        CParticleFilter filter;
        filter.kind = kFaceKind;
        filter.acceptThreshold = 0.2f;
        filter.useReferenceSize = c.useReferenceSize;
        filter.SetFrameSize(kW, kH);
        int x = 100, y = 30, size = 20;
        filter.Initialize(integral.data(), &x, &y, &size);
        const int previousSize = filter.estimate->partSize;
        filter.Track(integral.data(), &x, &y, &size);
        const double reference = c.useReferenceSize ? previousSize : 1.0;
        int scaled = 0;
        for (const auto& p : filter.particles) {
            std::unique_ptr<Primitive> copy(CreatePrimitive(kH, kFaceKind, kW));
            copy->x = p->x;
            copy->y = p->y;
            copy->partSize = p->partSize;
            copy->SetUp(kW, kH);
            ASSERT_EQ(copy->Score(integral.data(), kW, kH, reference), p->score);
            scaled += copy->Score(integral.data(), kW, kH, 1) != p->score;
        }
        // With the reference, most children differ from their unscaled score.
        EXPECT_EQ(scaled > 0, c.useReferenceSize);
    }
}

// The copies each particle gets from its weight and the score of the previous frame: the products
// weight x score over the weight total, normalised, times 500, rounded.
std::vector<int> ExpectedCopies(const CParticleFilter& filter, std::vector<float>* weights) {
    double weightSum = 0;
    for (const auto& p : filter.particles) {
        weightSum += p->weight;
    }
    std::vector<double> products;
    double productSum = 0;
    for (const auto& p : filter.particles) {
        products.push_back(p->weight * p->score / weightSum);
        productSum += products.back();
    }
    std::vector<int> copies;
    weights->clear();
    for (double product : products) {
        weights->push_back(static_cast<float>(product / productSum));
        copies.push_back(static_cast<int>(weights->back() * 500.0f + 0.5));
    }
    return copies;
}

TEST(FilterResampling, DrawsFollowTheStreamInOrderWithTheNoiseOfEachKind) {
    // A replica of the filter's stream predicts every particle: a start draws dx, dy, ds per
    // particle (position sigma size / 3, or size / 2 for hands); a step draws x, y, size per
    // child (sideways twice the vertical sigma, which is trunc(0.2 * parent size), or
    // trunc(0.5 * parent size) for hands; size sigma 0.04 * parent size with a floor).
    struct Case {
        int kind;
        int startDivisor;
        double stepFactor;
        float stepSizeFloor;
    };
    const Case cases[] = {
        {kTorsoKind, 3, 0.2, 0.5f},
        {kFaceKind, 3, 0.2, 0.5f},
        {kHandKind, 2, 0.5, 0.51f},
    };
    const Integral integral = IntegralOf(Body(100, 60, 20));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind);
        CParticleFilter filter;
        filter.kind = c.kind;
        filter.acceptThreshold = 0;
        filter.SetFrameSize(kW, kH);
        ParkMiller replica;

        // Two starts: one at the corner of the frame (positions clamp, sizes do not), one on
        // the body. The stream runs on from the first to the second.
        const struct { int x, y, size; } starts[] = {{3, 146, 31}, {100, 70, 31}};
        int x = 0, y = 0, size = 0;
        for (const auto& start : starts) {
            x = start.x, y = start.y, size = start.size;
            filter.Initialize(integral.data(), &x, &y, &size);
            const float sigma = static_cast<float>(start.size / c.startDivisor);
            const float sizeSigma = std::max(0.51f, static_cast<float>(0.045 * start.size));
            EXPECT_EQ(filter.positionSigma, start.size / c.startDivisor);
            EXPECT_EQ(filter.sizeSigma, sizeSigma);
            ASSERT_EQ(filter.particles.size(), 500u);
            for (size_t i = 1; i < filter.particles.size(); ++i) {
                const float dx = replica.Gaussian(0, sigma);
                const float dy = replica.Gaussian(0, sigma);
                const float ds = replica.Gaussian(0, sizeSigma);
                const Primitive& p = *filter.particles[i];
                ASSERT_EQ(p.partSize, static_cast<int>(start.size + ds)) << i;
                ASSERT_EQ(p.y, std::clamp(static_cast<int>(start.y + dy), 0, kH - 1)) << i;
                ASSERT_EQ(p.x, std::clamp(static_cast<int>(start.x + dx), 0, kW - 1)) << i;
            }
        }

        // Two steps: the second re-weights with weights that are no longer all 1.
        for (int step = 0; step < 2; ++step) {
            SCOPED_TRACE(testing::Message() << "step " << step);
            std::vector<float> weights;
            const std::vector<int> copies = ExpectedCopies(filter, &weights);
            int total = 0;
            for (int n : copies) {
                total += n;
            }
            ASSERT_GE(total, 125) << "the cloud would be re-seeded";
            std::vector<Parent> parents;
            for (size_t k = 0; k < filter.particles.size(); ++k) {
                const Primitive& p = *filter.particles[k];
                parents.push_back({p.x, p.y, p.partSize, weights[k], copies[k]});
            }
            filter.Track(integral.data(), &x, &y, &size);
            ASSERT_EQ(filter.copyCounts, copies);
            ASSERT_EQ(filter.particles.size(), static_cast<size_t>(total));
            size_t child = 0;
            for (const Parent& parent : parents) {
                const int sigma = static_cast<int>(c.stepFactor * parent.size);
                const float sizeSigma =
                    std::max(c.stepSizeFloor, static_cast<float>(0.04 * parent.size));
                for (int n = 0; n < parent.copies; ++n, ++child) {
                    const int cx = parent.x + static_cast<int>(replica.Gaussian(0, 2.0f * sigma));
                    const int cy = parent.y + static_cast<int>(replica.Gaussian(0, sigma));
                    const int cs = parent.size + static_cast<int>(replica.Gaussian(0, sizeSigma));
                    const Primitive& p = *filter.particles[child];
                    ASSERT_EQ(p.x, cx) << child;
                    ASSERT_EQ(p.y, cy) << child;
                    ASSERT_EQ(p.partSize, cs) << child;
                    ASSERT_EQ(p.weight, parent.weight) << child;
                }
            }
        }
        EXPECT_EQ(filter.random.State(), replica.State()) << "no draw left over";
    }
}

}  // namespace
}  // namespace olvar
