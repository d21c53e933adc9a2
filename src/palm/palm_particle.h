// The palm particle tracker: a cloud of weighted palm poses (centre, radius, in-plane angle)
// scored by laying the hand outline over the hand mask and the edge map.
//
// Each sample's likelihood is the product, over 13 lines normal to the palm part of the outline,
// of a Gaussian-shaped term in the distance from the line's midpoint to the first mask boundary
// on it, plus (once a previous hand model exists) a finger term that bends the outline's fingers
// to the previous fit and measures them on the edge map and the mask. A frame is one
// PartitionParticle::Step: resample on the last weights, predict with second-order dynamics
// (a tenth of the cloud re-seeded around the best sample, another tenth around the reference
// pose the caller keeps), weigh, estimate from the 25 best samples.
//
// Requires: Seed before the first Step (a Step on an unseeded tracker reports the palm lost), a
// count of at least 100 at Seed (smaller clouds shrink the re-seeded ranges to what exists).
// Ensures: all reads stay inside the mask and the edge map; one random stream per tracker, drawn
// in a fixed order, so equal inputs give bit-identical estimates.
#ifndef OLVAR_PALM_PALM_PARTICLE_H
#define OLVAR_PALM_PALM_PARTICLE_H

#include <cstdint>
#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "body/random.h"
#include "imaging/integral.h"
#include "palm/bspline.h"
#include "palm/hand_model.h"

namespace olvar {

struct PalmSample {
    float x = 0, y = 0;    // palm centre
    float scale = 0;       // palm radius (the outline is drawn at twice this)
    float angle = 0;       // palm direction
    float x2 = 0, y2 = 0;  // centre two steps back
    float x1 = 0, y1 = 0;  // centre one step back
};

class BaseParticle {
  public:
    BaseParticle() = default;
    virtual ~BaseParticle() = default;
    BaseParticle(const BaseParticle&) = delete;
    BaseParticle& operator=(const BaseParticle&) = delete;
};

// The cumulative sums c0 = 0, c(i+1) = ci + weight i, divided by the total; empty when the total
// is not positive (nothing to normalise by: every draw then takes sample 0).
std::vector<double> NormalisedCumulative(const std::vector<float>& weights);
// The index i with c_i <= u < c_(i+1) of normalised cumulative sums (0 when no interval holds u,
// and for empty sums; an index past the last sample becomes the last sample).
int DrawIndex(const std::vector<double>& cumulative, float u);

// The gain of a sample's motion noise from its normalised weight: 0.5 below 0.08, 1.75 above
// 0.54, else 1.
double MotionGain(float normWeight);

// Distance from the midpoint ((ax + bx) >> 1, (ay + by) >> 1) of a line to the nearest non-zero
// pixel of the image on it, looking toward B first and then toward A (a strictly closer hit
// toward A wins); 10 when there is none. Pixels outside the image count as 0.
int NearestEdgeDistance(const cv::Mat& image, const LineEnds& line);

class PalmParticle : public BaseParticle {
  public:
    static constexpr int kDefaultCount = 250;
    static constexpr int kEstimateSamples = 25;

    PalmParticle();
    ~PalmParticle() override;

    // Starts a new track around the pose: sample 0 is the pose itself.
    void Seed(int x, int y, double scale, double angle);

    // Frame inputs: the hand mask and the edge map, both single-channel 8-bit of one size.
    void SetFrame(const cv::Mat* mask, const cv::Mat* edges);

    // The steps of one frame, in this order.
    void Resample();
    void Predict();
    void Weigh(int mode, const HandModel& previous);
    bool Estimate();
    void CheckFingers(const HandModel& previous);

    // Scoring.
    double SampleLikelihood(const PalmSample& sample, const HandModel& previous);
    double FingerTerm(const HandModel& previous);
    double FingerScore(int finger, int lineLength, const HandModel& previous);
    double FingerEdgeScore(int visibility, int finger);
    double FingerMaskScore(int visibility, int finger);

    float DrawNormal(float mean, float sigma) { return rng.Gaussian(mean, sigma); }
    float NextUniform() { return rng.Uniform(); }

    int count = kDefaultCount;
    ParkMiller rng;
    const cv::Mat* mask = nullptr;
    const cv::Mat* edges = nullptr;
    int width = 0, height = 0, stride = 0;
    std::vector<std::unique_ptr<PalmSample>> samples;
    std::vector<float> weights;
    std::vector<float> normWeights;
    PalmSample estimate;
    PalmSample best;
    BSpline outline;
    float angleSigma = 0.2f;
    float scaleSigma = 3.0f;
    int outlineMode = 5;
    bool fingerTermOn = true;
    double refAngle = 0, refX = 0, refY = 0, refScale = 0;

  private:
    // The line normal to segment s, clamped into the frame.
    LineEnds ClampedNormalLine(int segment) const;
    double OutlineProduct();
    double MeasureFinger(int visibility, int finger, bool onEdges);
    struct PoseCentre {
        double x, y, scale, angle;
    };
    // Replaces samples first..last (those that exist) by the centre's pose with its centre
    // spread by scale * N(0, sigma); four draws each, only two of them used.
    void ReplaceAround(int first, int last, const PoseCentre& centre, float sigma);
};

class PartitionParticle {
  public:
    PartitionParticle();
    virtual ~PartitionParticle();
    PartitionParticle(const PartitionParticle&) = delete;
    PartitionParticle& operator=(const PartitionParticle&) = delete;

    // One frame: 0 when the palm is followed, 10 when it is lost, 12 when the mask is missing
    // or the edge map does not match it. The integral and the colour frame are kept for the
    // caller's later steps; the tracker itself reads the mask and the edge map only.
    int Step(const cv::Mat& handMask, const Integral& handMaskIntegral, const cv::Mat& colourFrame,
             const cv::Mat& edgeMap, int mode, const HandModel& previous);

    PalmParticle& Tracker() { return *tracker_; }
    const PalmParticle& Tracker() const { return *tracker_; }

  private:
    std::unique_ptr<PalmParticle> tracker_;
    const cv::Mat* handMask_ = nullptr;
    const Integral* handMaskIntegral_ = nullptr;
    const cv::Mat* colourFrame_ = nullptr;
    const cv::Mat* edgeMap_ = nullptr;
};

}  // namespace olvar

#endif  // OLVAR_PALM_PALM_PARTICLE_H
