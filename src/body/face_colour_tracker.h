// Face colour tracker: a small particle filter over face boxes (position, velocity, half-width,
// half-height, growth rate), weighted by the similarity of the colour histogram under each box
// to a reference histogram and by how well the silhouette's outline sits where a head outline is
// expected. Only foreground pixels count.
#ifndef OLVAR_BODY_FACE_COLOUR_TRACKER_H
#define OLVAR_BODY_FACE_COLOUR_TRACKER_H

#include <mutex>

#include <opencv2/core.hpp>

#include "body/random.h"

namespace olvar {

constexpr int kHistogramBins = 512;

// 512-bin colour histogram (8 levels per channel) of the box (cx ± hx, cy ± hy) of a BGR image
// with row stride 3 * width, each pixel weighted by (R² - t)/R² with t its squared distance from
// the centre and R² = hx² + hy². Only pixels whose mask byte is non-zero count; a null mask
// counts every pixel. Normalised to sum 1 unless empty.
void ColourHistogram(const cv::Mat& colour, const cv::Mat* mask, int cx, int cy, int hx, int hy,
                     float* histogram);

// Bhattacharyya coefficient of two 512-bin histograms.
float Bhattacharyya(const float* a, const float* b);

// How well a mask's outline sits where a head of half-width hx centred at (cx, cy) would have
// it: eight probe segments (the head's sides on the centre row and one half-width above, its top
// 1.25 half-widths above the centre) each contribute 0.5 (no outline near the segment's
// midpoint) to 2.0 (outline exactly there), and the factor is their product. An empty mask
// counts as having no outline.
float HeadOutlineFactor(const cv::Mat& mask, int cx, int cy, int hx);

// Exclusive use of the random stream that all face colour trackers of the process share.
// Trackers on different threads take turns for whole batches of draws (one start, one
// resampling, one prediction); within a batch the stream runs as on one thread. Hold a lease
// only for one batch: the lock is not recursive.
class SharedRandomLease {
  public:
    SharedRandomLease(std::mutex& mutex, ParkMiller& stream) : lock_(mutex), stream_(stream) {}
    ParkMiller* operator->() const { return &stream_; }
    ParkMiller& operator*() const { return stream_; }

  private:
    std::unique_lock<std::mutex> lock_;
    ParkMiller& stream_;
};

SharedRandomLease SharedColourRandom();

struct FaceParticle {
    int x;
    int y;
    float vx;
    float vy;
    int hx;      // half-width
    int hy;      // half-height
    float rate;  // relative growth of the box per step
};
static_assert(sizeof(FaceParticle) == 28, "seven 4-byte fields");

struct ColourStep {
    int status;  // 1 valid, -1 invalid
    int x, y, hx, hy;
    float bestWeight;
};

// The step's report of an estimate: hy capped at 4 hx; valid when the centre lies in the W x H
// frame, both half-sizes are positive and the best weight reaches minWeight.
ColourStep ReportColourEstimate(const FaceParticle& estimate, float bestWeight, float minWeight,
                                int width, int height);

class FaceColourTracker {
  public:
    static constexpr int kParticles = 75;

    // Resets the shared random stream.
    FaceColourTracker();

    // Takes the reference histogram of the box (x ± hx, y ± hy) and scatters the particles
    // around it. A colour image that is not W x H with 3 bytes per pixel gives an empty
    // reference (nothing will match it).
    void StartColourTracker(int x, int y, int hx, int hy, const cv::Mat& colour, int width,
                            int height);
    // One frame: resample, predict, measure, estimate. When even the best particle matches
    // below minWeight the particle set is put back as it was. A colour image or mask of the
    // wrong size or type gives status -1 and leaves the tracker untouched.
    ColourStep StepColourTracker(const cv::Mat& colour, int width, int height);

    float velocityGain = 0.2f;
    float velocityNoise = 20.0f;
    float sizeNoise = 0.02f;
    float rateNoise = 0.002f;
    int particleCount = kParticles;
    alignas(16) float referenceHistogram[kHistogramBins] = {};
    alignas(16) float candidateHistogram[kHistogramBins] = {};
    FaceParticle faceParticles[kParticles] = {};
    alignas(16) float particleWeights[kParticles] = {};
    int binCount = kHistogramBins;
    float minWeight = 0.0001f;
    float spread = 0.5f;
    const cv::Mat* mask = nullptr;  // foreground mask, set before every call
    FaceParticle faceEstimate = {};

  private:
    bool FrameUsable(const cv::Mat& colour, int width, int height) const;
    void Resample();
    void Predict();
    // Weighs every particle; returns the largest weight.
    float Measure(const cv::Mat& colour);
    void EstimateFromWeights();
};

}  // namespace olvar

#endif  // OLVAR_BODY_FACE_COLOUR_TRACKER_H
