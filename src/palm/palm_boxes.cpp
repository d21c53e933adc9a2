#include "palm/palm_boxes.h"

#include <algorithm>
#include <cmath>

#include "imaging/integral.h"

namespace olvar {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The fraction of hand mask in a band beyond which the hand goes on.
constexpr double kBandFill = 0.02;

bool Positive(double value) {
    return std::isfinite(value) && value > 0;
}

int Clamp(int v, int lo, int hi) {
    return std::max(lo, std::min(v, hi));
}

// A finite density, or -1 when the box has no area.
double Density(int W, int H, double x, double y, double L, double w, double theta,
               const int32_t* integral) {
    const double d = BoxDensity(W, H, x, y, L, w, theta, integral);
    return std::isfinite(d) ? d : -1.0;
}

cv::Rect FromCorners(int left, int top, int right, int bottom) {
    if (right < left || bottom < top) {
        return {};
    }
    return {left, top, right - left + 1, bottom - top + 1};
}

}  // namespace

bool HandOpenTest(const int32_t* handIntegral, int W, int H, double X, double Y, double R,
                  double A) {
    if (handIntegral == nullptr || W < 1 || H < 1 || !Positive(R) || !std::isfinite(X) ||
        !std::isfinite(Y) || !std::isfinite(A)) {
        return false;
    }
    const double g = 0.5 * R;
    double s, c;
    SinCos(A, &s, &c);
    const double length = 1.5 * g;
    const double width = std::max(g / 5, 2.0);
    const double across = A + kPi / 2;
    const auto density = [&](double ax, double ay) {
        const int x = Clamp(TruncToInt(ax), 0, W - 1);
        const int y = Clamp(TruncToInt(ay), 0, H - 1);
        return Density(W, H, x, y, length, width, across, handIntegral);
    };
    const double nearFill = density(X + 1.5 * g * c - 0.2 * g * s, Y - 1.5 * g * s - 0.2 * g * c);
    const double farFill = density(X + 3.5 * g * c - 0.3 * g * s, Y - 3.5 * g * s - 0.3 * g * c);
    return nearFill > 0.08 && farFill >= 0 && farFill <= 0.08;
}

int IsHandStill(int W, int H, const PalmPose& palm, const int32_t* skinIntegral,
                const int32_t* foregroundIntegral, const int32_t* motionIntegral) {
    if (skinIntegral == nullptr || foregroundIntegral == nullptr || motionIntegral == nullptr ||
        !Positive(palm.radius) || !std::isfinite(palm.x) || !std::isfinite(palm.y) ||
        !std::isfinite(palm.angle)) {
        return kHandMoving;
    }
    const double L = 5 * palm.radius, w = 3 * palm.radius;
    const auto density = [&](const int32_t* integral) {
        return Density(W, H, palm.x, palm.y, L, w, palm.angle, integral);
    };
    if (density(skinIntegral) < 0.05 || density(foregroundIntegral) < 0.2) {
        return kHandMoving;
    }
    const double m = density(motionIntegral);
    if (m < 0) {
        return kHandMoving;
    }
    if (m * L * w < 10) {
        return kHandMotionless;
    }
    return m < 0.03 ? kHandSlow : kHandMoving;
}

cv::Rect HandRoi(const int32_t* I, int W, int H, double X, double Y, double R) {
    // The rectangle keeps one pixel to every border, so the image needs at least 3 x 3 pixels.
    if (I == nullptr || W < 3 || H < 3 || !std::isfinite(X) || !std::isfinite(Y) ||
        !std::isfinite(R) || R < 0) {
        return {};
    }
    int x0 = std::max(1, TruncToInt(X - 2 * R));
    int y0 = std::max(1, TruncToInt(Y - 2 * R));
    int x1 = TruncToInt(std::min(W - 2.0, X + 2 * R));
    int y1 = TruncToInt(std::min(H - 2.0, Y + 2 * R));
    if (x1 < x0 || y1 < y0) {
        return {};
    }
    const int reach = TruncToInt(0.8 * R);

    // Row bands of three rows over the column band around the centre.
    const int xa = Clamp(TruncToInt(std::max(0.0, X - 0.5 * R)), 0, W - 1);
    const int xb = Clamp(TruncToInt(std::min(W - 1.0, X + 0.5 * R)), 0, W - 1);
    const double rowLimit = kBandFill * 2 * (xb - xa);
    const auto thinRow = [&](int y) { return CornerSum(I, W, xa, y - 1, xb, y + 1) < rowLimit; };
    for (int y = std::max(1, TruncToInt(Y) + reach); y < y1; ++y) {
        if (thinRow(y)) {
            y1 = y;
            break;
        }
    }
    for (int y = std::min(H - 2, TruncToInt(Y - reach)); y > y0; --y) {
        if (thinRow(y)) {
            y0 = y;
            break;
        }
    }

    // Column strips of three columns over the row band around the centre.
    const int ya = Clamp(TruncToInt(std::max(0.0, Y - 0.5 * R)), 0, H - 1);
    const int yb = Clamp(TruncToInt(std::min(H - 1.0, Y + 0.5 * R)), 0, H - 1);
    const double columnLimit = kBandFill * 2 * (yb - ya);
    const auto thinColumn = [&](int x) {
        return CornerSum(I, W, x - 1, ya, x + 1, yb) < columnLimit;
    };
    for (int x = std::max(1, TruncToInt(X + reach)); x < x1; ++x) {
        if (thinColumn(x)) {
            x1 = x;
            break;
        }
    }
    for (int x = std::min(W - 2, TruncToInt(X - reach)); x > x0; --x) {
        if (thinColumn(x)) {
            x0 = x;
            break;
        }
    }

    x0 = std::max(x0 - 5, 1);
    y0 = std::max(y0 - 5, 1);
    x1 = std::min(x1 + 5, W - 2);
    y1 = std::min(y1 + 5, H - 2);
    return {x0, y0, x1 - x0, y1 - y0};
}

RecentredPalm RecentrePalm(MaskView handMask, const HandBox& handBox, double k, int handSize,
                           double modelRadius, double palmAngle) {
    RecentredPalm out;
    if (!Positive(k) || handMask.integral == nullptr || handMask.mask.empty() ||
        !std::isfinite(modelRadius) || !std::isfinite(palmAngle)) {
        return out;
    }
    const double b = (k * handSize * 0.5 + modelRadius) * 0.5;
    out.radius = b / k;

    HandBox tight{TruncToInt(handBox.x0 * k), TruncToInt(handBox.y0 * k),
                  TruncToInt(handBox.x1 * k), TruncToInt(handBox.y1 * k)};
    if (!TightenBox(handMask, &tight)) {
        return out;
    }
    cv::Rect edges = FromCorners(tight.x0, tight.y0, tight.x1, tight.y1);
    const Centroid first = BoxCentroid(&edges, handMask.mask);
    if (first.count == 0) {
        return out;
    }
    double mx = first.x, my = first.y;
    const bool fingersUp = palmAngle > 0;
    const bool fingersRight = palmAngle > -kPi / 2 && palmAngle < kPi / 2;
    const int left = edges.x, top = edges.y;
    const int right = edges.x + edges.width - 1, bottom = edges.y + edges.height - 1;

    // Move the wrist-side edges to 2b from the centroid until the centroid settles.
    for (int pass = 0; pass < 6; ++pass) {
        int l = left, t = top, r = right, d = bottom;
        if (fingersUp) {
            d = TruncToInt(my + 2 * b + 0.5);
        } else {
            t = TruncToInt(my - 2 * b - 0.5);
        }
        if (fingersRight) {
            l = TruncToInt(mx - 2 * b - 0.5);
        } else {
            r = TruncToInt(mx + 2 * b + 0.5);
        }
        cv::Rect box = FromCorners(l, t, r, d);
        const Centroid c = BoxCentroid(&box, handMask.mask);
        if (c.count == 0) {
            break;
        }
        const double moved = std::hypot(c.x - mx, c.y - my);
        mx = c.x;
        my = c.y;
        if (moved <= 0.1 * b) {
            break;
        }
    }

    // The palm: 2b toward the wrist, 1.2b toward the fingers.
    const int t = TruncToInt(fingersUp ? my - 1.2 * b - 0.5 : my - 2 * b - 0.5);
    const int d = TruncToInt(fingersUp ? my + 2 * b + 0.5 : my + 1.2 * b + 0.5);
    const int l = TruncToInt(fingersRight ? mx - 2 * b - 0.5 : mx - 1.2 * b - 0.5);
    const int r = TruncToInt(fingersRight ? mx + 1.2 * b + 0.5 : mx + 2 * b + 0.5);
    cv::Rect palmBox = FromCorners(l, t, r, d);
    const Centroid palm = BoxCentroid(&palmBox, handMask.mask);
    if (palm.count > 0) {
        mx = palm.x;
        my = palm.y;
    }
    out.found = true;
    out.x = static_cast<float>(mx / k);
    out.y = static_cast<float>(my / k);
    return out;
}

}  // namespace olvar
