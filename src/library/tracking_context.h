// The tracking context: the camera's frame geometry, the working resolution, and every per-frame
// working image and integral array that the preprocessing fills and the trackers read.
//
// Every frame is reduced so that its smaller relative dimension lands on 200 x 150 (the working
// size; the width is cut to a multiple of 4). Masks hold 0 or 1 per pixel. Colour images are
// 3-channel blue, green, red; the YCrCb images hold Y, Cr, Cb.
#ifndef OLVAR_LIBRARY_TRACKING_CONTEXT_H
#define OLVAR_LIBRARY_TRACKING_CONTEXT_H

#include <cstdint>
#include <memory>

#include <opencv2/core.hpp>

#include "imaging/codebook.h"
#include "imaging/frame_view.h"
#include "imaging/integral.h"
#include "imaging/quadtree.h"
#include "imaging/segmentation.h"
#include "olvar/olvar.h"

namespace olvar {

struct TrackingContext {
    static constexpr int kWorkingWidth = 200;
    static constexpr int kWorkingHeight = 150;
    static constexpr int kMinSide = 120;
    static constexpr int kMaxSide = 2048;

    TrackingContext();

    // Validates a frame geometry and, when it differs from the stored one, re-creates every
    // working buffer for its working size. Returns 0 or 12; a rejected call changes nothing.
    int Configure(int stride, int height, int width, int format, bool bottomUp);

    // Renders the input image, mirrored, as width x height pixels of (255, R, G, B) into buffer.
    // Returns 0 or 12.
    int RenderPreview(unsigned char* buffer, int size, int width, int height, int stride);

    // The read-only view of this frame's images and integrals that everything below the library
    // works on, and the images the segmentation writes.
    FrameView View() const;
    SegmentationTarget SegmentationTargets();

    // Frame geometry.
    int frameWidth = 320;
    int frameHeight = 240;
    int frameStride = 960;
    int pixelFormat = kOlvarBgr24;
    bool bottomUp = false;

    // Working geometry.
    int workWidth = kWorkingWidth;
    int workHeight = kWorkingHeight;
    int workStep = 600;
    int workPixels = kWorkingWidth * kWorkingHeight;

    // Set when the frame size differs from the working size; scale is frame pixels per working
    // pixel.
    bool resize = true;
    float scale = 1.6f;
    float inverseScale = 0.625f;

    // The frame as copied in (frame size). When no resize is needed it shares its pixels with
    // the working colour image.
    cv::Mat input;
    cv::Mat colour;  // working colour image, smoothed in place each frame
    cv::Mat ycrcb;   // working YCrCb image
    cv::Mat reservedMask;
    cv::Mat previousColour;  // colour frame of the last frame that moved
    cv::Mat olderColour;     // and the one before it

    cv::Mat motionMask;  // pixels that changed against the previous colour frame
    Integral motionIntegral;
    cv::Mat changedMask;  // motion pixels that also changed against the frame two back
    Integral changedIntegral;

    cv::Mat reference;  // block-wise YCrCb background reference
    cv::Mat referenceCopy;
    cv::Mat differenceMask;  // pixels differing from the reference
    Integral differenceIntegral;

    int historyLength = 6;
    cv::Mat historyCount;       // frames left in the recent-motion mask per pixel
    cv::Mat recentMotion;       // pixels that moved in the last historyLength frames
    cv::Mat motionAccumulator;  // per pixel, the frames of motion added up by the segmentation
    Integral historyIntegral;
    Integral recentIntegral;

    cv::Mat rawForeground;  // segmentation result before the clean-up
    cv::Mat foreground;
    Integral foregroundIntegral;

    // What the last prepared frame computed, for tests and tools that read its masks.
    bool motionAnalysed = false;  // the changed-colour mask and the history are this frame's
    bool segmented = false;       // the foreground mask is this frame's

    // The background colour model; given cells for the working size on the first segmented
    // frame after creation or after a change of working size.
    ZykCB codebook;

    cv::Mat extraMasks[3];
    std::vector<int32_t> extraArray;

    Quadtree quadtree;

    cv::Mat preview;

    SegmentationWorkspace workspace;

    cv::Mat usersArea;           // where the segmentation classifies instead of learning
    cv::Mat accumulatorScratch;  // working copy of the motion accumulator

    // Per user, the last successful tracking record in working coordinates.
    bool lastRecordValid[2] = {false, false};
    TrackingRecord lastRecord[2];

  private:
    void AllocateBuffers();
};

}  // namespace olvar

#endif  // OLVAR_LIBRARY_TRACKING_CONTEXT_H
