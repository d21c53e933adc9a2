#include "body/face_colour_tracker.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace olvar {

ParkMiller& SharedColourRandom() {
    static ParkMiller shared;
    return shared;
}

void ColourHistogram(const cv::Mat& colour, const cv::Mat* mask, int cx, int cy, int hx, int hy,
                     float* histogram) {
    std::fill(histogram, histogram + kHistogramBins, 0.0f);
    const int W = colour.cols, H = colour.rows;
    if (cx < 0 || cx > W - 1 || cy < 0 || cy > H - 1 || hx < 1 || hy < 1) {
        return;
    }
    const bool masked = mask != nullptr && !mask->empty();
    const int r2 = hx * hx + hy * hy;
    const float fr2 = static_cast<float>(r2);
    long long total = 0;
    const int x0 = std::max(0, cx - hx), x1 = std::min(W - 1, cx + hx);
    const int y0 = std::max(0, cy - hy), y1 = std::min(H - 1, cy + hy);
    for (int row = y0; row <= y1; ++row) {
        const uint8_t* pixels = colour.ptr<uint8_t>(row);
        const uint8_t* maskRow = masked ? mask->ptr<uint8_t>(row) : nullptr;
        const int dy2 = (row - cy) * (row - cy);
        for (int col = x0; col <= x1; ++col) {
            if (maskRow != nullptr && maskRow[col] == 0) {
                continue;
            }
            const int t = (col - cx) * (col - cx) + dy2;
            if (t >= r2) {
                continue;
            }
            const uint8_t* p = pixels + 3 * col;  // blue, green, red
            const int bin = (p[2] >> 5) * 64 + (p[1] >> 5) * 8 + (p[0] >> 5);
            histogram[bin] += static_cast<float>(r2 - t) / fr2;
            total += r2 - t;
        }
    }
    const float norm = static_cast<float>(total) / fr2;
    if (norm > 0.00001f) {
        for (int i = 0; i < kHistogramBins; ++i) {
            histogram[i] /= norm;
        }
    }
}

float Bhattacharyya(const float* a, const float* b) {
    // Four bins at a time, as four running sums.
    float lanes[4] = {0, 0, 0, 0};
    for (int i = 0; i < kHistogramBins; i += 4) {
        for (int k = 0; k < 4; ++k) {
            lanes[k] += std::sqrt(a[i + k] * b[i + k]);
        }
    }
    return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
}

FaceColourTracker::FaceColourTracker() {
    SharedColourRandom().Reseed();
}

}  // namespace olvar
