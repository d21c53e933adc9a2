#include "body/random.h"

#include <cmath>

namespace olvar {

int32_t ParkMiller::Next() {
    const int32_t hi = state_ / 127773;
    const int32_t lo = state_ % 127773;
    int32_t next = 16807 * lo - 2836 * hi;
    if (next < 0) {
        next += 2147483647;
    }
    state_ = next;
    return next;
}

float ParkMiller::Uniform() {
    return static_cast<float>(Next()) * 4.656612873077393e-10f;
}

bool PolarStep(float u1, float u2, float* standard) {
    const float p = 2.0f * u1 - 1.0f;
    const float q = 2.0f * u2 - 1.0f;
    const float s = p * p + q * q;
    if (s > 1.0f || s == 0.0f) {
        return false;
    }
    const float factor = std::sqrt(-2.0f * std::log(s) / s);
    *standard = p * factor;
    return true;
}

float ParkMiller::Gaussian(float mean, float sigma) {
    float standard = 0;
    for (;;) {
        // The two uniforms are drawn in this order (not as arguments, whose order is unspecified).
        const float u1 = Uniform();
        const float u2 = Uniform();
        if (PolarStep(u1, u2, &standard)) {
            break;
        }
    }
    return standard * sigma + mean;
}

float ParkMiller::Cauchy(float spread) {
    const float u = Uniform();
    return spread * std::tan((u - 0.5f) * 3.14159265358979323846f);
}

}  // namespace olvar
