// Fall-back when no arm chain fits: the hands as the two largest skin blobs, each accepted only
// when the silhouette connects it to its shoulder.
#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "body/hands.h"
#include "imaging/contours.h"
#include "imaging/integral.h"

namespace olvar {

SkinBlobPair FindSkinBlobPair(const cv::Mat& skinMap, int torsoSize) {
    SkinBlobPair result;
    if (skinMap.empty() || skinMap.type() != CV_8UC1) {
        return result;
    }
    cv::Mat work = skinMap.clone();
    const std::vector<std::vector<cv::Point>> contours = FindOuterContours(work);
    constexpr int kMaxBlobs = 50;
    double largest = -1, second = -1;
    cv::Rect largestBox, secondBox;
    int considered = 0;
    for (const auto& contour : contours) {
        const double area = std::fabs(cv::contourArea(contour));
        if (!(area > 10)) {
            continue;
        }
        if (++considered > kMaxBlobs) {
            break;
        }
        const cv::Rect box = cv::boundingRect(contour);
        if (area > largest) {
            second = largest;
            secondBox = largestBox;
            largest = area;
            largestBox = box;
        } else if (area > second) {
            second = area;
            secondBox = box;
        }
    }
    if (second < 0) {
        return result;
    }
    const cv::Point a(largestBox.x + largestBox.width / 2, largestBox.y + largestBox.height / 2);
    const cv::Point b(secondBox.x + secondBox.width / 2, secondBox.y + secondBox.height / 2);
    if (std::abs(a.x - b.x) < ((26 * torsoSize) >> 8)) {
        return result;
    }
    result.found = true;
    result.hand0 = a.x >= b.x ? a : b;
    result.hand1 = a.x >= b.x ? b : a;
    return result;
}

bool ConnectsToShoulder(int arm, int W, int H, cv::Point blob, double shoulderX, double shoulderY,
                        int handSizeInt, const int32_t* foreground, cv::Mat& visited) {
    const int e = handSizeInt / 2;
    if (e < 1 || foreground == nullptr || W <= 2 * e + 1 || H <= 2 * e + 1) {
        return false;
    }
    // The walk stays in the box spanned by the blob and the shoulder, widened by e and open to
    // the frame edge on the arm's outer side; every (2e) x (2e) window then lies in the image.
    int left = TruncToInt(std::min<double>(blob.x, shoulderX)) - e;
    int right = TruncToInt(std::max<double>(blob.x, shoulderX)) + e;
    if (arm == 0) {
        right = W - e - 1;
    } else {
        left = e;
    }
    left = std::max(left, e);
    right = std::min(right, W - e - 1);
    const int top = std::max(e, TruncToInt(std::min<double>(blob.y, shoulderY)) - e);
    const int bottom = std::min(H - e - 1, TruncToInt(std::max<double>(blob.y, shoulderY)) + e);

    visited.create(H, W, CV_8UC1);
    visited.setTo(0);
    auto distance = [&](int x, int y) { return std::hypot(x - shoulderX, y - shoulderY); };
    const int threshold = (205 * e * e) >> 8;
    const int outward = arm == 0 ? 1 : -1;
    int x = blob.x, y = blob.y;
    if (x >= 0 && x < W && y >= 0 && y < H) {
        visited.ptr<uint8_t>(y)[x] = 1;
    }
    double closest = distance(x, y);
    const long maxSteps = static_cast<long>(W) * H;
    for (long step = 0; step < maxSteps && closest > e; ++step) {
        const int toward = shoulderY > y ? 1 : -1;
        // Outward, toward the shoulder's row, inward, away from it.
        const int dirs[4][2] = {{outward, 0}, {0, toward}, {-outward, 0}, {0, -toward}};
        bool moved = false;
        for (const auto& dir : dirs) {
            const int tx = x + dir[0] * e, ty = y + dir[1] * e;
            if (tx < left || tx > right || ty < top || ty > bottom ||
                visited.ptr<uint8_t>(ty)[tx] != 0) {
                continue;
            }
            if (CornerSum(foreground, W, tx - e, ty - e, tx + e, ty + e) <= threshold) {
                continue;
            }
            for (int k = 1; k <= e; ++k) {
                const int u = x + dir[0] * k, v = y + dir[1] * k;
                if (u >= 0 && u < W && v >= 0 && v < H) {
                    visited.ptr<uint8_t>(v)[u] = 1;
                }
            }
            x = tx;
            y = ty;
            closest = std::min(closest, distance(x, y));
            moved = true;
            break;
        }
        if (!moved) {
            break;
        }
    }
    return closest < (handSizeInt & ~1);
}

}  // namespace olvar
