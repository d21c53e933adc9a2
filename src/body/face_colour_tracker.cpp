#include "body/face_colour_tracker.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "imaging/integral.h"

namespace olvar {
namespace {

// A probe segment from (cx + hx·a1, cy + hx·b1) to (cx + hx·a2, cy + hx·b2): two horizontal
// probes on each side (the centre row and one half-width above), walking in toward the centre
// column, and four vertical probes down through the expected top of the head, 1.25 half-widths
// above the centre.
struct HeadProbe {
    float a1, b1, a2, b2;
};

constexpr HeadProbe kHeadProbes[8] = {
    {-2, 0, 0, 0},
    {2, 0, 0, 0},
    {-2, -1, 0, -1},
    {2, -1, 0, -1},
    {-1, -2.25f, -1, -0.25f},
    {-0.33f, -2.25f, -0.33f, -0.25f},
    {0.33f, -2.25f, 0.33f, -0.25f},
    {1, -2.25f, 1, -0.25f},
};

int ClampInt(int value, int low, int high) {
    return std::max(low, std::min(value, high));
}

// A mask usable by the histogram: none (every pixel counts) or one byte per pixel of the
// colour image's size.
bool MaskFits(const cv::Mat* mask, const cv::Mat& colour) {
    return mask == nullptr || mask->empty() ||
           (mask->type() == CV_8UC1 && mask->size() == colour.size());
}

}  // namespace

SharedRandomLease SharedColourRandom() {
    static std::mutex mutex;
    static ParkMiller shared;
    return SharedRandomLease(mutex, shared);
}

void ColourHistogram(const cv::Mat& colour, const cv::Mat* mask, int cx, int cy, int hx, int hy,
                     float* histogram) {
    std::fill(histogram, histogram + kHistogramBins, 0.0f);
    if (colour.empty() || colour.type() != CV_8UC3 || !MaskFits(mask, colour)) {
        return;
    }
    const int W = colour.cols, H = colour.rows;
    if (cx < 0 || cx > W - 1 || cy < 0 || cy > H - 1 || hx < 1 || hy < 1) {
        return;
    }
    const bool masked = mask != nullptr && !mask->empty();
    // 64-bit: the squared radius and the box bounds stay exact for any half-size. The total is
    // summed in double, exact for every box that fits a frame and free of overflow beyond.
    const int64_t r2 = static_cast<int64_t>(hx) * hx + static_cast<int64_t>(hy) * hy;
    const float fr2 = static_cast<float>(r2);
    double total = 0;
    const int x0 = static_cast<int>(std::max<int64_t>(0, static_cast<int64_t>(cx) - hx));
    const int x1 = static_cast<int>(std::min<int64_t>(W - 1, static_cast<int64_t>(cx) + hx));
    const int y0 = static_cast<int>(std::max<int64_t>(0, static_cast<int64_t>(cy) - hy));
    const int y1 = static_cast<int>(std::min<int64_t>(H - 1, static_cast<int64_t>(cy) + hy));
    for (int row = y0; row <= y1; ++row) {
        const uint8_t* pixels = colour.ptr<uint8_t>(row);
        const uint8_t* maskRow = masked ? mask->ptr<uint8_t>(row) : nullptr;
        const int64_t dy2 = static_cast<int64_t>(row - cy) * (row - cy);
        for (int col = x0; col <= x1; ++col) {
            if (maskRow != nullptr && maskRow[col] == 0) {
                continue;
            }
            const int64_t t = static_cast<int64_t>(col - cx) * (col - cx) + dy2;
            if (t >= r2) {
                continue;
            }
            const uint8_t* p = pixels + 3 * col;  // blue, green, red
            const int bin = (p[2] >> 5) * 64 + (p[1] >> 5) * 8 + (p[0] >> 5);
            histogram[bin] += static_cast<float>(r2 - t) / fr2;
            total += static_cast<double>(r2 - t);
        }
    }
    const float norm = static_cast<float>(total / static_cast<double>(r2));
    if (norm > 0.00001f) {
        for (int i = 0; i < kHistogramBins; ++i) {
            histogram[i] /= norm;
        }
    }
}

float Bhattacharyya(const float* a, const float* b) {
    // Four bins at a time, as four running sums.
    float lanes[4] = {0, 0, 0, 0};
    for (int i = 0; i < kHistogramBins; i += 4) {
        for (int k = 0; k < 4; ++k) {
            lanes[k] += std::sqrt(a[i + k] * b[i + k]);
        }
    }
    return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
}

float HeadOutlineFactor(const cv::Mat& mask, int cx, int cy, int hx) {
    const int W = mask.cols, H = mask.rows;
    // exp(-G² / (hx/2)²): with hx = 0 every probe is a single pixel, never hits, and the
    // contribution is its floor 0.5.
    const float halfSquared = (hx / 2.0f) * (hx / 2.0f);
    float factor = 1.0f;
    for (const HeadProbe& probe : kHeadProbes) {
        const float o = static_cast<float>(hx);
        const int x0 = ClampInt(TruncToInt(cx + o * probe.a1), 0, W - 1);
        const int y0 = ClampInt(TruncToInt(cy + o * probe.b1), 0, H - 1);
        const int x1 = ClampInt(TruncToInt(cx + o * probe.a2), 0, W - 1);
        const int y1 = ClampInt(TruncToInt(cy + o * probe.b2), 0, H - 1);
        const int g = TruncToInt(LineHitDistance(mask, x0, y0, x1, y1));
        const float closeness =
            halfSquared > 0 ? std::exp(-static_cast<float>(g * g) / halfSquared) : 0.0f;
        factor *= closeness * 1.5f + 0.5f;
    }
    return factor;
}

ColourStep ReportColourEstimate(const FaceParticle& estimate, float bestWeight, float minWeight,
                                int width, int height) {
    ColourStep step;
    step.x = estimate.x;
    step.y = estimate.y;
    step.hx = estimate.hx;
    // A box much taller than wide is no face: cap the height at four half-widths.
    step.hy =
        static_cast<int>(std::min<int64_t>(estimate.hy, 4 * static_cast<int64_t>(estimate.hx)));
    step.bestWeight = bestWeight;
    const bool inside = step.x >= 0 && step.x < width && step.y >= 0 && step.y < height;
    const bool valid = inside && step.hx > 0 && step.hy > 0 && bestWeight >= minWeight;
    step.status = valid ? 1 : -1;
    return step;
}

FaceColourTracker::FaceColourTracker() {
    SharedColourRandom()->Reseed();
}

bool FaceColourTracker::FrameUsable(const cv::Mat& colour, int width, int height) const {
    return !colour.empty() && colour.type() == CV_8UC3 && colour.cols == width &&
           colour.rows == height && MaskFits(mask, colour);
}

void FaceColourTracker::StartColourTracker(int x, int y, int hx, int hy, const cv::Mat& colour,
                                           int width, int height) {
    if (FrameUsable(colour, width, height)) {
        ColourHistogram(colour, mask, x, y, hx, hy, referenceHistogram);
    } else {
        std::fill(referenceHistogram, referenceHistogram + kHistogramBins, 0.0f);
    }
    faceParticles[0] = {x, y, 0, 0, hx, hy, 0};
    const SharedRandomLease random = SharedColourRandom();
    for (int i = 1; i < kParticles; ++i) {
        float c[7];
        for (float& sample : c) {
            sample = random->Cauchy(spread);
        }
        FaceParticle& p = faceParticles[i];
        p.x = TruncToInt(hx * c[0] + x);
        p.y = TruncToInt(hy * c[1] + y);
        p.vx = velocityNoise * c[2];
        p.vy = velocityNoise * c[3];
        const float h = sizeNoise * c[4] + hx;  // c[5] is drawn and not used
        p.hx = TruncToInt(h);
        p.hy = TruncToInt(1.25 * h);
        p.rate = rateNoise * c[6];
    }
    std::fill(particleWeights, particleWeights + kParticles, 1.0f / kParticles);
    faceEstimate = faceParticles[0];
}

void FaceColourTracker::Resample() {
    // Cumulative distribution of the last weights; without any weight every particle is
    // equally likely.
    float total = 0;
    for (float w : particleWeights) {
        total += w;
    }
    float cdf[kParticles + 1];
    cdf[0] = 0;
    float running = 0;
    for (int i = 0; i < kParticles; ++i) {
        running += particleWeights[i];
        cdf[i + 1] = total > 0 ? running / total : static_cast<float>(i + 1) / kParticles;
    }
    cdf[kParticles] = 1;

    FaceParticle parents[kParticles];
    std::memcpy(parents, faceParticles, sizeof(parents));
    const SharedRandomLease random = SharedColourRandom();
    random->Uniform();  // the first draw is not used
    faceParticles[0] = faceEstimate;
    for (int i = 1; i < kParticles; ++i) {
        const float u = random->Uniform();
        // The k with cdf[k] <= u < cdf[k + 1]; a draw at or beyond the last entry takes the
        // last particle.
        const int above = static_cast<int>(std::upper_bound(cdf, cdf + kParticles + 1, u) - cdf);
        const int k = std::min(std::max(above - 1, 0), kParticles - 1);
        faceParticles[i] = parents[k];
    }
}

void FaceColourTracker::Predict() {
    const SharedRandomLease random = SharedColourRandom();
    for (FaceParticle& p : faceParticles) {
        const float a = random->Gaussian(0, 2 * spread);
        float z[7];
        for (int k = 1; k <= 6; ++k) {
            z[k] = random->Gaussian(0, spread);
        }
        p.x = TruncToInt(velocityGain * p.vx + p.x + p.hx * a + 0.5);
        p.y = TruncToInt(velocityGain * p.vy + p.y + p.hy * z[1] + 0.5);
        p.vx += velocityNoise * z[2];
        p.vy += velocityNoise * z[3];
        const float c = p.hx + p.hx * p.rate + sizeNoise * z[4];  // z[5] is not used
        p.hx = TruncToInt(c + 0.5);
        p.hy = TruncToInt(1.25 * c + 0.5);
        p.rate += rateNoise * z[6];
    }
}

float FaceColourTracker::Measure(const cv::Mat& colour) {
    static const cv::Mat kNoMask;
    const cv::Mat& outline = (mask != nullptr) ? *mask : kNoMask;
    float best = 0;
    for (int i = 0; i < kParticles; ++i) {
        const FaceParticle& p = faceParticles[i];
        ColourHistogram(colour, mask, p.x, p.y, p.hx, p.hy, candidateHistogram);
        const float rho = Bhattacharyya(referenceHistogram, candidateHistogram);
        particleWeights[i] =
            std::exp(-50.0f * (1.0f - rho)) * HeadOutlineFactor(outline, p.x, p.y, p.hx);
        best = std::max(best, particleWeights[i]);
    }
    return best;
}

void FaceColourTracker::EstimateFromWeights() {
    double sum = 0, x = 0, y = 0, vx = 0, vy = 0, hx = 0, hy = 0, rate = 0;
    for (int i = 0; i < kParticles; ++i) {
        const FaceParticle& p = faceParticles[i];
        const double w = particleWeights[i];
        sum += w;
        x += w * p.x;
        y += w * p.y;
        vx += w * p.vx;
        vy += w * p.vy;
        hx += w * p.hx;
        hy += w * p.hy;
        rate += w * p.rate;
    }
    if (sum <= 0) {
        sum = 1;
    }
    faceEstimate.x = TruncToInt(x / sum + 0.5);
    faceEstimate.y = TruncToInt(y / sum + 0.5);
    faceEstimate.vx = static_cast<float>(vx / sum);
    faceEstimate.vy = static_cast<float>(vy / sum);
    faceEstimate.hx = TruncToInt(hx / sum + 0.5);
    faceEstimate.hy = TruncToInt(hy / sum + 0.5);
    faceEstimate.rate = static_cast<float>(rate / sum);
}

ColourStep FaceColourTracker::StepColourTracker(const cv::Mat& colour, int width, int height) {
    if (!FrameUsable(colour, width, height)) {
        return ReportColourEstimate(faceEstimate, 0.0f, minWeight, 0, 0);  // status -1
    }
    FaceParticle savedParticles[kParticles];
    float savedWeights[kParticles];
    std::memcpy(savedParticles, faceParticles, sizeof(savedParticles));
    std::memcpy(savedWeights, particleWeights, sizeof(savedWeights));

    Resample();
    Predict();
    const float best = Measure(colour);
    EstimateFromWeights();
    const ColourStep step = ReportColourEstimate(faceEstimate, best, minWeight, width, height);
    if (!(best >= minWeight)) {
        // Every particle drifted off the face: keep the set that still held it.
        std::memcpy(faceParticles, savedParticles, sizeof(savedParticles));
        std::memcpy(particleWeights, savedWeights, sizeof(savedWeights));
    }
    return step;
}

}  // namespace olvar
