// Particle filter over body-part models: a cloud of weighted pose hypotheses (x, y, size) that
// follows one body part from frame to frame on the integral array of a 0/1 mask.
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
    CParticleFilter() = default;
    virtual ~CParticleFilter() = default;
    CParticleFilter(const CParticleFilter&) = delete;
    CParticleFilter& operator=(const CParticleFilter&) = delete;

    // Throws the cloud away and seeds a new one around the pose. True when the estimate is
    // accepted; the pose is then overwritten with it.
    bool Initialize(const int32_t* integral, int* x, int* y, int* size);
    // One frame of tracking. True when the estimate is accepted (pose overwritten).
    bool Track(const int32_t* integral, int* x, int* y, int* size);
    // One normally distributed sample from the filter's own stream.
    float Gaussian(float mean, float sigma);

    // The integer mean pose of the best tenth of `models` (at least 3, or all when fewer),
    // written into `estimate`. Shared with the face search.
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
};

}  // namespace olvar

#endif  // OLVAR_BODY_PARTICLE_FILTER_H
