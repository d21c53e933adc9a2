// Fingertip detection (camera grid): the hand region grown out of the palm in the companion mask
// with the palm disc cut away, sampled on a coarse grid for tip candidates (the fitted hand
// model's tips first), and up to five candidates accepted farthest first, each one the end of a
// finger that no accepted finger already covers. Each accepted finger is erased from the working
// copies of the masks before the next is tested.
//
// (X, Y) is the re-centred palm centre and R the palm radius of the re-centring, both in the
// camera grid; theta is the hand model's palm angle (0 image-right, pi/2 image-up).
#ifndef OLVAR_PALM_FINGERTIPS_H
#define OLVAR_PALM_FINGERTIPS_H

#include <vector>

#include <opencv2/core.hpp>

#include "imaging/integral.h"
#include "palm/hand_box.h"
#include "palm/hand_region.h"
#include "palm/palm_state.h"

namespace olvar {

inline constexpr int kMaxTipCandidates = 500;

struct TipCandidate {
    double x = 0, y = 0;
    double density = 0;      // companion-mask density around it
    double handDensity = 0;  // hand-mask density around it
    double distance = 0;     // to (X, Y)
    double angle = 0;        // direction from the palm centre
    double score = 0;        // density * (handDensity + 1)
};

struct DetectedFinger {
    double tipX = 0, tipY = 0;
    double baseX = 0, baseY = 0;
    double angle = 0;
};

struct DetectedFingers {
    DetectedFinger fingers[kPalmFingers];
    int count = 0;
};

// What the detection reads of the fitted hand model (camera grid): its palm radius r, its palm
// angle and the tips of fingers 1 (thumb) to 5 (little).
struct ModelTips {
    double radius = 0;
    double palmAngle = 0;
    cv::Point2d tips[kPalmFingers];
};

// The palm the tips are sought around (camera grid).
struct TipPalm {
    double x = 0, y = 0, radius = 0;
};

// Reusable storage, so that a running detection allocates nothing per frame.
struct FingertipWork {
    cv::Mat region;
    cv::Mat second;
    cv::Mat handClone;
    Integral secondIntegral;
    Integral handCloneIntegral;
    std::vector<int> queue;
    std::vector<TipCandidate> candidates;
    std::vector<int> order;
    ClearedPixels cleared;  // the erasure of accepted fingers from the two integrals
};

// Grows the region of companion pixels (value exactly 1) 4-connected out of the palm square
// inside the search rectangle derived from `box` (camera grid; replaced by the rectangle), then
// clears the palm disc. 0, or 12 when the companion mask or region image is missing or of
// another size.
int GrowFingerRegion(const cv::Mat& companion, const TipPalm& palm, double theta, HandBox* box,
                     cv::Mat& region, std::vector<int>* queue);

// Model tips first, then the grid over `box`; at most kMaxTipCandidates. `gridStep` F is
// (0.5 k handSize + r) / 4; a zero or negative F samples no grid.
void FindTipCandidates(const cv::Mat& region, const int32_t* companionIntegral,
                       const int32_t* handIntegral, const HandBox& box, const TipPalm& palm,
                       const ModelTips& model, double gridStep,
                       std::vector<TipCandidate>* candidates);

// Candidate indices by distance, farthest first; equal distances keep their order.
void SortCandidates(const std::vector<TipCandidate>& candidates, std::vector<int>* order);

// Accepts up to five fingers; erases each accepted one from `second` and `hand` and brings
// their integrals up to date (`cleared`, when given, is the kept work store of that update).
void ValidateTips(const std::vector<TipCandidate>& candidates, const std::vector<int>& order,
                  const TipPalm& palm, double theta, cv::Mat& second, Integral* secondIntegral,
                  cv::Mat& hand, Integral* handIntegral, DetectedFingers* fingers,
                  ClearedPixels* cleared = nullptr);

// The whole detection. Writes the five finger slots of `group` (working grid: divided by k),
// accepted fingers first (farthest tip first), the palm centre in the other slots; narrows
// `handBox` (working grid) to the search rectangle. Nothing happens when a mask is missing.
void FindFingertips(MaskView handMask, MaskView companion, const TipPalm& palm,
                    const ModelTips& model, double k, int handSize, HandBox* handBox,
                    FingertipWork* work, PalmGroup* group);

}  // namespace olvar

#endif  // OLVAR_PALM_FINGERTIPS_H
