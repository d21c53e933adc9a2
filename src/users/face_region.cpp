// The face region behind GetFaceRegion: a box around the face, tightened to the skin or found
// from the silhouette's head outline, scored, and squared.
#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "users/per_user_state.h"

namespace olvar {
namespace {

struct Box {
    int left, top, right, bottom;
};

int Count(const int32_t* integral, int W, int H, const Box& b) {
    return ClampedCornerSum(integral, W, H, b.left, b.top, b.right, b.bottom);
}

// Shrinks the box to the rows and columns that hold a pixel whose 5 x 5 neighbourhood has more
// than 15 skin pixels. Every scan works on the box as it was before any of them.
Box TightenToSkin(const cv::Mat& skin, Box box) {
    if (box.left >= box.right || box.top >= box.bottom) {
        return box;
    }
    auto qualifies = [&](int x, int y) { return SquareSum(skin, x, y, 2) > 15; };
    auto rowHolds = [&](int y) {
        for (int x = box.left; x < box.right; ++x) {
            if (qualifies(x, y)) {
                return true;
            }
        }
        return false;
    };
    auto columnHolds = [&](int x) {
        for (int y = box.top; y < box.bottom; ++y) {
            if (qualifies(x, y)) {
                return true;
            }
        }
        return false;
    };
    Box result = box;
    for (int y = box.top; y < box.bottom; ++y) {
        if (rowHolds(y)) {
            result.top = y;
            break;
        }
    }
    for (int y = box.bottom; y > box.top; --y) {
        if (y < skin.rows && rowHolds(y)) {
            result.bottom = y;
            break;
        }
    }
    for (int x = box.left; x < box.right; ++x) {
        if (columnHolds(x)) {
            result.left = x;
            break;
        }
    }
    for (int x = box.right; x > box.left; --x) {
        if (x < skin.cols && columnHolds(x)) {
            result.right = x;
            break;
        }
    }
    return result;
}

// The head's outline on the foreground: top where a narrow column band empties, sides where the
// columns empty beside the face. Each bound that is not found costs a miss.
Box SearchFaceOutline(const int32_t* fg, int W, int H, double fx, double fy, double faceSize,
                      double y2, int t, int* misses) {
    const double a = t;
    const int x = TruncToInt(fx);
    const int g = TruncToInt(0.2 * a + 0.5);
    *misses = 0;
    Box box{};
    box.bottom = TruncToInt((faceSize * 0.5 + fy + (y2 - 0.2 * a)) * 0.5);

    const int bandLeft = TruncToInt(std::max(0.0, x - 0.2 * a));
    const int bandRight = TruncToInt(std::min(W - 2.0, x + 0.2 * a));
    int row = TruncToInt(fy);
    if (row < 2) {
        box.top = 2;
        ++*misses;
    } else {
        while (ClampedCornerSum(fg, W, H, bandLeft, row - 1, bandRight, row) >= g) {
            --row;
            if (row <= 1) {
                break;
            }
        }
        if (row <= 1) {
            box.top = 2;
            ++*misses;
        } else {
            box.top = row;
        }
    }

    const int rowEnd = TruncToInt(box.bottom - 0.1 * a);
    auto columnCount = [&](int column) {
        return ClampedCornerSum(fg, W, H, column - 1, box.top, column, rowEnd);
    };
    bool found = false;
    for (int j = x - 1; j > std::max(x - t, 0); --j) {
        if (columnCount(j + 1) < g) {
            box.left = j + 2;
            found = true;
            break;
        }
    }
    if (!found) {
        box.left = TruncToInt(fx - 0.5 * a + 0.5);
        ++*misses;
    }
    const int end = std::min(x + t, W - 2);
    found = false;
    for (int i = x + 1; i < end; ++i) {
        if (columnCount(i + 1) < g) {
            box.right = i;
            found = true;
            break;
        }
    }
    if (!found) {
        box.right = end;
        ++*misses;
    }
    if (box.right - box.left < 1) {
        box.right = box.left + 1;
    }
    return box;
}

// Count over area. A box turned upside down (bottom above top) has a negative area and, by the
// four-lookup sum, a negative count: its density is that of the rows between the two bounds.
double Density(const int32_t* integral, int W, int H, const Box& b) {
    const double area = static_cast<double>(b.right - b.left) * (b.bottom - b.top);
    return area != 0 ? Count(integral, W, H, b) / area : 0.0;
}

}  // namespace

FaceSquare SquareFaceRegionInFrame(const cv::Rect& box, float scale, int frameWidth) {
    const int x0 = TruncToInt(box.x * scale), y0 = TruncToInt(box.y * scale);
    const int x1 = TruncToInt((box.x + box.width) * scale);
    const int y1 = TruncToInt((box.y + box.height) * scale);
    const int side = ((x1 - x0) / 4) * 4 + 4;
    const int half = side >> 1;
    FaceSquare square{};
    square.top = std::max(0, ((y0 + y1) >> 1) - half);
    square.bottom = square.top + side;
    const int cx = (x0 + x1) >> 1;
    if (cx > (frameWidth >> 1)) {
        square.right = std::min(cx + half, frameWidth - 1);
        square.left = square.right - side;
    } else {
        square.left = std::max(0, cx - half);
        square.right = square.left + side;
    }
    return square;
}

int PerUserState::FaceRegion(int user, const cv::Mat& foreground, const int32_t* foregroundIntegral,
                             const int32_t* motionIntegral, cv::Rect* out) {
    if (user < 0 || user > 1) {
        return kOlvarNothing;
    }
    UserTracker& u = users[user];
    if (!u.handsReady) {
        return kOlvarNothing;
    }
    const int W = width, H = height;
    const int t = u.torsoSize;
    const double fx = u.faceX, fy = u.faceY;
    const double y2 = u.skeleton.J(BodySkeleton::kNeckTop).y;

    cv::Mat clone = rawSkinMap.clone();
    cv::dilate(clone, clone, cv::Mat(), cv::Point(-1, -1), 2);
    cv::erode(clone, clone, cv::Mat(), cv::Point(-1, -1), 1);
    cv::multiply(clone, foreground, clone, 1);

    Box box{std::max(0, TruncToInt(fx) - (t >> 1)), std::max(0, TruncToInt(fy) - (t >> 1)),
            std::min(TruncToInt(fx) + (t >> 1), W - 1), TruncToInt(y2) - ((51 * t) >> 8)};
    int misses = 0;
    const long long boxArea = static_cast<long long>(box.bottom - box.top) * (box.right - box.left);
    if (((boxArea * 77) >> 8) < Count(skinIntegral.data(), W, H, box)) {
        box = TightenToSkin(clone, box);
        box.left = box.left >= 3 ? box.left - 2 : 0;
        box.top = box.top >= 5 ? box.top - 4 : 0;
        box.right = std::min(box.right + 2, W - 1);
        box.bottom = TruncToInt(y2) - ((39 * t) >> 8);
    } else {
        box = SearchFaceOutline(foregroundIntegral, W, H, fx, fy, u.faceSize, y2, t, &misses);
    }

    // Score the box: few misses, wide enough, some but not all skin, not all moving, full of
    // foreground, and not much wider than deep.
    const int w = box.right - box.left;
    const int h = box.bottom - box.top;
    const double foregroundDensity = Density(foregroundIntegral, W, H, box);
    const double motionDensity = Density(motionIntegral, W, H, box);
    const Box band{box.left + w / 10, box.top + h / 5, box.right - w / 10, box.bottom - h / 5};
    const double skinDensity = Density(skinIntegral.data(), W, H, band);
    double p = std::exp(-0.3 * misses);
    if (0.4 * t > w) {
        p *= 0.5;
    }
    if (skinDensity < 0.02) {
        p *= 0.6;
    }
    if (skinDensity > 0.8) {
        p *= 2 * skinDensity;
    }
    const double moving = motionDensity > 0.5 ? p * (1 - (motionDensity - 0.5)) : p;
    const double score = moving * foregroundDensity * (0.8 * w > box.bottom ? 0.7 : 1.0);
    if (!(score > 0.65)) {
        return kOlvarNothing;
    }

    // Square it on the larger side, centred, kept inside the frame horizontally.
    const int side = std::max(h, w);
    const int full = 4 * ((side + 3) / 4);
    const int half = 2 * ((side + 3) / 4);
    Box square{};
    square.top = std::max(0, ((box.top + box.bottom) >> 1) - half);
    square.bottom = square.top + full;
    const int c = (box.left + box.right) >> 1;
    if (c > (W >> 1)) {
        square.right = std::min(c + half + 1, W - 1);
        square.left = square.right - full + 1;
    } else {
        square.left = std::max(0, c - half + 1);
        square.right = square.left + full + 1;
    }
    u.faceX = static_cast<float>((square.left + square.right) >> 1);
    u.faceY = static_cast<float>((square.top + square.bottom) >> 1);
    *out =
        cv::Rect(square.left, square.top, square.right - square.left, square.bottom - square.top);
    return kOlvarOk;
}

}  // namespace olvar
