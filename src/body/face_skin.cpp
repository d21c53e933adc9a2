// Preparation of the hand search: the face's skin blob is erased from the skin map, so that the
// hand cells see only hands and arms; and, in two-user operation, a second silhouette beside
// the user is marked so that the hand searches stop short of it.
#include <algorithm>
#include <cstdlib>

#include "body/user_tracker.h"
#include "imaging/integral.h"

namespace olvar {
namespace {

// Inclusive pixel box.
struct PixelBox {
    int x0, x1, y0, y1;
};

bool Inside(const PixelBox& b, double x, double y, int margin) {
    return x >= b.x0 - margin && x <= b.x1 + margin && y >= b.y0 - margin && y <= b.y1 + margin;
}

// First and last rows and columns of the box that hold a pixel whose 5 x 5 window has more
// than 15 skin pixels: the face's skin extent. False when there is none.
bool SkinExtent(const cv::Mat& skin, const PixelBox& box, PixelBox* extent) {
    const int x0 = std::max(3, box.x0), y0 = std::max(3, box.y0);
    const int x1 = std::min(skin.cols - 3, box.x1), y1 = std::min(skin.rows - 3, box.y1);
    bool any = false;
    PixelBox e{x1, x0, y1, y0};
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            if (SquareSum(skin, x, y, 2) > 15) {
                any = true;
                e.x0 = std::min(e.x0, x);
                e.x1 = std::max(e.x1, x);
                e.y0 = std::min(e.y0, y);
                e.y1 = std::max(e.y1, y);
            }
        }
    }
    *extent = e;
    return any;
}

// Grows the stored extent toward the measured one: freely on the first measurement after a
// reset, afterwards only by steps smaller than m; every eleventh measurement replaces it.
void UpdateFaceExtent(FaceExtent& stored, const FaceExtent& measured, int m) {
    if (stored.updates >= 11) {
        stored.left = measured.left;
        stored.right = measured.right;
        stored.up = measured.up;
        stored.down = measured.down;
        stored.updates = 0;
        return;
    }
    auto grow = [&](int& value, int next) {
        if (next > value && (stored.updates == 0 || next - value < m)) {
            value = next;
        }
    };
    grow(stored.left, measured.left);
    grow(stored.right, measured.right);
    grow(stored.up, measured.up);
    grow(stored.down, measured.down);
    ++stored.updates;
}

}  // namespace

void UserTracker::RemoveFaceSkin(cv::Mat& skinMap, Integral& faceFreeSkin) {
    if (skinMap.empty() || skinMap.type() != CV_8UC1 || skinMap.cols != W || skinMap.rows != H) {
        faceFreeSkin.assign(static_cast<size_t>(std::max(0, W)) * std::max(0, H), 0);
        return;
    }
    // Sizes and positions far outside the frame are held where the box arithmetic cannot
    // overflow; values inside the frame are unchanged.
    const int reach = W + H;
    const int fx = std::clamp(TruncToInt(faceX + 0.5), -reach, 2 * reach);
    const int fy = std::clamp(TruncToInt(faceY + 0.5), -reach, 2 * reach);
    const int fs = std::clamp(TruncToInt(faceSize + 0.5), 0, reach);
    const int t = std::clamp(torsoSize, 0, reach);

    // Inner box: the face itself (two thirds of its size wide), half-open.
    const PixelBox inner{std::max(0, fx - ((85 * fs) >> 8)), std::min(fx + ((85 * fs) >> 8), W - 1),
                         std::max(0, fy - fs / 2), std::min(fy + fs / 2, H - 1)};
    // Outer box: how far the face's skin blob may reach (hair line, neck, ears), inclusive.
    const int side = std::max(fs, t);
    const int v = std::max((461 * fs) >> 8, (461 * t) >> 8);
    PixelBox outer{std::max(2, fx - side), std::min(fx + side, W - 3), std::max(2, fy - v),
                   std::min(fy + v, H - 3)};

    // Measure the face's skin extent unless a hand is near the face (it would join the blob).
    const int m = (307 * std::clamp(handSizeInt[0], 0, reach)) >> 8;
    const SkeletonJoint& hand0 = skeleton.J(BodySkeleton::kRightHand);
    const SkeletonJoint& hand1 = skeleton.J(BodySkeleton::kLeftHand);
    PixelBox extent{};
    if (!Inside(outer, hand0.x, hand0.y, m) && !Inside(outer, hand1.x, hand1.y, m) &&
        SkinExtent(skinMap, outer, &extent)) {
        const int cx = TruncToInt(faceX), cy = TruncToInt(faceY);
        FaceExtent measured;
        measured.left = cx - extent.x0;
        measured.right = extent.x1 - cx;
        measured.up = cy - extent.y0;
        measured.down = extent.y1 - cy;
        UpdateFaceExtent(faceExtent, measured, m);
        outer.x0 = std::max(0, fx - std::abs((333 * faceExtent.left) >> 8));
        outer.x1 = std::min(W - 1, fx + std::abs((333 * faceExtent.right) >> 8));
        outer.y0 = std::max(0, fy - std::abs((333 * faceExtent.up) >> 8));
        outer.y1 = std::min(H - 1, fy + std::abs((333 * faceExtent.down) >> 8));
    }

    // Clear the face's skin and everything joined to it inside the outer box.
    std::vector<int>& queue = handWork.queue;
    queue.clear();
    for (int y = inner.y0; y < inner.y1; ++y) {
        uint8_t* row = skinMap.ptr<uint8_t>(y);
        for (int x = inner.x0; x < inner.x1; ++x) {
            if (row[x] != 0) {
                row[x] = 0;
                queue.push_back(y * W + x);
            }
        }
    }
    static constexpr int kDx[4] = {-1, 0, 1, 0};
    static constexpr int kDy[4] = {0, 1, 0, -1};
    for (size_t head = 0; head < queue.size(); ++head) {
        const int x = queue[head] % W, y = queue[head] / W;
        for (int k = 0; k < 4; ++k) {
            const int u = x + kDx[k], v2 = y + kDy[k];
            if (u < outer.x0 || u > outer.x1 || v2 < outer.y0 || v2 > outer.y1) {
                continue;
            }
            uint8_t& pixel = skinMap.ptr<uint8_t>(v2)[u];
            if (pixel != 0) {
                pixel = 0;
                queue.push_back(v2 * W + u);
            }
        }
    }
    BuildIntegral(faceFreeSkin, skinMap);
}

int UserTracker::MarkNeighbourRegion(const int32_t* foregroundIntegral) {
    if (!present || foregroundIntegral == nullptr || W < 4 || H < 4) {
        return kOlvarNothing;
    }
    const int reach = W + H;
    const int t = std::clamp(torsoSize, 0, reach);
    const int f = std::clamp(TruncToInt(faceX), -reach, 2 * reach);
    const int bottom = H / 2;
    // Foreground of columns a .. b (inclusive) in rows 1 .. H / 2.
    auto columns = [&](int a, int b) {
        return RangeCount(foregroundIntegral, W, H, a - 1, 0, b, bottom);
    };
    const int minBand = W * H / 50;
    const int gapCount = (77 * H) >> 9;
    if (f > W / 2) {
        // Face in the right half: look left of the user for a second silhouette.
        const int e = std::max(1, f - ((9 * t) >> 1));
        const int c = std::max(1, f - ((307 * t) >> 8));
        if (c < e || columns(e, c) < minBand) {
            return kOlvarNothing;
        }
        for (int i = (77 * e + 51 * c) >> 7; i <= c; ++i) {
            if (columns(i, i) < gapCount) {
                otherPresent = true;
                otherX = i - (i - e) / 2;
                otherY = 2;
                otherSize = (i - e) / 2;
                break;
            }
        }
        return kOlvarOk;
    }
    const int e = std::max(1, std::min(f + ((307 * t) >> 8), W - 2));
    const int c = std::max(1, std::min(f + ((9 * t) >> 1), W - 2));
    if (c < e || columns(e, c) < minBand) {
        return kOlvarNothing;
    }
    for (int i = (77 * c + 51 * e) >> 7; i >= e; --i) {
        if (columns(i, i) < gapCount) {
            otherPresent = true;
            otherX = i + (c - i) / 2;
            otherY = 2;
            otherSize = (c - i) / 2;
            break;
        }
    }
    return kOlvarOk;
}

}  // namespace olvar
