// Integral arrays and oriented box sums: the one way every tracker samples a mask.
//
// An integral array holds, for a W x H single-channel 8-bit image, W * H signed 32-bit inclusive
// prefix sums in row-major order with row length W: I(x, y) is the sum of p(u, v) over
// 0 <= u <= x, 0 <= v <= y, and I(W - 1, H - 1) is the image total. Masks hold 0 or 1, so sums
// are pixel counts.
//
// A box has an anchor (x, y), a length L, a width w and an angle theta (radians, 0 = image-right,
// pi/2 = image-up). It runs from the anchor along (cos theta, -sin theta) for L pixels and
// extends w / 2 to each side along (sin theta, cos theta). Near the four axis directions
// (|theta - axis| < 0.01) the box becomes an index rectangle x0..x1, y0..y1 whose sum counts
// x0 < u <= x1, y0 < v <= y1 (the first row and column are not counted); otherwise the rotated
// rectangle is summed row by row. A rotated box touching the border (a vertex left of column 0,
// right of column W - 1, above row 1 or below row H - 1) counts as empty.
//
// Requires: integral arrays of exactly W * H entries for the W, H passed. Ensures: no operation
// reads or writes outside the array or the image, whatever the box; non-finite box parameters
// give an empty box, and so does a rotated box turned inside out by a negative length or width.
#ifndef OLVAR_IMAGING_INTEGRAL_H
#define OLVAR_IMAGING_INTEGRAL_H

#include <cstdint>
#include <limits>
#include <vector>

#include <opencv2/core.hpp>

namespace olvar {

using Integral = std::vector<int32_t>;

// Truncates toward zero like a C cast, but saturates values outside the int range (and maps NaN
// to 0) instead of invoking undefined behaviour.
inline int TruncToInt(double value) {
    if (!(value == value)) {
        return 0;
    }
    if (value >= 2147483647.0) {
        return std::numeric_limits<int>::max();
    }
    if (value <= -2147483648.0) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(value);
}

// Fills the integral of a single-channel 8-bit image, resizing the array to its pixel count.
// Returns false (and does nothing) when the image is empty or not single-channel 8-bit.
bool BuildIntegral(Integral& array, const cv::Mat& image);

// I(x1, y1) + I(x0, y0) - I(x1, y0) - I(x0, y1): the sum over x0 < u <= x1, y0 < v <= y1.
// Coordinates must lie inside the image.
inline int CornerSum(const int32_t* integral, int W, int x0, int y0, int x1, int y1) {
    return integral[y1 * W + x1] + integral[y0 * W + x0] - integral[y0 * W + x1] -
           integral[y1 * W + x0];
}

// CornerSum with every coordinate first clamped into the image.
int ClampedCornerSum(const int32_t* integral, int W, int H, int x0, int y0, int x1, int y1);

// The mask total, I(W - 1, H - 1); 0 for an empty array.
inline int IntegralTotal(const Integral& integral) {
    return integral.empty() ? 0 : integral.back();
}

void SinCos(double theta, double* sine, double* cosine);

// Brings theta into [-pi, pi] by whole turns; exactly pi and -pi stay as they are.
double NormaliseAngle(double theta);

// The box's pixel sum divided by its area (axis cases: the index rectangle's area, which may be
// 0 and then gives a non-finite result; rotated boxes: the number of pixels scanned).
double BoxDensity(int W, int H, double x, double y, double L, double w, double theta,
                  const int32_t* integral);

// The box's pixel sum.
int BoxSum(int W, int H, double x, double y, double L, double w, double theta,
           const int32_t* integral);

// The sum of the densities of the two edge strips (each stripWidth wide) of a band of
// bandWidth centred on the line through (x, y) at angle theta.
double StripPairDensity(int W, int H, double x, double y, double L, double theta, double bandWidth,
                        double stripWidth, const int32_t* integral);

struct RotatedRectResult {
    int sum;
    int count;
};

// Sum and pixel count over the rotated rectangle with the given top, left, bottom and right
// vertices. A rectangle reaching the border gives sum 0 and count 1.
RotatedRectResult RotatedRectSum(const int32_t* integral, int W, int H, cv::Point top,
                                 cv::Point left, cv::Point bottom, cv::Point right);

// Sets every pixel of the box that lies inside the image to 0 in a single-channel 8-bit image.
void ClearBox(cv::Mat& image, double x, double y, double L, double w, double theta);

// The work store of ClearBoxInIntegral, kept by the caller so that repeated calls allocate
// nothing once it has grown.
struct ClearedPixels {
    struct Pixel {
        int x, y;
        int32_t value;
    };
    std::vector<Pixel> pixels;
    std::vector<int32_t> removed;
};

// ClearBox, and the image's integral brought up to date with it: the same values BuildIntegral
// would give, but only the entries right of and below the cleared pixels change. An integral
// of another size than the image (or no work store) is rebuilt whole.
void ClearBoxInIntegral(cv::Mat& image, Integral& integral, double x, double y, double L, double w,
                        double theta, ClearedPixels* work);

// Walks the segment from (x0, y0) to (x1, y1) over a mask and returns the distance from the
// segment's midpoint to the first pixel that is set together with the next pixel of the walk;
// 10 when there is none. Pixels outside the image count as clear.
double LineHitDistance(const cv::Mat& image, int x0, int y0, int x1, int y1);

// Sum of the pixels of a single-channel 8-bit image over the square of side 2r + 1 centred on
// (x, y); 0 when r is negative. Pixels outside the image are not counted.
int SquareSum(const cv::Mat& image, int x, int y, int r);

}  // namespace olvar

#endif  // OLVAR_IMAGING_INTEGRAL_H
