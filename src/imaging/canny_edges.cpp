#include "imaging/canny_edges.h"

#include <algorithm>
#include <cstdlib>

namespace olvar {
namespace {

constexpr int kShift = 15;
constexpr int kTan22 = 13573;  // tan(22.5 degrees) in 15-bit fixed point, rounded

enum : uint8_t { kWeak = 0, kNone = 1, kEdge = 2 };

// The rectangle and its one-pixel frame as the detector sees it: the rectangle alone, its
// border pixels repeated into the frame.
void FillSource(const cv::Mat& grey, cv::Rect r, std::vector<uint8_t>* source) {
    const int w = r.width + 2, h = r.height + 2;
    source->resize(static_cast<size_t>(w) * h);
    for (int v = 0; v < h; ++v) {
        const int y = std::clamp(r.y - 1 + v, r.y, r.y + r.height - 1);
        const uint8_t* row = grey.ptr<uint8_t>(y);
        uint8_t* out = source->data() + static_cast<size_t>(v) * w;
        out[0] = row[r.x];
        std::copy(row + r.x, row + r.x + r.width, out + 1);
        out[w - 1] = row[r.x + r.width - 1];
    }
}

// Sobel gradients (aperture 3) and their L1 magnitude for every rectangle pixel.
void Gradients(cv::Rect r, CannyWork* work) {
    const int w = r.width, h = r.height, sw = w + 2;
    const size_t n = static_cast<size_t>(w) * h;
    work->dx.resize(n);
    work->dy.resize(n);
    work->magnitude.assign(static_cast<size_t>(w + 2) * (h + 2), 0);
    const uint8_t* s = work->source.data();
    for (int y = 0; y < h; ++y) {
        const uint8_t* up = s + static_cast<size_t>(y) * sw + 1;
        const uint8_t* mid = up + sw;
        const uint8_t* down = mid + sw;
        int16_t* dx = work->dx.data() + static_cast<size_t>(y) * w;
        int16_t* dy = work->dy.data() + static_cast<size_t>(y) * w;
        int* m = work->magnitude.data() + static_cast<size_t>(y + 1) * (w + 2) + 1;
        for (int x = 0; x < w; ++x) {
            const int gx = (up[x + 1] + 2 * mid[x + 1] + down[x + 1]) -
                           (up[x - 1] + 2 * mid[x - 1] + down[x - 1]);
            const int gy =
                (down[x - 1] + 2 * down[x] + down[x + 1]) - (up[x - 1] + 2 * up[x] + up[x + 1]);
            dx[x] = static_cast<int16_t>(gx);
            dy[x] = static_cast<int16_t>(gy);
            m[x] = std::abs(gx) + std::abs(gy);
        }
    }
}

// A pixel above the low threshold that is a maximum across its gradient's direction.
bool IsRidge(int m, int gx, int gy, const int* mag, int stride) {
    const int x = std::abs(gx);
    const int y = std::abs(gy) << kShift;
    const int tan22x = x * kTan22;
    if (y < tan22x) {
        return m > mag[-1] && m >= mag[1];
    }
    const int tan67x = tan22x + (x << (kShift + 1));
    if (y > tan67x) {
        return m > mag[-stride] && m >= mag[stride];
    }
    const int s = (gx ^ gy) < 0 ? -1 : 1;
    return m > mag[-stride - s] && m > mag[stride + s];
}

// Marks weak and strong ridge pixels; strong ones are edges and go on the stack.
void Suppress(cv::Rect r, int low, int high, CannyWork* work) {
    const int w = r.width, h = r.height, stride = w + 2;
    work->map.assign(static_cast<size_t>(stride) * (h + 2), kNone);
    work->stack.clear();
    for (int y = 0; y < h; ++y) {
        const int16_t* dx = work->dx.data() + static_cast<size_t>(y) * w;
        const int16_t* dy = work->dy.data() + static_cast<size_t>(y) * w;
        const size_t rowStart = static_cast<size_t>(y + 1) * stride + 1;
        const int* mag = work->magnitude.data() + rowStart;
        for (int x = 0; x < w; ++x) {
            const int m = mag[x];
            if (m <= low || !IsRidge(m, dx[x], dy[x], mag + x, stride)) {
                continue;
            }
            const int at = static_cast<int>(rowStart) + x;
            if (m > high) {
                work->map[at] = kEdge;
                work->stack.push_back(at);
            } else {
                work->map[at] = kWeak;
            }
        }
    }
}

// Grows the edges from the strong pixels through 8-connected weak ones.
void Hysteresis(cv::Rect r, CannyWork* work) {
    const int stride = r.width + 2;
    const int neighbours[8] = {-stride - 1, -stride,    -stride + 1, -1,
                               1,           stride - 1, stride,      stride + 1};
    uint8_t* map = work->map.data();
    while (!work->stack.empty()) {
        const int at = work->stack.back();
        work->stack.pop_back();
        for (const int d : neighbours) {
            if (map[at + d] == kWeak) {
                map[at + d] = kEdge;
                work->stack.push_back(at + d);
            }
        }
    }
}

}  // namespace

void CannyEdges(const cv::Mat& grey, cv::Rect roi, int low, int high, CannyWork* work,
                cv::Mat& edges) {
    if (work == nullptr || grey.empty() || grey.type() != CV_8UC1 || edges.type() != CV_8UC1 ||
        edges.size() != grey.size()) {
        return;
    }
    const cv::Rect r = roi & cv::Rect(0, 0, grey.cols, grey.rows);
    if (r.empty()) {
        return;
    }
    if (low > high) {
        std::swap(low, high);
    }
    FillSource(grey, r, &work->source);
    Gradients(r, work);
    Suppress(r, low, high, work);
    Hysteresis(r, work);
    const int stride = r.width + 2;
    for (int y = 0; y < r.height; ++y) {
        const uint8_t* map = work->map.data() + static_cast<size_t>(y + 1) * stride + 1;
        uint8_t* out = edges.ptr<uint8_t>(r.y + y) + r.x;
        for (int x = 0; x < r.width; ++x) {
            out[x] = map[x] == kEdge ? 255 : 0;
        }
    }
}

}  // namespace olvar
