// The Park-Miller stream shared by every tracker: known states, uniforms scaled by 2^-31, polar
// normal samples (with the redraw at the centre of the disc) and Cauchy samples, checked against
// values computed independently of this code.
#include <gtest/gtest.h>

#include <cmath>

#include "body/random.h"

namespace olvar {
namespace {

TEST(ParkMiller, StatesFollowTheMinimalStandardGenerator) {
    // The published check of the minimal standard generator: from seed 1, the 10 000th state.
    ParkMiller fromOne(1);
    int32_t state = 0;
    for (int i = 0; i < 10000; ++i) {
        state = fromOne.Next();
    }
    EXPECT_EQ(state, 1043618065);

    ParkMiller tracker;  // the trackers' seed 802163120
    EXPECT_EQ(tracker.Next(), 53221974);
    EXPECT_EQ(tracker.Next(), 1148519866);
    EXPECT_EQ(tracker.Next(), 1590368626);
}

TEST(ParkMiller, UniformIsTheNextStateTimesTwoToTheMinus31) {
    ParkMiller a, b;
    for (int i = 0; i < 1000; ++i) {
        const float expected = std::ldexp(static_cast<float>(b.Next()), -31);
        ASSERT_EQ(a.Uniform(), expected) << i;
    }
    ParkMiller first;
    EXPECT_FLOAT_EQ(first.Uniform(), 0.0247834139f);
    EXPECT_FLOAT_EQ(first.Uniform(), 0.534821212f);
}

TEST(ParkMiller, GaussianAndCauchySamplesMatchAnIndependentComputation) {
    // First normal samples of the trackers' stream: p of each accepted pair, single precision.
    const float normals[] = {-0.437734246f, 0.595711172f, -0.141142666f,
                             -0.820078135f, -1.33869648f, 0.131792217f};
    ParkMiller stream;
    for (float expected : normals) {
        EXPECT_NEAR(stream.Gaussian(0, 1), expected, 2e-6f);
    }
    ParkMiller scaled;
    EXPECT_NEAR(scaled.Gaussian(3, 2), 3 + 2 * normals[0], 4e-6f);

    // Cauchy: spread * tan((u - 0.5) * pi), one state update per sample.
    const float cauchy[] = {-6.40885401f, 0.0549162701f, 0.471228242f};
    ParkMiller heavy;
    for (float expected : cauchy) {
        EXPECT_NEAR(heavy.Cauchy(0.5f), expected, std::fabs(expected) * 1e-5f);
    }
}

TEST(ParkMiller, PolarStepRedrawsOutsideTheDiscAndAtItsCentre) {
    struct Case {
        float u1, u2;
        bool accepted;
        float standard;
    };
    const Case cases[] = {
        {0.5f, 0.5f, false, 0},             // s = 0: ln 0 would be taken, so redraw
        {0.95f, 0.95f, false, 0},           // s > 1
        {1.0f, 0.5f, true, 0},              // s = 1 is accepted, ln 1 = 0
        {0.75f, 0.5f, true, 1.66510922f},   // p = 0.5, s = 0.25
        {0.25f, 0.5f, true, -1.66510922f},  // only p is used
        {0.5f, 0.8f, true, 0},              // p = 0 with s > 0: a finite zero
    };
    for (const Case& c : cases) {
        float standard = 12345;
        EXPECT_EQ(PolarStep(c.u1, c.u2, &standard), c.accepted) << c.u1 << ", " << c.u2;
        if (c.accepted) {
            EXPECT_NEAR(standard, c.standard, 1e-5f) << c.u1 << ", " << c.u2;
        } else {
            EXPECT_EQ(standard, 12345) << "a rejected pair writes nothing";
        }
    }
}

}  // namespace
}  // namespace olvar
