// Park–Miller minimal-standard random numbers with polar-method normal samples.
//
// Every random stream of the trackers is one ParkMiller state: one per particle filter, one per
// palm tracker, and one shared by all face colour trackers. A uniform is the new state times
// 2^-31 (as a float, so it lies in (0, 1]: the largest states round up to 1); normal samples use
// Marsaglia's polar method in single precision and discard the second value.
#ifndef OLVAR_BODY_RANDOM_H
#define OLVAR_BODY_RANDOM_H

#include <cstdint>

namespace olvar {

// One step of the polar method on a pair of uniforms: with p = 2·u1 - 1, q = 2·u2 - 1 and
// s = p² + q², writes the standard normal sample p·sqrt(-2·ln(s) / s) and returns true, or returns
// false when the pair must be redrawn: outside the unit disc (s > 1) or at its centre (s = 0, where
// the logarithm is undefined). Single-precision throughout; q is discarded.
bool PolarStep(float u1, float u2, float* standard);

class ParkMiller {
  public:
    static constexpr int32_t kSeed = 802163120;

    explicit ParkMiller(int32_t seed = kSeed) : state_(seed) {}

    void Reseed(int32_t seed = kSeed) { state_ = seed; }
    int32_t State() const { return state_; }

    // Advances the state (Schrage's form of 16807 * state mod 2^31 - 1) and returns it.
    int32_t Next();
    // The next state scaled by 2^-31.
    float Uniform();
    // mean + sigma * a standard normal sample (polar method). A draw with p^2 + q^2 = 0 is
    // redrawn, so the logarithm is never taken of 0.
    float Gaussian(float mean, float sigma);
    // spread * tan((u - 0.5) * pi): one state update per sample.
    float Cauchy(float spread);

  private:
    int32_t state_;
};

}  // namespace olvar

#endif  // OLVAR_BODY_RANDOM_H
