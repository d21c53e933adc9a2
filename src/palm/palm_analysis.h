// The palm analysis of one frame: starts palm tracking on a raised hand, follows it, re-centres
// the palm and finds the fingertips, writing the palm group of the user's PalmState.
//
// Two grids meet here: the working grid of the body trackers and the camera grid (the frame
// size) of the hand masks; k = camera width / working width converts working to camera pixels.
// Everything stored in PalmState is in the working grid.
#ifndef OLVAR_PALM_PALM_ANALYSIS_H
#define OLVAR_PALM_PALM_ANALYSIS_H

#include <opencv2/core.hpp>

#include "body/user_tracker.h"
#include "palm/hand_region.h"
#include "palm/palm_buffers.h"
#include "palm/palm_state.h"

namespace olvar {

// One call's images: camera grid first, then working grid. Masks hold 0 or 1.
struct PalmFrame {
    const cv::Mat& colourFrame;  // the frame as the host gave it, blue-green-red
    MaskView handMask;           // skin at camera resolution, holes in the hand box filled
    MaskView cameraForeground;   // the raw foreground mask resized to the frame
    MaskView skin;               // working grid: the processed skin map
    MaskView foreground;
    MaskView motion;
};

// 0 while palm tracking runs (`palmActive` set), 10 when nothing is tracked. Missing hand mask
// or skin map: 10.
int PalmAnalysis(const UserTracker& tracker, const PalmFrame& frame, PalmBuffers* buffers,
                 PalmState* palm);

}  // namespace olvar

#endif  // OLVAR_PALM_PALM_ANALYSIS_H
