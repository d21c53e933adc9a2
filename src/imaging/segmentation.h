// Foreground segmentation: the codebook classification of the changed blocks and the clean-up
// that turns it into the foreground mask.
//
// Each segmented frame:
//  1. the codebook learns every pixel when it has no cell table for the working size yet (the
//     first segmented frame of a tracker, or the first after a change of working size);
//  2. the users' area is built: where the users are, as known from the last tracking records,
//     the motion and last frame's foreground;
//  3. in every quadtree block that changed entirely, pixels inside the users' area are
//     classified against the codebook and all others are learned as background (raw
//     foreground); the raw foreground becomes the foreground mask;
//  4. the mask is cleaned with the motion and the users' last body regions;
//  5. pixels in the foreground restart their age;
//  6. with two persons seen, the pixels seen as background so far are recorded.
//
// Requires: a frame view and targets whose images, integrals, quadtree and workspace share one
// working size (SegmentForeground does nothing otherwise). Ensures: masks keep 0 or 1 per pixel;
// every region taken from a quadtree node or a tracking record is clamped to the image.
#ifndef OLVAR_IMAGING_SEGMENTATION_H
#define OLVAR_IMAGING_SEGMENTATION_H

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "imaging/codebook.h"
#include "imaging/frame_view.h"
#include "imaging/integral.h"
#include "olvar/olvar.h"

namespace olvar {

// Buffers and frame-to-frame state of the segmentation, all of the working size.
struct SegmentationWorkspace {
    int width = 0;
    int height = 0;
    int pixelCount = 0;
    bool allocated = false;

    int personCount = 0;             // 0..5, from the last multi-person area rule (0 otherwise)
    bool seenAllBackground = false;  // every pixel has been seen as background
    int accumulationCount = 0;       // frames added into the motion accumulator

    cv::Mat motionCopy;      // the frame's motion mask before the clean-up changes it
    cv::Mat foregroundCopy;  // last frame's foreground mask
    cv::Mat floodScratch;    // hole filling: 1 = reached from outside
    cv::Mat age;             // frames since the pixel last moved, saturating at 255
    cv::Mat outside;         // extent scan results
    cv::Mat inside;
    cv::Mat ambiguous;
    cv::Mat seenBackground;  // pixels seen as background while two persons were counted

    // Extent scan: first and last transition per row (columns) and per column (rows); -1 when
    // the row or column has none.
    std::vector<int32_t> rowFirst, rowLast;
    std::vector<int32_t> columnFirst, columnLast;

    std::vector<int32_t> seeds;  // hole-filling flood list, never more than width * height
    Integral areaIntegral;       // integral of the users' area, for the face-box density

    // Re-creates every buffer for a width x height working image and restarts the state.
    void Resize(int newWidth, int newHeight);
};

// What the segmentation writes: the frame's motion mask (cleaned in place), the raw and the
// cleaned foreground, the users' area, the motion accumulator with its working copy, and the
// background model with the segmentation's own frame-to-frame state. The frame view is read
// only; its foreground and motion may be the same images as the targets (last frame's
// foreground is the starting point of this frame's).
struct SegmentationTarget {
    cv::Mat& motion;
    cv::Mat& rawForeground;
    cv::Mat& foreground;
    cv::Mat& usersArea;
    cv::Mat& motionAccumulator;
    cv::Mat& accumulatorScratch;
    ZykCB& codebook;
    SegmentationWorkspace& workspace;
};

// Runs the segmentation of one frame; the result is the target's foreground mask (the caller
// builds its integral).
void SegmentForeground(const FrameView& frame, const SegmentationTarget& target);

// The steps of SegmentForeground, callable on their own for tests and tools.

// Gives the codebook one cell per working pixel and learns the whole YCrCb image when its cell
// table was not made for the working size (none yet, or another size). Returns true when it
// learned.
bool EnsureCodebook(const FrameView& frame, ZykCB& codebook);

// Builds the users' area mask (and the person count) from the last records, the motion and
// the last foreground.
void BuildUsersArea(const FrameView& frame, const SegmentationTarget& target);

// Classifies or learns the pixels of the changed blocks into the raw foreground mask.
void UpdateChangedBlocks(const FrameView& frame, const SegmentationTarget& target);

// Cleans the foreground mask with the motion and the users' last body regions.
void CleanUpWithRecords(const FrameView& frame, const SegmentationTarget& target);

// The image regions in which a user's body is expected, from a last tracking record in working
// coordinates: the torso below the shoulder line and the head and neck above it. Inclusive
// bounds clamped to the image; a range with x0 > x1 or y0 > y1 is empty.
struct BodyRanges {
    cv::Rect torso;  // x, y, width, height; empty when the range is empty
    cv::Rect head;
};
BodyRanges BodyRangesOf(const TrackingRecord& record, int width, int height);

}  // namespace olvar

#endif  // OLVAR_IMAGING_SEGMENTATION_H
