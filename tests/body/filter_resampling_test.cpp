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
#include "imaging/integral.h"

#include "body_masks.h"

namespace olvar {
namespace {

using test_masks::Body;
using test_masks::IntegralOf;
using test_masks::kH;
using test_masks::kW;

TEST(FilterResampling, CopiesFollowThePreviousScoresAndChildrenInheritTheWeight) {
    const Integral integral = IntegralOf(Body(100, 60, 20));
    CParticleFilter filter;
    filter.SetFrameSize(kW, kH);
    int x = 100, y = 60, size = 20;
    ASSERT_TRUE(filter.Initialize(integral.data(), &x, &y, &size));

    // All weights are 1 after a start, so the new weights are the scores over their sum.
    struct Parent {
        int x, y, size;
        float weight;
        int copies;
    };
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

}  // namespace
}  // namespace olvar
