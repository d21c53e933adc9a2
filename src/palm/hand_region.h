// The hand's region: the test that hand 1 (the image-left arm's hand) is raised clear of the
// body, and the box operations the palm analysis and the hand-mask preparation share.
//
// Boxes are HandBox corners, both corners inside the box (x0 <= u <= x1, y0 <= v <= y1), except
// the raw sum of the region test, which follows the integral's convention (the first row and
// column are not counted). Every operation clamps its box into the image before reading, so no
// box, however placed, reads outside a mask or an integral array.
#ifndef OLVAR_PALM_HAND_REGION_H
#define OLVAR_PALM_HAND_REGION_H

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "body/user_tracker.h"
#include "imaging/canny_edges.h"
#include "palm/hand_box.h"
#include "palm/mask_view.h"
#include "palm/palm_state.h"

namespace olvar {

// Results of the region step.
inline constexpr int kHandRegionMissing = -1;
inline constexpr int kHandRegionFound = 2;

// Is hand 1 raised at or above shoulder height, image-left of the neck, on enough skin? Working
// grid: `skin` is the processed skin map, `foreground` the foreground mask. On success `box` is
// the hand's box, tightened to the skin and then to the foreground.
bool FindHandRegion(const UserTracker& tracker, MaskView skin, MaskView foreground, HandBox* box);

// The per-frame wrapper: clears and then sets `handRegionFound`; on failure also clears
// `palmActive` and returns kHandRegionMissing, on success stores the box and returns
// kHandRegionFound.
int HandRegionStep(const UserTracker& tracker, MaskView skin, MaskView foreground, PalmState* palm);

// Clamps the box into the mask, shrinks it to the columns and then the rows that hold set pixels
// and widens the result by one pixel on every side (clamped). False, with the box unchanged,
// when the clamped box is empty or holds no set pixel.
bool TightenBox(MaskView mask, HandBox* box);

// Reusable storage of FillHoles, so that a running analysis allocates nothing per frame.
struct FillScratch {
    cv::Mat reached;  // re-created at the mask's size when needed
    std::vector<int> queue;
};

// Sets to 1 every 0-pixel of the box (corners inclusive, clamped into the mask) that no path of
// 0-pixels inside the box joins to the box's border (4-connected): the holes of the hand. False
// when the clamped box is empty or the mask is not an 8-bit single-channel image.
bool FillHoles(const HandBox& box, cv::Mat& mask, FillScratch* scratch);

struct Centroid {
    int x = 0;
    int y = 0;
    int count = 0;
};

// Count and mean position (integer division) of the set pixels of `box` (clamped into the mask
// first); the box is narrowed to the columns from the leftmost to the rightmost set pixel. With
// no set pixel the result has count 0 and the box is left as clamped.
Centroid BoxCentroid(cv::Rect* box, const cv::Mat& mask);

// The edge map of the grey image inside `roi` (clamped into the image), zero outside: `edges`
// is cleared and the Canny detector (thresholds 150 and 250, aperture 3) runs over the grey
// ROI alone, as OpenCV's does on the ROI of a copy. `work` holds the detector's buffers from
// frame to frame, so a running edge map allocates nothing.
void EdgesInBox(const cv::Mat& grey, cv::Mat& edges, cv::Rect roi, CannyWork* work);

}  // namespace olvar

#endif  // OLVAR_PALM_HAND_REGION_H
