// Frame preparation: the host frame is copied into the context, reduced to the working size,
// smoothed and converted to YCrCb; the change against the background and the previous frames
// then decides whether tracking is worth running, and after the warm-up the frame is segmented.
//
// Per frame:
//  - difference mask: pixels that differ from the block-wise YCrCb background reference;
//  - the region quadtree is filled from it; the blocks in which every leaf changed (full
//    blocks) take the current frame into the reference;
//  - motion mask: inside the full blocks, pixels whose colour changed since the last frame that
//    moved; too much motion rejects the frame (16), almost none makes it a still scene (100);
//  - changed-colour mask (motion that also differs from two frames back) and motion history;
//  - during the first 30 frames since the library was loaded (across all trackers) nothing is
//    segmented (1); afterwards the foreground is segmented and integrated (0).
// The colour history shifts on results 0, 1 and 16, so a still scene keeps comparing against
// the last frame that moved.
#ifndef OLVAR_LIBRARY_FRAME_PREPARATION_H
#define OLVAR_LIBRARY_FRAME_PREPARATION_H

#include <opencv2/core.hpp>

#include "library/tracking_context.h"

namespace olvar {

// Result of PrepareFrame for a scene in which nothing moved: tracking goes on from the last
// state. Never reaches the host.
constexpr int kStillScene = 100;
// Frames since load during which nothing is segmented.
constexpr int kWarmUpFrames = 30;
// Fewer moving pixels than this make a still scene.
constexpr int kMinMotion = 10;

// Copies a host frame of `size` bytes, laid out as the context's geometry declares, into the
// context's input image (flipping bottom-up frames). Returns 0, 12 (null data or wrong size) or
// 21 (unknown pixel format).
int CopyFrame(TrackingContext& context, const unsigned char* data, int size);

// Reduces the input image to the working colour image, smooths it and converts it to YCrCb.
// Counts the frame; returns its number since load (1 for the first frame of the process).
int ReduceAndConvert(TrackingContext& context);

// The whole preparation of one frame. Returns 0 (tracking may run), 1 (warm-up), 12, 16 (too
// much motion), 21 or kStillScene.
int PrepareFrame(TrackingContext& context, const unsigned char* data, int size);

// The steps after ReduceAndConvert, callable on their own for tests and tools.

// Marks the pixels that differ from the reference by more than 12 in Y or 6 in Cr or Cb and
// integrates the mask.
void BuildDifferenceMask(TrackingContext& context);
// Copies the current YCrCb pixels of every full quadtree block into the reference (after
// saving the reference in its copy), when the last quadtree update saw any difference.
void UpdateReference(TrackingContext& context);
// Motion inside the full blocks, the motion gate, and for a frame that passes it the
// changed-colour mask and the motion history. Returns 0, 16 or kStillScene.
int AnalyseMotion(TrackingContext& context);
// The previous colour frame becomes the one two back, the working colour image the previous.
void ShiftColourHistory(TrackingContext& context);

// Number of frames that passed the copy stage since the library was loaded, across all
// trackers.
int FramesSinceLoad();

// The process-wide motion limit: 60 % of the working pixels of the first context that reached
// the motion analysis; -1 before that.
int MotionLimit();

// The masks of the last prepared frame, for tests and tools (never for hosts). Each is a
// header sharing the context's pixels, valid until the next frame. `motion` is the frame's
// motion as measured (the segmentation later cleans the context's own motion mask in place);
// `changed` is empty when the frame stopped at the motion gate; `foreground` is the last
// segmented foreground (this frame's when `segmented`).
struct FrameMasks {
    cv::Mat difference;
    cv::Mat motion;
    cv::Mat changed;
    cv::Mat foreground;
    bool segmented;
};
FrameMasks LastFrameMasks(const TrackingContext& context);

}  // namespace olvar

#endif  // OLVAR_LIBRARY_FRAME_PREPARATION_H
