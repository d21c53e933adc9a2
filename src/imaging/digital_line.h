// The digital line walk shared by the mask line probes (LineHitDistance, the palm tracker's edge
// and gap probes and its length probe).
//
// The walk starts at (x0, y0) and moves toward (x1, y1) one pixel per step along the major axis
// (x when |dy / dx| < 1, else y; a vertical segment walks y only), covering |major difference| + 1
// pixels, both ends included. The minor coordinate follows a 32-bit floating-point error term that
// starts at -0.5, adds |slope| (or its inverse) per step and moves the minor coordinate by one
// pixel toward the end, subtracting 1, whenever it reaches 0 or more.
//
// Coordinates are 64-bit inside the walk so that no end points can overflow it; the walk does not
// look at any image, so the visitor decides what lies outside one.
#ifndef OLVAR_IMAGING_DIGITAL_LINE_H
#define OLVAR_IMAGING_DIGITAL_LINE_H

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <opencv2/core.hpp>

namespace olvar {

// Calls visit(x, y) for every pixel of the walk in order; a visitor returning false ends it.
template <typename Visit>
void WalkDigitalLine(int x0, int y0, int x1, int y1, Visit visit) {
    const int64_t dx = static_cast<int64_t>(x1) - x0, dy = static_cast<int64_t>(y1) - y0;
    const int stepX = dx >= 0 ? 1 : -1, stepY = dy >= 0 ? 1 : -1;
    const bool walkX = dx != 0 && std::fabs(static_cast<double>(dy) / dx) < 1.0;
    const int64_t pixels = (walkX ? std::llabs(dx) : std::llabs(dy)) + 1;
    const float slope =
        walkX ? std::fabs(static_cast<float>(dy) / static_cast<float>(dx))
              : (dy != 0 ? std::fabs(static_cast<float>(dx) / static_cast<float>(dy)) : 0.0f);
    int64_t x = x0, y = y0;
    float error = -0.5f;
    for (int64_t i = 0; i < pixels; ++i) {
        if (!visit(x, y)) {
            return;
        }
        error += slope;
        if (walkX) {
            x += stepX;
            if (error >= 0) {
                y += stepY;
                error -= 1.0f;
            }
        } else {
            y += stepY;
            if (error >= 0) {
                x += stepX;
                error -= 1.0f;
            }
        }
    }
}

// The distance from the segment's midpoint ((x0 + x1) / 2, (y0 + y1) / 2) to the first pixel of
// the walk that, together with the next pixel of the walk, passes the test; `none` when no pair
// does. pass(x, y) returns 1 (passes), 0 (fails) or -1 (no later pixel can pass: stop).
template <typename Pass>
double FirstPairDistance(int x0, int y0, int x1, int y1, double none, Pass pass) {
    const double midX = (static_cast<double>(x0) + x1) / 2.0;
    const double midY = (static_cast<double>(y0) + y1) / 2.0;
    double distance = none;
    bool previousPassed = false;
    int64_t previousX = x0, previousY = y0;
    WalkDigitalLine(x0, y0, x1, y1, [&](int64_t x, int64_t y) {
        const int passed = pass(x, y);
        if (passed < 0) {
            return false;
        }
        if (passed && previousPassed) {
            distance = std::hypot(previousX - midX, previousY - midY);
            return false;
        }
        previousPassed = passed != 0;
        previousX = x;
        previousY = y;
        return true;
    });
    return distance;
}

// Every pixel of the walk from (x0, y0) to (x1, y1), in order, both ends included.
std::vector<cv::Point> LinePixels(int x0, int y0, int x1, int y1);

// Whether both ends (and so every pixel) of a walk lie inside the image.
inline bool WalkInside(const cv::Mat& image, int x0, int y0, int x1, int y1) {
    return x0 >= 0 && x1 >= 0 && y0 >= 0 && y1 >= 0 && x0 < image.cols && x1 < image.cols &&
           y0 < image.rows && y1 < image.rows;
}

// The value of a single-channel 8-bit image at (x, y), 0 outside it.
inline uint8_t PixelOrZero(const cv::Mat& image, int64_t x, int64_t y) {
    if (x < 0 || y < 0 || x >= image.cols || y >= image.rows) {
        return 0;
    }
    return image.ptr<uint8_t>(static_cast<int>(y))[x];
}

}  // namespace olvar

#endif  // OLVAR_IMAGING_DIGITAL_LINE_H
