// Particle filter over body-part models: a cloud of weighted pose hypotheses (x, y, size) that
// follows one body part from frame to frame on the integral array of a 0/1 mask.
//
// A step re-weights the particles by the scores they got on the previous frame, resamples them
// (about 500 children in all, in proportion to the weights), diffuses the children with noise
// that grows with their size (twice as much sideways as vertically), scores them on the current
// frame and takes the integer mean pose of the best tenth as the estimate. The part counts as
// found while the estimate scores at least `acceptThreshold`. A degenerate cloud is re-seeded
// around the caller's pose without telling the caller.
#ifndef OLVAR_BODY_PARTICLE_FILTER_H
#define OLVAR_BODY_PARTICLE_FILTER_H

#include <cstdint>
#include <memory>
#include <vector>

#include "body/primitives.h"
#include "body/random.h"

namespace olvar {

class CParticleFilter {
  public:
    static constexpr int kResampleTotal = 500;
    static constexpr int kMinCopies = 125;

    CParticleFilter() = default;
    virtual ~CParticleFilter();
    CParticleFilter(const CParticleFilter&) = delete;
    CParticleFilter& operator=(const CParticleFilter&) = delete;

    // Throws the cloud away and seeds a new one around the pose. True when the estimate is
    // accepted; the pose is then overwritten with it.
    bool Initialize(const int32_t* integral, int* x, int* y, int* size);
    // One frame of tracking. True when the estimate is accepted (pose overwritten).
    bool Track(const int32_t* integral, int* x, int* y, int* size);
    // One normally distributed sample from the filter's own stream.
    float Gaussian(float mean, float sigma);

    // The integer mean pose of the best tenth of `models` (3 when that is none but there are
    // more than 3, else all), written into `estimate`; among equal scores the earlier model
    // wins. An empty list leaves the estimate untouched.
    static void EstimateFromBest(const std::vector<Primitive*>& models, Primitive* estimate);

    // Sets the frame size handed to the models (and to the estimate when one exists).
    void SetFrameSize(int width, int height);

    Primitive* currentParticle = nullptr;
    int kind = kTorsoKind;
    int initialCount = 500;
    std::vector<std::unique_ptr<Primitive>> particles;
    std::vector<std::unique_ptr<Primitive>> previousGeneration;
    std::vector<int> copyCounts;
    int positionSigma = 20;
    float sizeSigma = 5.0f;
    std::unique_ptr<Primitive> estimate;
    int frameWidth = 400;
    int frameHeight = 300;
    float acceptThreshold = 0.3f;
    ParkMiller random;
    bool useReferenceSize = true;

  private:
    void UpdateWeights(const int32_t* integral, int* x, int* y, int* size);
    void ResampleAndDiffuse();
    void ScoreParticles(const int32_t* integral, double referenceSize);
    void SetNoiseFromSize(int size);
    void SetNoiseFromParent(int parentSize);
    // Creates a particle at the pose, sets it up and appends it; returns it.
    Primitive* AddParticle(int x, int y, int size);
    // Sets the estimate up, scores it and, when accepted, writes it into the pose.
    bool AcceptEstimate(const int32_t* integral, int* x, int* y, int* size);
    // The estimate from the best of the current particles, then AcceptEstimate.
    bool EstimateAndAccept(const int32_t* integral, int* x, int* y, int* size);
    void ClearGenerations();
};

// Indices of the n highest scores, by repeated selection of the maximum of the rest (a strictly
// greater score replaces the candidate, so among equal scores the earlier one wins).
std::vector<int> SelectTopScores(const std::vector<double>& scores, int n);

}  // namespace olvar

#endif  // OLVAR_BODY_PARTICLE_FILTER_H
