// Mask operations of the foreground segmentation: morphology, unions, hole filling, the
// neighbourhood rule on motion, the person count from contours and the extent scan.
//
// Masks are single-channel 8-bit images; a pixel is set when it is non-zero, and every pixel
// these operations set is set to 1. The motion accumulator is the one mask that holds counts;
// the operations that compare values (the extent scan) compare those counts as they are.
#ifndef OLVAR_IMAGING_MASK_CLEANUP_H
#define OLVAR_IMAGING_MASK_CLEANUP_H

#include <opencv2/core.hpp>

#include "imaging/segmentation.h"

namespace olvar {

// 3 x 3 dilation and erosion, `iterations` times, in place; pixels beyond the border do not
// take part.
void Dilate(cv::Mat& mask, int iterations);
void Erode(cv::Mat& mask, int iterations);

// The same on a one-row image of `length` pixels held in `row`, without any image: a row has
// no neighbours above or below, so `iterations` 3 x 3 steps take the maximum (dilation) or
// minimum (erosion) over the pixels at most `iterations` away in the row. `scratch` holds at
// least `length` bytes.
void DilateRow(uint8_t* row, int length, int iterations, uint8_t* scratch);
void ErodeRow(uint8_t* row, int length, int iterations, uint8_t* scratch);

// dst = 1 where dst or src is set, 0 elsewhere.
void AddInto(cv::Mat& dst, const cv::Mat& src);
// dst = 1 where a or b is set, 0 elsewhere.
void SetUnion(cv::Mat& dst, const cv::Mat& a, const cv::Mat& b);

// Restarts the age (frames since the last motion) of moving pixels and ages all others by one
// frame, saturating at 255.
void UpdateAge(cv::Mat& age, const cv::Mat& motion);

// Fills the holes of a mask: the clear pixels inside its bounding box that cannot be reached
// from the box's border through clear pixels (4-connected) become 1. Boxes narrower or lower
// than 5 pixels are left alone. Uses the workspace's flood scratch and seed list.
void FillHoles(cv::Mat& mask, SegmentationWorkspace& workspace);

// Cleans the motion mask in place, in row order, away from the image border: a moving pixel
// whose eight neighbours have all been still for more than one frame is cleared, and a still
// pixel between two moving ones (diagonally, horizontally or vertically) is set. Then the last
// row copies the motion of the row above it.
void ApplyNeighbourhoodRule(cv::Mat& motion, const cv::Mat& age);

// Contour areas below this are not persons.
constexpr double kMinPersonContourArea = 25.0;

// Counts the persons in a mask from the areas of its outer contours (see the definition for
// the rule); `validRecords` is the number of users with a valid last record. Pixels on the
// image border take no part in the contours; the mask itself is left unchanged.
int CountPersons(const cv::Mat& mask, int validRecords);

// The extent scan: per row and per column, the first and last positions where the mask value
// changes; pixels between them are inside, the others outside (rows and columns without a
// change are outside entirely); pixels that the rows and columns disagree on are ambiguous.
// Fills the workspace's inside, outside and ambiguous masks and its position arrays.
void ExtentScan(const cv::Mat& mask, SegmentationWorkspace& workspace);

}  // namespace olvar

#endif  // OLVAR_IMAGING_MASK_CLEANUP_H
