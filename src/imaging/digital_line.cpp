#include "imaging/digital_line.h"

namespace olvar {

std::vector<cv::Point> LinePixels(int x0, int y0, int x1, int y1) {
    std::vector<cv::Point> pixels;
    WalkDigitalLine(x0, y0, x1, y1, [&](int64_t x, int64_t y) {
        pixels.emplace_back(static_cast<int>(x), static_cast<int>(y));
        return true;
    });
    return pixels;
}

}  // namespace olvar
