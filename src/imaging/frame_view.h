// A read-only view of one frame's working images and integral arrays, built by the library
// object from its tracking context and handed down to the segmentation, the per-user step and
// the optional analyses. Nothing below the library sees the context itself.
//
// Requires: every image has the working size width x height (input: the frame size), every
// integral pointer holds width * height entries or is null (a buffer not yet sized), and the
// referenced objects outlive the view. Images are 0/1 masks unless noted.
#ifndef OLVAR_IMAGING_FRAME_VIEW_H
#define OLVAR_IMAGING_FRAME_VIEW_H

#include <cstdint>

#include <opencv2/core.hpp>

#include "imaging/quadtree.h"
#include "olvar/olvar.h"

namespace olvar {

struct FrameView {
    int width;
    int height;
    const cv::Mat& input;          // the frame as copied in, frame size, BGR
    const cv::Mat& colour;         // smoothed working colour image (BGR)
    const cv::Mat& ycrcb;          // working YCrCb image
    const cv::Mat& reference;      // block-wise YCrCb background reference
    const cv::Mat& foreground;     // cleaned foreground mask
    const cv::Mat& rawForeground;  // foreground before the clean-up
    const cv::Mat& motion;         // pixels that changed against the previous frame
    const int32_t* foregroundIntegral;
    const int32_t* changedIntegral;      // changed-colour mask
    const int32_t* motionCountIntegral;  // motion-history counter image
    const int32_t* motionIntegral;       // motion mask
    int historyLength;                   // divisor of the motion-count integral
    const Quadtree& quadtree;
    // Per user, whether a last tracking record exists and the record itself (working pixels).
    const bool* lastRecordValid;
    const TrackingRecord* lastRecord;

    int PixelCount() const { return width * height; }
    // The mask total of one of the view's integrals; 0 for a missing array or an empty image.
    int Total(const int32_t* integral) const {
        return integral != nullptr && width > 0 && height > 0 ? integral[PixelCount() - 1] : 0;
    }
};

}  // namespace olvar

#endif  // OLVAR_IMAGING_FRAME_VIEW_H
