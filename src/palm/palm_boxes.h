// Box measurements of the palm analysis that need only a palm pose (centre, radius, angle) and
// the masks: is the hand open, is it still, where the edge map is computed, and where the palm
// centre lies once the fingers and the wrist are discounted.
//
// Angles follow the system's convention (0 image-right, pi/2 image-up); a palm angle points from
// the wrist toward the fingers. A zero, negative or non-finite radius or grid factor measures
// nothing: the open test fails, the stillness test reports "moving", the re-centring keeps the
// previous centre.
#ifndef OLVAR_PALM_PALM_BOXES_H
#define OLVAR_PALM_PALM_BOXES_H

#include <cstdint>

#include <opencv2/core.hpp>

#include "palm/hand_box.h"
#include "palm/hand_region.h"

namespace olvar {

// A palm pose in one grid.
struct PalmPose {
    double x = 0;
    double y = 0;
    double radius = 0;
    double angle = 0;
};

// Camera grid. `handSize` R is the body tracker's hand size times k, `angle` the forearm's angle.
// Two thin boxes across the hand's axis, one over the finger roots (1.5 palm radii out) and one
// past the fingertips (3.5 palm radii out): open when the near one holds more than 8 % hand mask
// and the far one at most 8 %.
bool HandOpenTest(const int32_t* handIntegral, int width, int height, double x, double y,
                  double handSize, double angle);

// Stillness of the hand.
enum HandStill {
    kHandMoving = 0,
    kHandMotionless = 1,  // fewer than 10 moving pixels in the palm box
    kHandSlow = 2,        // under 3 % of the palm box moving
};

// Working grid: `palm` is the hand model's palm (centre and radius divided by k). The palm box
// runs five radii along the palm angle and three across. A box without skin or foreground is
// "moving" (the tracker decides).
int IsHandStill(int width, int height, const PalmPose& palm, const int32_t* skinIntegral,
                const int32_t* foregroundIntegral, const int32_t* motionIntegral);

// Camera grid: the rectangle in which the palm tracker's edge map is computed, around the palm
// centre (x, y) with hand size R: 2R on each side, cut at the first three-pixel band (row band
// below and above, column strip right and left, beyond 0.8R from the centre) holding under 2 %
// hand mask, then widened by 5 pixels. It stays at least one pixel inside the image whatever the
// pose; a pose outside the image gives an empty rectangle.
cv::Rect HandRoi(const int32_t* handIntegral, int width, int height, double x, double y,
                 double handSize);

struct RecentredPalm {
    bool found = false;  // false: no hand-mask pixel in the hand box, nothing written
    double radius = 0;   // working grid
    float x = 0;         // working grid
    float y = 0;
};

// The palm centre from the hand mask (camera grid): the hand box (working grid) times k tightened
// to the mask, its centroid, then up to six centroids of boxes that keep the finger-side edges
// and put the wrist-side edges 2b from the last centroid, and a last centroid over 2b on the
// wrist side and 1.2b on the finger side; b = (k * handSize / 2 + modelRadius) / 2 is the radius.
// handSize is the body tracker's hand size (working grid), modelRadius and palmAngle the hand
// model's. Results are divided by k.
RecentredPalm RecentrePalm(MaskView handMask, const HandBox& handBox, double k, int handSize,
                           double modelRadius, double palmAngle);

}  // namespace olvar

#endif  // OLVAR_PALM_PALM_BOXES_H
