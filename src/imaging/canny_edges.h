// Canny edges over a rectangle of a grey image, in work buffers that the caller keeps, so a
// detector running every frame allocates nothing once the buffers have grown to the rectangle.
//
// The result is the one of OpenCV's detector with aperture 3 and the L1 gradient run on the
// rectangle as a view: the Sobel gradients see the rectangle alone, its border pixels repeated
// outward; weak and strong pixels are separated with integer thresholds, the non-maximum test
// compares along the gradient's octant with OpenCV's tie rules, and every weak pixel
// 8-connected to a strong one through weak pixels is an edge.
#ifndef OLVAR_IMAGING_CANNY_EDGES_H
#define OLVAR_IMAGING_CANNY_EDGES_H

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace olvar {

struct CannyWork {
    std::vector<uint8_t> source;  // the rectangle with its border repeated one pixel out
    std::vector<int> magnitude;   // |dx| + |dy|, framed by zeros
    std::vector<int16_t> dx, dy;
    std::vector<uint8_t> map;  // 0 weak, 1 no edge, 2 edge; framed by 1
    std::vector<int> stack;
};

// Writes 255 on the edges and 0 elsewhere into `edges` inside `roi` (clipped to the image);
// nothing outside it is touched. `grey` and `edges` are 8-bit single-channel images of one
// size; anything else leaves `edges` as it is.
void CannyEdges(const cv::Mat& grey, cv::Rect roi, int low, int high, CannyWork* work,
                cv::Mat& edges);

}  // namespace olvar

#endif  // OLVAR_IMAGING_CANNY_EDGES_H
