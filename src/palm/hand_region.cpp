#include "palm/hand_region.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

namespace olvar {
namespace {

// Canny thresholds of the palm's edge map (aperture 3, L1 gradient).
constexpr int kEdgeLow = 150;
constexpr int kEdgeHigh = 250;

// The integral at (x, y), 0 left of column 0 or above row 0.
int At(const int32_t* integral, int W, int x, int y) {
    return x < 0 || y < 0 ? 0 : integral[y * W + x];
}

// Set pixels of the inclusive rectangle x0..x1, y0..y1 (inside the image).
int RectCount(const int32_t* integral, int W, int x0, int y0, int x1, int y1) {
    return At(integral, W, x1, y1) - At(integral, W, x0 - 1, y1) - At(integral, W, x1, y0 - 1) +
           At(integral, W, x0 - 1, y0 - 1);
}

bool Usable(MaskView view) {
    return view.integral != nullptr && !view.mask.empty() && view.mask.cols > 0 &&
           view.mask.rows > 0;
}

}  // namespace

bool FindHandRegion(const UserTracker& tracker, MaskView skin, MaskView foreground, HandBox* box) {
    if (!tracker.handFound[1] || !Usable(skin) || !Usable(foreground)) {
        return false;
    }
    const double x = tracker.handX[1];
    const double y = tracker.handY[1];
    const BodySkeleton& skeleton = tracker.skeleton;
    const double s = skeleton.bodyScale;
    if (!(y <= skeleton.J(BodySkeleton::kShoulderCentre).y + s / 2 &&
          x <= skeleton.J(BodySkeleton::kNeckTop).x - s / 2)) {
        return false;
    }
    const double d =
        (0.25 * tracker.torsoSize + 0.5 * tracker.handSizeInt[1] + 0.5 * tracker.faceSize) * 0.5;
    HandBox candidate{TruncToInt(x - 2 * d), TruncToInt(y - 2 * d), TruncToInt(x + 2 * d),
                      TruncToInt(y + 2 * d)};
    // A hand near the frame edge puts the corners outside the array: clamp before reading.
    const HandBox clamped = ClampBox(candidate, skin.mask.cols, skin.mask.rows);
    const int skinCount =
        CornerSum(skin.integral, skin.mask.cols, clamped.x0, clamped.y0, clamped.x1, clamped.y1);
    if (skinCount < 0.1 * d * d) {
        return false;
    }
    if (!TightenBox(skin, &candidate) || !TightenBox(foreground, &candidate)) {
        return false;
    }
    *box = candidate;
    return true;
}

int HandRegionStep(const UserTracker& tracker, MaskView skin, MaskView foreground,
                   PalmState* palm) {
    palm->handRegionFound = false;
    HandBox box;
    if (!FindHandRegion(tracker, skin, foreground, &box)) {
        palm->palmActive = false;
        return kHandRegionMissing;
    }
    palm->handRegionFound = true;
    palm->handBox = box;
    return kHandRegionFound;
}

bool TightenBox(MaskView view, HandBox* box) {
    if (!Usable(view)) {
        return false;
    }
    const int W = view.mask.cols, H = view.mask.rows;
    const HandBox b = ClampBox(*box, W, H);
    if (b.x1 < b.x0 || b.y1 < b.y0) {
        return false;
    }
    const int32_t* I = view.integral;
    int x0 = b.x0;
    while (x0 <= b.x1 && RectCount(I, W, x0, b.y0, x0, b.y1) == 0) {
        ++x0;
    }
    if (x0 > b.x1) {
        return false;
    }
    int x1 = b.x1;
    while (RectCount(I, W, x1, b.y0, x1, b.y1) == 0) {
        --x1;
    }
    int y0 = b.y0;
    while (RectCount(I, W, x0, y0, x1, y0) == 0) {
        ++y0;
    }
    int y1 = b.y1;
    while (RectCount(I, W, x0, y1, x1, y1) == 0) {
        --y1;
    }
    *box = ClampBox({x0 - 1, y0 - 1, x1 + 1, y1 + 1}, W, H);
    return true;
}

bool FillHoles(const HandBox& box, cv::Mat& mask, FillScratch* scratch) {
    if (mask.empty() || mask.type() != CV_8UC1) {
        return false;
    }
    const int W = mask.cols, H = mask.rows;
    const HandBox b = ClampBox(box, W, H);
    if (b.x1 < b.x0 || b.y1 < b.y0) {
        return false;
    }
    cv::Mat& reached = scratch->reached;
    if (reached.size() != mask.size() || reached.type() != CV_8UC1) {
        reached.create(mask.size(), CV_8UC1);
    }
    const cv::Rect area(b.x0, b.y0, b.x1 - b.x0 + 1, b.y1 - b.y0 + 1);
    reached(area).setTo(0);

    std::vector<int>& queue = scratch->queue;
    queue.clear();
    const auto visit = [&](int x, int y) {
        if (mask.at<uint8_t>(y, x) == 0 && reached.at<uint8_t>(y, x) == 0) {
            reached.at<uint8_t>(y, x) = 1;
            queue.push_back(y * W + x);
        }
    };
    for (int x = b.x0; x <= b.x1; ++x) {
        visit(x, b.y0);
        visit(x, b.y1);
    }
    for (int y = b.y0; y <= b.y1; ++y) {
        visit(b.x0, y);
        visit(b.x1, y);
    }
    for (size_t head = 0; head < queue.size(); ++head) {
        const int x = queue[head] % W, y = queue[head] / W;
        if (x > b.x0)
            visit(x - 1, y);
        if (y < b.y1)
            visit(x, y + 1);
        if (x < b.x1)
            visit(x + 1, y);
        if (y > b.y0)
            visit(x, y - 1);
    }
    for (int y = b.y0; y <= b.y1; ++y) {
        uint8_t* m = mask.ptr<uint8_t>(y);
        const uint8_t* r = reached.ptr<uint8_t>(y);
        for (int x = b.x0; x <= b.x1; ++x) {
            if (m[x] == 0 && r[x] == 0) {
                m[x] = 1;
            }
        }
    }
    return true;
}

Centroid BoxCentroid(cv::Rect* box, const cv::Mat& mask) {
    const cv::Rect r = *box & cv::Rect(0, 0, mask.cols, mask.rows);
    *box = r;
    Centroid c;
    if (r.empty() || mask.type() != CV_8UC1) {
        return c;
    }
    long long sumX = 0, sumY = 0;
    int left = r.x + r.width, right = r.x - 1;
    for (int y = r.y; y < r.y + r.height; ++y) {
        const uint8_t* m = mask.ptr<uint8_t>(y);
        for (int x = r.x; x < r.x + r.width; ++x) {
            if (m[x] != 0) {
                ++c.count;
                sumX += x;
                sumY += y;
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    if (c.count == 0) {
        return c;
    }
    c.x = static_cast<int>(sumX / c.count);
    c.y = static_cast<int>(sumY / c.count);
    box->x = left;
    box->width = right - left + 1;
    return c;
}

void EdgesInBox(const cv::Mat& grey, cv::Mat& edges, cv::Rect roi, CannyWork* work) {
    if (grey.empty() || grey.type() != CV_8UC1) {
        return;
    }
    if (edges.size() != grey.size() || edges.type() != CV_8UC1) {
        edges.create(grey.size(), CV_8UC1);
    }
    edges.setTo(0);
    CannyEdges(grey, roi, kEdgeLow, kEdgeHigh, work, edges);
}

}  // namespace olvar
