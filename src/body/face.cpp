// Face search above the torso and face tracking. The search scores face-model candidates on the
// user's skin integral around a seed half a torso half-width above the shoulder line; tracking
// follows the face with the colour tracker and confirms every frame that its box still holds
// foreground and skin.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "body/user_tracker.h"

namespace olvar {
namespace {

constexpr int kFaceCandidates = 500;

// (numerator · value) >> shift: a fixed-point fraction of a size, exact for any int size.
int Fraction(int numerator, int value, int shift) {
    return static_cast<int>((static_cast<int64_t>(numerator) * value) >> shift);
}

int Saturate(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

// The foreground or skin count of the axis box (cx ± hx, cy ± hy) clamped to the frame, with
// the clamped box's area (corner-sum convention: columns x0 < u <= x1, rows y0 < v <= y1).
struct BoxCount {
    int sum;
    int area;
};

BoxCount CountAround(const int32_t* integral, int W, int H, int cx, int cy, int hx, int hy) {
    auto clampTo = [](int64_t v, int high) {
        return static_cast<int>(std::clamp<int64_t>(v, 0, high));
    };
    const int x0 = clampTo(static_cast<int64_t>(cx) - hx, W - 1);
    const int x1 = clampTo(static_cast<int64_t>(cx) + hx, W - 1);
    const int y0 = clampTo(static_cast<int64_t>(cy) - hy, H - 1);
    const int y1 = clampTo(static_cast<int64_t>(cy) + hy, H - 1);
    return {ClampedCornerSum(integral, W, H, x0, y0, x1, y1), (x1 - x0) * (y1 - y0)};
}

struct FacePose {
    int x, y, size;
};

// Scores 500 face-model candidates on the skin integral: the seed itself, then seed + Gaussian
// noise drawn from `random` (dx, dy, ds in that order). Returns the integer mean pose of the
// best tenth.
FacePose SearchFaceCandidates(CParticleFilter& random, const int32_t* skinIntegral, int W, int H,
                              const FacePose& seed) {
    const int d = seed.size;
    const int positionSigma = Fraction(85, d, 8);
    const float sizeSigma = std::max(0.51f, static_cast<float>(Fraction(23, d, 9)));
    std::vector<std::unique_ptr<Primitive>> candidates;
    candidates.reserve(kFaceCandidates);
    auto addCandidate = [&](int x, int y, int size) {
        std::unique_ptr<Primitive> model(CreatePrimitive(H, kFaceKind, W));
        model->x = std::clamp(x, 0, W - 1);
        model->y = std::clamp(y, 0, H - 1);
        model->partSize = size;
        model->SetUp(W, H);
        model->Score(skinIntegral, W, H, 1);
        model->weight = 1.0f;
        candidates.push_back(std::move(model));
    };
    addCandidate(seed.x, seed.y, d);
    for (int i = 1; i < kFaceCandidates; ++i) {
        const float dx = random.Gaussian(0, static_cast<float>(positionSigma));
        const float dy = random.Gaussian(0, static_cast<float>(positionSigma));
        const float ds = random.Gaussian(0, sizeSigma);
        addCandidate(TruncToInt(seed.x + dx), TruncToInt(seed.y + dy), TruncToInt(d + ds));
    }
    std::vector<Primitive*> models;
    models.reserve(candidates.size());
    for (const auto& c : candidates) {
        models.push_back(c.get());
    }
    const std::unique_ptr<Primitive> estimate(CreatePrimitive(H, kFaceKind, W));
    CParticleFilter::EstimateFromBest(models, estimate.get());
    return {estimate->x, estimate->y, estimate->partSize};
}

// How far to move the face centre up. The candidates settle on the skin they see, which may be
// the chin or neck; while the window above is still more than 19/32 silhouette the centre
// climbs. The last full window is the head itself and is not climbed past, so the rise is one
// step less than the number of full windows.
int UpwardCorrection(const int32_t* foregroundIntegral, int W, int H, const FacePose& face) {
    const int step = Fraction(77, face.size, 8);
    const int halfWidth = Fraction(123, face.size, 8);
    int64_t row = std::max<int64_t>(0, static_cast<int64_t>(face.y) - step);
    int64_t full = 0;
    while (row > step) {
        const BoxCount window =
            CountAround(foregroundIntegral, W, H, face.x, static_cast<int>(row), halfWidth, step);
        if (window.sum <= ((19 * window.area) >> 5)) {
            break;
        }
        ++full;
        row -= step;
    }
    return Saturate(std::max<int64_t>(0, full - 1) * step);
}

// One tracking step of a face that is being followed; false when it is lost.
bool FollowFace(UserTracker& u, const cv::Mat& colour, const int32_t* skinIntegral,
                const int32_t* foregroundIntegral) {
    u.scratchSize = u.torsoSize;
    if (u.scratchSize < 6 || skinIntegral == nullptr || foregroundIntegral == nullptr) {
        return false;
    }
    const ColourStep step = u.faceColour.StepColourTracker(colour, u.W, u.H);
    if (step.status != 1) {
        return false;
    }
    // The box must still be mostly silhouette (about 60 %) and hold some skin.
    const BoxCount foreground =
        CountAround(foregroundIntegral, u.W, u.H, step.x, step.y, step.hx, step.hy);
    const BoxCount skin = CountAround(skinIntegral, u.W, u.H, step.x, step.y, step.hx, step.hy);
    if (foreground.sum < 48 || foreground.sum < Fraction(77, foreground.area, 7) || skin.sum < 10 ||
        skin.sum < (skin.area >> 5)) {
        return false;
    }
    const int size = Saturate(static_cast<int64_t>(step.hx) + step.hx / 4 + step.hy);
    u.scratchX = step.x;
    u.scratchY = step.y;
    u.scratchSize = size;
    u.faceSizeLast = size;
    u.faceX = static_cast<float>(step.x / 2 + 0.5 * u.faceX);
    u.faceY = static_cast<float>(step.y / 2 + 0.5 * u.faceY);
    u.faceSize = static_cast<float>(size / 2 + 0.5 * u.faceSize);
    // A face grown beyond about 1.8 torso half-widths has drifted onto a larger region.
    return u.faceSize <= Fraction(461, u.torsoSize, 8);
}

bool FrameUsable(int W, int H, const int32_t* skinIntegral, const int32_t* foregroundIntegral) {
    return W > 0 && H > 0 && skinIntegral != nullptr && foregroundIntegral != nullptr;
}

}  // namespace

int UserTracker::FindFace(const cv::Mat& colour, const int32_t* skinIntegral,
                          const int32_t* foregroundIntegral) {
    // Seed half a torso half-width above the shoulder line, the face as tall as the torso is
    // half wide.
    const int d = torsoSize;
    scratchX = TruncToInt(torsoX);
    scratchY = Saturate(static_cast<int64_t>(TruncToInt(torsoY)) - d / 2);
    scratchSize = d;
    if (d < 6 || !FrameUsable(W, H, skinIntegral, foregroundIntegral)) {
        faceFound = false;
        return kOlvarLost;
    }
    FacePose face =
        SearchFaceCandidates(faceFilter, skinIntegral, W, H, {scratchX, scratchY, scratchSize});
    face.y =
        Saturate(static_cast<int64_t>(face.y) - UpwardCorrection(foregroundIntegral, W, H, face));
    scratchX = face.x;
    scratchY = face.y;
    scratchSize = face.size;

    const int halfWidth = Fraction(123, face.size, 8);
    const int halfHeight = Fraction(77, face.size, 7);
    faceColour.StartColourTracker(face.x, face.y, halfWidth, halfHeight, colour, W, H);

    // At least one pixel in 32 of the face box must be skin.
    const BoxCount skin = CountAround(skinIntegral, W, H, face.x, face.y, halfWidth, halfHeight);
    if (skin.sum < (skin.area >> 5)) {
        faceFound = false;
        return kOlvarLost;
    }
    faceSizeLast = face.size;
    faceX = static_cast<float>(face.x);
    faceY = static_cast<float>(face.y);
    faceSize = static_cast<float>(face.size);
    faceFound = true;
    return kOlvarOk;
}

int UserTracker::TrackFace(const cv::Mat& colour, const int32_t* skinIntegral,
                           const int32_t* foregroundIntegral) {
    if (!faceFound) {
        if (!torsoFound || FindFace(colour, skinIntegral, foregroundIntegral) != 0) {
            return kOlvarLost;
        }
        faceFound = true;
    } else if (!FrameUsable(W, H, skinIntegral, foregroundIntegral) ||
               !FollowFace(*this, colour, skinIntegral, foregroundIntegral)) {
        faceFound = false;
        return kOlvarLost;
    }
    if (faceSizeLast > 5) {
        return kOlvarOk;
    }
    faceFound = false;
    return kOlvarLost;
}

}  // namespace olvar
