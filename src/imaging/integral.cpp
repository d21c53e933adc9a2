#include "imaging/integral.h"

#include "imaging/digital_line.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace olvar {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kAxisTolerance = 0.01;

bool AllFinite(double a, double b, double c, double d, double e) {
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d) &&
           std::isfinite(e);
}

int Clamp(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// The index rectangle of an axis-aligned box.
struct IndexRect {
    int x0, y0, x1, y1;
};

enum class BoxShape { kAxis, kRotated };

// A box reduced either to its index rectangle (axis cases) or to its four named vertices.
struct BoxGeometry {
    BoxShape shape;
    IndexRect rect;
    cv::Point top, left, bottom, right;
};

bool Near(double theta, double axis) {
    return std::fabs(theta - axis) < kAxisTolerance;
}

BoxGeometry ResolveBox(int W, int H, double x, double y, double L, double w, double theta) {
    theta = NormaliseAngle(theta);
    const double d = w / 2;
    BoxGeometry g{};
    g.shape = BoxShape::kAxis;
    if (Near(theta, 0)) {
        g.rect = {TruncToInt(x), std::max(0, TruncToInt(y - d)), std::min(W - 1, TruncToInt(x + L)),
                  std::min(H - 1, TruncToInt(y + d))};
        return g;
    }
    if (Near(theta, kPi / 2)) {
        g.rect = {std::max(0, TruncToInt(x - d)), TruncToInt(std::max(0.0, y - L)),
                  std::min(W - 1, TruncToInt(x + d)), TruncToInt(y)};
        return g;
    }
    if (Near(theta, kPi) || Near(theta, -kPi)) {
        g.rect = {TruncToInt(std::max(0.0, x - L)), std::max(0, TruncToInt(y - d)), TruncToInt(x),
                  std::min(H - 1, TruncToInt(y + d))};
        return g;
    }
    if (Near(theta, -kPi / 2)) {
        g.rect = {std::max(0, TruncToInt(x - d)), TruncToInt(y), std::min(W - 1, TruncToInt(x + d)),
                  TruncToInt(std::min(static_cast<double>(H - 1), y + L))};
        return g;
    }

    double s, c;
    SinCos(theta, &s, &c);
    const cv::Point p1(TruncToInt(x + d * s), TruncToInt(y + d * c));
    const cv::Point p2(TruncToInt(x + L * c + d * s), TruncToInt(y - L * s + d * c));
    const cv::Point p3(TruncToInt(x + L * c - d * s), TruncToInt(y - L * s - d * c));
    const cv::Point p4(TruncToInt(x - d * s), TruncToInt(y - d * c));
    g.shape = BoxShape::kRotated;
    if (theta > 0 && theta < kPi / 2) {
        g.top = p3, g.left = p4, g.bottom = p1, g.right = p2;
    } else if (theta > kPi / 2) {
        g.top = p2, g.left = p3, g.bottom = p4, g.right = p1;
    } else if (theta < -kPi / 2) {
        g.top = p1, g.left = p2, g.bottom = p3, g.right = p4;
    } else {
        g.top = p4, g.left = p1, g.bottom = p2, g.right = p3;
    }
    return g;
}

// A rotated rectangle is scanned only when it lies inside the image, clear of row 0, and its
// vertices are in the order their names promise: the top and bottom vertex bound every row, the
// left and right vertex every column. A box of non-negative length and width always satisfies
// the order (truncation keeps it); a negative length or width turns the box inside out, and its
// bands would then run outside the image, so it counts as empty.
bool ScannableRect(int W, int H, cv::Point top, cv::Point left, cv::Point bottom, cv::Point right) {
    if (left.x < 0 || right.x > W - 1 || top.y < 1 || bottom.y > H - 1) {
        return false;
    }
    const bool rowsOrdered =
        top.y <= left.y && top.y <= right.y && left.y <= bottom.y && right.y <= bottom.y;
    const bool columnsOrdered =
        left.x <= top.x && left.x <= bottom.x && top.x <= right.x && bottom.x <= right.x;
    return rowsOrdered && columnsOrdered;
}

// A boundary that follows an edge of ex columns over ey rows by integer error accumulation: each
// row adds ex to the accumulator, and the boundary moves one pixel per ey added to the counter
// while the counter is below the accumulator.
struct EdgeStepper {
    int accumulator = 0;
    int counter = 0;

    int StepsForRow(int ex, int ey) {
        accumulator += ex;
        int steps = 0;
        while (counter < accumulator) {
            counter += ey;
            ++steps;
        }
        return steps;
    }
};

int NonZero(int v) {
    return v == 0 ? 1 : v;
}

// Scans the rotated rectangle row by row from the top vertex downward in three bands, calling
// row(v, a, b) with the left and right boundary of every scanned row v.
template <typename RowFn>
void ScanRotatedRect(cv::Point top, cv::Point left, cv::Point bottom, cv::Point right, RowFn row) {
    const int tx = top.x, ty = top.y, lx = left.x, ly = left.y;
    const int rx = right.x, ry = right.y, by = bottom.y;
    // Edge steps; a zero difference becomes 1.
    const int hx = NonZero(tx - lx), hy = NonZero(ly - ty);          // top-left edge
    const int mx = NonZero(rx - tx), my = NonZero(ry - ty);          // top-right edge
    const int lbx = NonZero(bottom.x - lx), lby = NonZero(by - ly);  // left-bottom edge
    const int ux = NonZero(rx - bottom.x), uy = NonZero(by - ry);    // right-bottom edge

    int a = tx, b = tx;
    int v = ty;
    EdgeStepper leftEdge, rightEdge;
    if (ly < ry) {
        // Band 1: from the top vertex down to the left vertex.
        for (; v < ly; ++v) {
            row(v, a, b);
            a -= leftEdge.StepsForRow(hx, hy);
            b += rightEdge.StepsForRow(mx, my);
        }
        // Band 2: the left boundary runs down the left-bottom edge, the right one parallel.
        const int bandOneRight = b;
        a = lx;
        EdgeStepper lowerLeft;
        for (; v < ry; ++v) {
            b = bandOneRight + (a - lx);
            row(v, a, b);
            a += lowerLeft.StepsForRow(lbx, lby);
        }
        // Band 3: the right boundary runs down the right-bottom edge.
        b = rx;
        EdgeStepper lowerRight;
        for (; v < by; ++v) {
            row(v, a, b);
            a += lowerLeft.StepsForRow(lbx, lby);
            b -= lowerRight.StepsForRow(ux, uy);
        }
    } else {
        // Band 1: from the top vertex down to the right vertex.
        for (; v < ry; ++v) {
            row(v, a, b);
            a -= leftEdge.StepsForRow(hx, hy);
            b += rightEdge.StepsForRow(mx, my);
        }
        // Band 2: the left boundary keeps following the top-left edge, the right one parallel.
        const int bandOneLeft = a;
        EdgeStepper upperLeft;
        b = rx;
        for (; v < ly; ++v) {
            b = rx + (a - bandOneLeft);
            row(v, a, b);
            a -= upperLeft.StepsForRow(hx, hy);
        }
        // Band 3: the left boundary restarts at the left vertex and runs down the left-bottom
        // edge, continuing band 2's accumulator; the right boundary continues from band 2 down
        // the right-bottom edge.
        a = lx;
        EdgeStepper lowerRight;
        for (; v < by; ++v) {
            row(v, a, b);
            a += upperLeft.StepsForRow(lbx, lby);
            b -= lowerRight.StepsForRow(ux, uy);
        }
    }
}

}  // namespace

bool BuildIntegral(Integral& array, const cv::Mat& image) {
    if (image.empty() || image.type() != CV_8UC1) {
        return false;
    }
    const int W = image.cols, H = image.rows;
    array.resize(static_cast<size_t>(W) * H);
    int32_t* out = array.data();
    const uint8_t* row0 = image.ptr<uint8_t>(0);
    int32_t running = 0;
    for (int x = 0; x < W; ++x) {
        running += row0[x];
        out[x] = running;
    }
    for (int y = 1; y < H; ++y) {
        const uint8_t* row = image.ptr<uint8_t>(y);
        const int32_t* above = out + static_cast<size_t>(y - 1) * W;
        int32_t* current = out + static_cast<size_t>(y) * W;
        running = 0;
        for (int x = 0; x < W; ++x) {
            running += row[x];
            current[x] = above[x] + running;
        }
    }
    return true;
}

int ClampedCornerSum(const int32_t* integral, int W, int H, int x0, int y0, int x1, int y1) {
    if (integral == nullptr || W <= 0 || H <= 0) {
        return 0;
    }
    return CornerSum(integral, W, Clamp(x0, 0, W - 1), Clamp(y0, 0, H - 1), Clamp(x1, 0, W - 1),
                     Clamp(y1, 0, H - 1));
}

void SinCos(double theta, double* sine, double* cosine) {
    *sine = std::sin(theta);
    *cosine = std::cos(theta);
}

double NormaliseAngle(double theta) {
    if (!std::isfinite(theta)) {
        return 0.0;
    }
    if (std::fabs(theta) > 64 * kPi) {
        theta = std::fmod(theta, 2 * kPi);
    }
    while (theta > kPi) {
        theta -= 2 * kPi;
    }
    while (theta < -kPi) {
        theta += 2 * kPi;
    }
    return theta;
}

namespace {

// Sum and area of a box; the area of a rotated box is the number of pixels scanned.
struct BoxMeasure {
    int sum;
    double area;
};

BoxMeasure MeasureBox(int W, int H, double x, double y, double L, double w, double theta,
                      const int32_t* integral) {
    if (integral == nullptr || W <= 0 || H <= 0 || !AllFinite(x, y, L, w, theta)) {
        return {0, 1.0};
    }
    const BoxGeometry g = ResolveBox(W, H, x, y, L, w, theta);
    if (g.shape == BoxShape::kAxis) {
        // The anchor's own coordinate is not clamped by the box rule; clamping here only keeps
        // reads inside the array for anchors that lie outside the image.
        const IndexRect r{Clamp(g.rect.x0, 0, W - 1), Clamp(g.rect.y0, 0, H - 1),
                          Clamp(g.rect.x1, 0, W - 1), Clamp(g.rect.y1, 0, H - 1)};
        const int sum = CornerSum(integral, W, r.x0, r.y0, r.x1, r.y1);
        return {sum, static_cast<double>(r.x1 - r.x0) * (r.y1 - r.y0)};
    }
    const RotatedRectResult rr = RotatedRectSum(integral, W, H, g.top, g.left, g.bottom, g.right);
    return {rr.sum, static_cast<double>(rr.count)};
}

}  // namespace

double BoxDensity(int W, int H, double x, double y, double L, double w, double theta,
                  const int32_t* integral) {
    const BoxMeasure m = MeasureBox(W, H, x, y, L, w, theta, integral);
    return m.sum / m.area;
}

int BoxSum(int W, int H, double x, double y, double L, double w, double theta,
           const int32_t* integral) {
    return MeasureBox(W, H, x, y, L, w, theta, integral).sum;
}

namespace {

// The mean of two values each truncated toward zero, added in floating point so that values
// saturated at the int limits cannot overflow.
double MeanOfTruncated(double a, double b) {
    return (static_cast<double>(TruncToInt(a)) + TruncToInt(b)) / 2.0;
}

}  // namespace

double StripPairDensity(int W, int H, double x, double y, double L, double theta, double bandWidth,
                        double stripWidth, const int32_t* integral) {
    double s, c;
    SinCos(theta, &s, &c);
    const double h = bandWidth / 2;
    const double q = h - stripWidth;
    const double x1 = MeanOfTruncated(x - h * s, x - q * s);
    const double y1 = MeanOfTruncated(y - h * c, y - q * c);
    const double x2 = MeanOfTruncated(x + h * s, x + q * s);
    const double y2 = MeanOfTruncated(y + h * c, y + q * c);
    return BoxDensity(W, H, x1, y1, L, stripWidth, theta, integral) +
           BoxDensity(W, H, x2, y2, L, stripWidth, theta, integral);
}

RotatedRectResult RotatedRectSum(const int32_t* integral, int W, int H, cv::Point top,
                                 cv::Point left, cv::Point bottom, cv::Point right) {
    if (integral == nullptr || !ScannableRect(W, H, top, left, bottom, right)) {
        return {0, 1};
    }
    RotatedRectResult result{0, 0};
    ScanRotatedRect(top, left, bottom, right, [&](int v, int a, int b) {
        // Boundaries stay within the left and right vertices; the clamp only guards the reads.
        a = Clamp(a, 0, W - 1);
        b = Clamp(b, 0, W - 1);
        result.sum += CornerSum(integral, W, a, v - 1, b, v);
        result.count += b - a;
    });
    return result;
}

namespace {

// Calls clear(row, u) for every pixel of the box inside the image, in ClearBox's order.
template <typename Clear>
void ForBoxPixels(const cv::Mat& image, double x, double y, double L, double w, double theta,
                  Clear clear) {
    if (image.empty() || image.type() != CV_8UC1 || !AllFinite(x, y, L, w, theta)) {
        return;
    }
    const int W = image.cols, H = image.rows;
    const BoxGeometry g = ResolveBox(W, H, x, y, L, w, theta);
    if (g.shape == BoxShape::kAxis) {
        // Only the part of the index rectangle inside the image is cleared: a box whose anchor
        // lies outside must not clear the border column or row it would be clamped onto.
        const int x0 = std::max(g.rect.x0, 0), x1 = std::min(g.rect.x1, W - 1);
        const int y0 = std::max(g.rect.y0, 0), y1 = std::min(g.rect.y1, H - 1);
        for (int v = y0; v <= y1; ++v) {
            for (int u = x0; u <= x1; ++u) {
                clear(v, u);
            }
        }
        return;
    }
    if (!ScannableRect(W, H, g.top, g.left, g.bottom, g.right)) {
        return;
    }
    ScanRotatedRect(g.top, g.left, g.bottom, g.right, [&](int v, int a, int b) {
        if (v < 0 || v > H - 1) {
            return;
        }
        for (int u = std::max(a, 0); u <= std::min(b, W - 1); ++u) {
            clear(v, u);
        }
    });
}

}  // namespace

void ClearBox(cv::Mat& image, double x, double y, double L, double w, double theta) {
    ForBoxPixels(image, x, y, L, w, theta, [&](int v, int u) { image.ptr<uint8_t>(v)[u] = 0; });
}

void ClearBoxInIntegral(cv::Mat& image, Integral& integral, double x, double y, double L, double w,
                        double theta, ClearedPixels* work) {
    const int W = image.cols, H = image.rows;
    if (work == nullptr || integral.size() != static_cast<size_t>(W) * H) {
        ClearBox(image, x, y, L, w, theta);
        BuildIntegral(integral, image);
        return;
    }
    // The pixels that held a value, with that value; and their bounding rectangle.
    work->pixels.clear();
    int x0 = W, y0 = H, x1 = -1, y1 = -1;
    ForBoxPixels(image, x, y, L, w, theta, [&](int v, int u) {
        uint8_t& p = image.ptr<uint8_t>(v)[u];
        if (p != 0) {
            work->pixels.push_back({u, v, p});
            x0 = std::min(x0, u);
            x1 = std::max(x1, u);
            y0 = std::min(y0, v);
            y1 = std::max(y1, v);
            p = 0;
        }
    });
    if (work->pixels.empty()) {
        return;
    }
    // The removed values' own integral over the rectangle; every entry right of and below a
    // removed pixel loses it: entry (u, v) loses the removed sum up to (min(u, x1), min(v, y1)).
    const int rw = x1 - x0 + 1, rh = y1 - y0 + 1;
    std::vector<int32_t>& removed = work->removed;
    removed.assign(static_cast<size_t>(rw) * rh, 0);
    for (const ClearedPixels::Pixel& p : work->pixels) {
        removed[static_cast<size_t>(p.y - y0) * rw + (p.x - x0)] += p.value;
    }
    for (int v = 0; v < rh; ++v) {
        int32_t running = 0;
        int32_t* row = removed.data() + static_cast<size_t>(v) * rw;
        const int32_t* above = v > 0 ? row - rw : nullptr;
        for (int u = 0; u < rw; ++u) {
            running += row[u];
            row[u] = running + (above != nullptr ? above[u] : 0);
        }
    }
    for (int v = y0; v < H; ++v) {
        const int32_t* loss = removed.data() + static_cast<size_t>(std::min(v, y1) - y0) * rw;
        int32_t* out = integral.data() + static_cast<size_t>(v) * W;
        for (int u = x0; u <= x1; ++u) {
            out[u] -= loss[u - x0];
        }
        const int32_t rest = loss[rw - 1];
        for (int u = x1 + 1; u < W; ++u) {
            out[u] -= rest;
        }
    }
}

double LineHitDistance(const cv::Mat& image, int x0, int y0, int x1, int y1) {
    if (image.empty() || image.type() != CV_8UC1) {
        return 10.0;
    }
    if (WalkInside(image, x0, y0, x1, y1)) {
        const uint8_t* data = image.data;
        const size_t step = image.step;
        return FirstPairDistance(x0, y0, x1, y1, 10.0, [&](int64_t x, int64_t y) {
            return data[static_cast<size_t>(y) * step + static_cast<size_t>(x)] != 0 ? 1 : 0;
        });
    }
    const int64_t cols = image.cols, rows = image.rows;
    const int stepX = x1 >= x0 ? 1 : -1, stepY = y1 >= y0 ? 1 : -1;
    return FirstPairDistance(x0, y0, x1, y1, 10.0, [&](int64_t x, int64_t y) {
        // Both coordinates move monotonically, so once the walk is past an image edge in its
        // direction of travel no later pixel can be set (-1 ends the walk).
        if ((stepX > 0 ? x >= cols : x < 0) || (stepY > 0 ? y >= rows : y < 0)) {
            return -1;
        }
        return PixelOrZero(image, x, y) != 0 ? 1 : 0;
    });
}

int SquareSum(const cv::Mat& image, int x, int y, int r) {
    if (r < 0 || image.empty() || image.type() != CV_8UC1) {
        return 0;
    }
    // The square's bounds in 64 bits, so that a huge radius cannot overflow.
    const int64_t reach = r;
    const int u0 = static_cast<int>(std::max<int64_t>(0, x - reach));
    const int u1 = static_cast<int>(std::min<int64_t>(image.cols - 1, x + reach));
    const int v0 = static_cast<int>(std::max<int64_t>(0, y - reach));
    const int v1 = static_cast<int>(std::min<int64_t>(image.rows - 1, y + reach));
    int sum = 0;
    for (int v = v0; v <= v1; ++v) {
        const uint8_t* row = image.ptr<uint8_t>(v);
        for (int u = u0; u <= u1; ++u) {
            sum += row[u];
        }
    }
    return sum;
}

}  // namespace olvar
