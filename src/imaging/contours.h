// Outer contours of a 0/1 mask, traced the way the classic contour finder of the trackers'
// tuning traced them: the outermost rows and columns of the image count as background, so a
// blob cut by the image edge is traced from its inside (its box starts at row or column 1 and
// its area leaves the edge pixels out). The OpenCV 4 finder pads the image instead and would
// trace the edge pixels too.
#ifndef OLVAR_IMAGING_CONTOURS_H
#define OLVAR_IMAGING_CONTOURS_H

#include <vector>

#include <opencv2/core.hpp>

namespace olvar {

// External contours, every point kept. The mask is modified: its one-pixel frame is cleared.
// (A region view of a larger image has its own frame: the view's outermost rows and columns.)
std::vector<std::vector<cv::Point>> FindOuterContours(cv::Mat& mask);

}  // namespace olvar

#endif  // OLVAR_IMAGING_CONTOURS_H
