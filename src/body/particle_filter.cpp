#include "body/particle_filter.h"

#include <algorithm>
#include <cmath>

#include "imaging/integral.h"

namespace olvar {

namespace {

// value + trunc(noise), saturated at the int limits instead of overflowing.
int ShiftedBy(int value, float noise) {
    return TruncToInt(static_cast<double>(value) + std::trunc(static_cast<double>(noise)));
}

}  // namespace

CParticleFilter::~CParticleFilter() {
    ClearGenerations();
}

void CParticleFilter::ClearGenerations() {
    // Last to first, as the generations were built.
    while (!particles.empty()) {
        particles.pop_back();
    }
    while (!previousGeneration.empty()) {
        previousGeneration.pop_back();
    }
    currentParticle = nullptr;
}

void CParticleFilter::SetFrameSize(int width, int height) {
    frameWidth = width;
    frameHeight = height;
    if (estimate) {
        estimate->frameWidth = width;
        estimate->frameHeight = height;
    }
}

float CParticleFilter::Gaussian(float mean, float sigma) {
    return random.Gaussian(mean, sigma);
}

void CParticleFilter::SetNoiseFromSize(int size) {
    if (kind == kTorsoKind || kind == kFaceKind) {
        positionSigma = size / 3;
    } else if (kind == kHandKind) {
        positionSigma = size / 2;
    } else {
        return;
    }
    sizeSigma = std::max(0.51f, static_cast<float>(0.045 * size));
}

void CParticleFilter::SetNoiseFromParent(int parentSize) {
    if (kind == kTorsoKind || kind == kFaceKind) {
        positionSigma = TruncToInt(0.2 * parentSize);
        sizeSigma = std::max(0.5f, static_cast<float>(0.04 * parentSize));
    } else if (kind == kHandKind) {
        positionSigma = TruncToInt(0.5 * parentSize);
        sizeSigma = std::max(0.51f, static_cast<float>(0.04 * parentSize));
    }
}

Primitive* CParticleFilter::AddParticle(int x, int y, int size) {
    std::unique_ptr<Primitive> particle(CreatePrimitive(frameHeight, kind, frameWidth));
    particle->x = x;
    particle->y = y;
    particle->partSize = size;
    particle->SetUp(frameWidth, frameHeight);
    currentParticle = particle.get();
    particles.push_back(std::move(particle));
    return currentParticle;
}

bool CParticleFilter::AcceptEstimate(const int32_t* integral, int* x, int* y, int* size) {
    estimate->SetUp(frameWidth, frameHeight);
    estimate->Score(integral, frameWidth, frameHeight, 1);
    if (!(estimate->score >= acceptThreshold)) {
        return false;
    }
    *x = estimate->x;
    *y = estimate->y;
    *size = estimate->partSize;
    return true;
}

bool CParticleFilter::EstimateAndAccept(const int32_t* integral, int* x, int* y, int* size) {
    std::vector<Primitive*> all;
    all.reserve(particles.size());
    for (const auto& p : particles) {
        all.push_back(p.get());
    }
    EstimateFromBest(all, estimate.get());
    return AcceptEstimate(integral, x, y, size);
}

bool CParticleFilter::Initialize(const int32_t* integral, int* x, int* y, int* size) {
    const bool knownKind = kind == kTorsoKind || kind == kFaceKind || kind == kHandKind;
    if (!knownKind || integral == nullptr || frameWidth <= 0 || frameHeight <= 0) {
        return false;  // no model of this kind: nothing can be found
    }
    SetNoiseFromSize(*size);
    ClearGenerations();
    copyCounts.clear();
    estimate.reset(CreatePrimitive(frameHeight, kind, frameWidth));

    const int maxX = frameWidth - 1, maxY = frameHeight - 1;
    // The first particle sits exactly at the given pose.
    Primitive* first = AddParticle(std::clamp(*x, 0, maxX), std::clamp(*y, 0, maxY), *size);
    first->Score(integral, frameWidth, frameHeight, 1);
    first->weight = 1.0f;
    copyCounts.push_back(1);
    for (int i = 1; i < initialCount; ++i) {
        const float dx = Gaussian(0, static_cast<float>(positionSigma));
        const float dy = Gaussian(0, static_cast<float>(positionSigma));
        const float ds = Gaussian(0, sizeSigma);
        const int s = TruncToInt(*size + ds);
        const int py = std::clamp(TruncToInt(*y + dy), 0, maxY);
        const int px = std::clamp(TruncToInt(*x + dx), 0, maxX);
        Primitive* particle = AddParticle(px, py, s);
        particle->Score(integral, frameWidth, frameHeight, 1);
        particle->weight = 1.0f;
        copyCounts.push_back(1);
    }
    return EstimateAndAccept(integral, x, y, size);
}

void CParticleFilter::UpdateWeights(const int32_t* integral, int* x, int* y, int* size) {
    copyCounts.clear();
    double weightSum = 0;
    for (const auto& p : particles) {
        weightSum += p->weight;
    }
    double productSum = 0;
    for (const auto& p : particles) {
        p->score = weightSum > 0 ? p->weight * p->score / weightSum : 0.0;
        productSum += p->score;
    }
    int total = 0;
    for (const auto& p : particles) {
        // With no mass left anywhere the weights can not be normalised: every particle gets
        // no copy, which re-seeds the cloud below.
        p->weight = productSum > 0 ? static_cast<float>(p->score / productSum) : 0.0f;
        const int copies = TruncToInt(p->weight * 500.0f + 0.5);
        copyCounts.push_back(copies);
        total += copies;
    }
    if (particles.empty() || total < kMinCopies) {
        Initialize(integral, x, y, size);
    }
}

void CParticleFilter::ResampleAndDiffuse() {
    previousGeneration.clear();
    previousGeneration = std::move(particles);
    particles.clear();
    for (size_t k = 0; k < previousGeneration.size() && k < copyCounts.size(); ++k) {
        const Primitive& parent = *previousGeneration[k];
        for (int c = 0; c < copyCounts[k]; ++c) {
            SetNoiseFromParent(parent.partSize);
            const int x = ShiftedBy(parent.x, Gaussian(0, 2.0f * positionSigma));
            const int y = ShiftedBy(parent.y, Gaussian(0, static_cast<float>(positionSigma)));
            const int s = ShiftedBy(parent.partSize, Gaussian(0, sizeSigma));
            Primitive* child = AddParticle(x, y, s);
            child->weight = parent.weight;
        }
    }
    while (!previousGeneration.empty()) {
        previousGeneration.pop_back();
    }
}

void CParticleFilter::ScoreParticles(const int32_t* integral, double referenceSize) {
    const double reference = (kind == kFaceKind && useReferenceSize) ? referenceSize : 1.0;
    for (const auto& p : particles) {
        p->Score(integral, frameWidth, frameHeight, reference);
    }
}

bool CParticleFilter::Track(const int32_t* integral, int* x, int* y, int* size) {
    if (integral == nullptr) {
        return false;
    }
    UpdateWeights(integral, x, y, size);
    if (!estimate) {
        return false;  // no model of this kind
    }
    ResampleAndDiffuse();
    ScoreParticles(integral, estimate->partSize);
    return EstimateAndAccept(integral, x, y, size);
}

std::vector<int> SelectTopScores(const std::vector<double>& scores, int n) {
    std::vector<int> chosen;
    std::vector<bool> taken(scores.size(), false);
    for (int k = 0; k < n; ++k) {
        int best = -1;
        for (size_t i = 0; i < scores.size(); ++i) {
            if (!taken[i] && (best < 0 || scores[i] > scores[static_cast<size_t>(best)])) {
                best = static_cast<int>(i);
            }
        }
        if (best < 0) {
            break;
        }
        taken[static_cast<size_t>(best)] = true;
        chosen.push_back(best);
    }
    return chosen;
}

void CParticleFilter::EstimateFromBest(const std::vector<Primitive*>& models, Primitive* estimate) {
    const int count = static_cast<int>(models.size());
    if (count == 0 || estimate == nullptr) {
        return;
    }
    int n = count / 10;
    if (n == 0) {
        n = count > 3 ? 3 : count;
    }
    std::vector<double> scores(models.size());
    for (size_t i = 0; i < models.size(); ++i) {
        scores[i] = models[i]->score;
    }
    long long sx = 0, sy = 0, ss = 0;
    for (int index : SelectTopScores(scores, n)) {
        const Primitive& m = *models[static_cast<size_t>(index)];
        sx += m.x;
        sy += m.y;
        ss += m.partSize;
    }
    estimate->x = static_cast<int>(sx / n);
    estimate->y = static_cast<int>(sy / n);
    estimate->partSize = static_cast<int>(ss / n);
}

}  // namespace olvar
