// One user's palm analysis state: whether the palm group of the user's record holds a result,
// the hand's region of this frame and the palm group itself. Everything stored here is in the
// working grid; the camera-grid work of a frame converts with k = camera width / working width.
#ifndef OLVAR_PALM_PALM_STATE_H
#define OLVAR_PALM_PALM_STATE_H

#include <opencv2/core.hpp>

#include "palm/hand_box.h"

namespace olvar {

inline constexpr int kPalmFingers = 5;

// The palm group of the tracking record, working grid.
struct PalmGroup {
    double radius = 1.0;
    cv::Point2f fingertips[kPalmFingers];
    cv::Point2f fingerBases[kPalmFingers];
    int fingerEvent = -1;
};

struct PalmState {
    bool palmActive = false;       // palm tracking runs; the record's palm group is this user's
    bool handRegionFound = false;  // the hand passed the region test this frame
    HandBox handBox;               // working grid: set by the region test
    double k = 1.0;                // camera width / working width, as last used
    double inverseK = 1.0;
    float palmX = 0.0f;  // re-centred palm centre, working grid; hand 1's position while
    float palmY = 0.0f;  // palm tracking runs
    // Camera grid: where the edge map is computed.
    int roiX = 0;
    int roiY = 0;
    int roiWidth = 0;
    int roiHeight = 0;
    PalmGroup group;

    // The host's switch: the next record reports the palm group absent.
    void ClearFlags() {
        palmActive = false;
        handRegionFound = false;
    }
    // Forgets the palm entirely (a new working size, a restarted tracker).
    void Clear() { *this = PalmState(); }
};

}  // namespace olvar

#endif  // OLVAR_PALM_PALM_STATE_H
