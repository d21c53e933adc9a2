// Hand tracking: each frame both arm chains are re-fitted near their previous places. The cell
// grid around the body is shared by the arms; each arm then floods its region, lists hand
// candidates near the previous hand, places elbows near the previous elbow, scores whole chains
// and takes the weighted mean of the best, or falls back to a hanging arm and a skin blob.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "body/hands.h"
#include "body/user_tracker.h"
#include "imaging/integral.h"

namespace olvar {
namespace {

bool IsMask(const cv::Mat& m, int W, int H) {
    return !m.empty() && m.type() == CV_8UC1 && m.cols == W && m.rows == H;
}

void ClearRect(cv::Mat& image, int x0, int x1, int y0, int y1) {
    // Columns x0 .. x1 - 1, rows y0 .. y1 - 1, clipped to the image.
    x0 = std::max(0, x0);
    y0 = std::max(0, y0);
    x1 = std::min(image.cols, x1);
    y1 = std::min(image.rows, y1);
    if (x0 < x1 && y0 < y1) {
        image(cv::Rect(x0, y0, x1 - x0, y1 - y0)).setTo(0);
    }
}

// Columns lo .. hi (inclusive) of the arm's band beside the neck.
struct Band {
    int lo, hi;
};

Band ArmBand(const ArmContext& arm) {
    const int sr = TruncToInt(arm.bodyScale + 0.5);
    const int w = TruncToInt(arm.upperWidth);
    const int nx = TruncToInt(arm.neckX);
    const int reach = (1075 * sr) >> 8;  // 4.2 scales
    Band b;
    if (arm.arm == 0) {
        b.lo = nx;
        b.hi = std::min(nx + reach, arm.W - w - 2);
        if (arm.other.present && arm.other.x > arm.neckX) {
            b.hi = std::min(b.hi, arm.other.x - arm.other.size);
        }
    } else {
        b.lo = std::max(nx - reach, w + 1);
        b.hi = nx;
        if (arm.other.present && arm.other.x < arm.neckX) {
            b.lo = std::max(b.lo, arm.other.x + arm.other.size);
        }
    }
    b.lo = std::max(0, b.lo);
    b.hi = std::min(arm.W - 1, b.hi);
    return b;
}

void AddIfNew(int index, std::vector<char>& listed, std::vector<int>& candidates) {
    if (!listed[index]) {
        listed[index] = 1;
        candidates.push_back(index);
    }
}

// Cells strictly inside the square of half-side 2g' around (cx, cy), kept 2 pixels off the
// border.
void ListCellsNear(int cx, int cy, int g, int W, int H, const std::vector<HandCell>& cells,
                   std::vector<char>& listed, std::vector<int>& candidates) {
    const int x0 = std::max(2, cx - 2 * g), x1 = std::min(W - 3, cx + 2 * g);
    const int y0 = std::max(2, cy - 2 * g), y1 = std::min(H - 3, cy + 2 * g);
    for (size_t i = 0; i < cells.size(); ++i) {
        const HandCell& c = cells[i];
        if (x0 < c.x && c.x < x1 && y0 < c.y && c.y < y1) {
            AddIfNew(static_cast<int>(i), listed, candidates);
        }
    }
}

int HandPitch(int torsoSize) {
    return TruncToInt(0.166667 * torsoSize + 0.5);
}

// Hangs the arm straight down from its shoulder, then takes the hand from a skin blob that the
// silhouette connects to the shoulder.
void FallBack(UserTracker& tracker, int arm, const cv::Mat& skinMap, const int32_t* foreground) {
    BodySkeleton& sk = tracker.skeleton;
    const BodySkeleton::ArmParts parts = BodySkeleton::Arm(arm);
    SkeletonLink& upper = sk.L(parts.upperArm);
    SkeletonLink& fore = sk.L(parts.forearm);
    const SkeletonJoint& shoulder = sk.J(parts.shoulder);
    SkeletonJoint& elbow = sk.J(parts.elbow);
    SkeletonJoint& hand = sk.J(parts.hand);
    constexpr double kDown = -1.5707963267948966;
    elbow.x = shoulder.x;
    elbow.y = shoulder.y + upper.nominalLength;
    hand.x = elbow.x;
    hand.y = elbow.y + fore.nominalLength;
    upper.angle = kDown;
    fore.angle = kDown;

    if (!IsMask(skinMap, tracker.W, tracker.H)) {
        return;
    }
    const SkinBlobPair blobs = FindSkinBlobPair(skinMap, tracker.torsoSize);
    if (!blobs.found) {
        return;
    }
    const cv::Point b = arm == 0 ? blobs.hand0 : blobs.hand1;
    if (!(b.x > 0 && b.y > 0)) {
        return;
    }
    if (!ConnectsToShoulder(arm, tracker.W, tracker.H, b, shoulder.x, shoulder.y,
                            tracker.handSizeInt[arm], foreground, tracker.handWork.blobImage)) {
        return;
    }
    hand.x = b.x;
    hand.y = b.y;
    fore.nominalLength = std::hypot(b.x - elbow.x, b.y - elbow.y);
    SetHandFound(tracker, arm, b.x, b.y, foreground);
}

// One arm's tracking step: 1 when the arm's side holds no silhouette, else 0.
int TrackArm(UserTracker& tracker, int arm, double elbowRefX, double elbowRefY,
             const HandMaps& maps, const cv::Mat& skinMap) {
    HandWorkStores& work = tracker.handWork;
    ArmContext ctx = MakeArmContext(tracker, arm);
    ctx.elbowRefX = elbowRefX;
    ctx.elbowRefY = elbowRefY;
    if (FloodArmRegion(ctx, work.scratchMask, maps.foreground, work.armImage, work.queue) == 0) {
        return kOlvarNothing;
    }
    // The previous hand and its step, held where the derived bounds cannot overflow.
    const int reach = tracker.W + tracker.H;
    auto sane = [&](float v) {
        return std::isfinite(v) ? std::clamp<double>(v, -reach, 2 * reach) : 0.0;
    };
    const double previousX = sane(tracker.handX[arm]), previousY = sane(tracker.handY[arm]);
    const int stepX = std::clamp(tracker.handStepX[arm], -reach, reach);
    const int stepY = std::clamp(tracker.handStepY[arm], -reach, reach);
    TrackingWeights(ctx, work.cells, previousX, previousY, stepX, stepY, work.trackWeights);
    const BlobBox blob = GrowHandBlob(ctx, previousX, previousY, maps.motionCount, maps.d,
                                      work.blobImage, work.queue);
    ListHandCandidates(ctx, work.cells, work.trackWeights, previousX, previousY, stepX, stepY,
                       work.blobImage, blob, work.candidates);
    CollectElbows(ctx, TrackElbowRegion(ctx), maps.foreground, work.elbows);
    std::vector<UpperArmHypothesis>& upperArms = work.upperArms[arm];
    CollectUpperArms(ctx, work.elbows, maps.foreground, upperArms);
    std::vector<ArmChain> best;
    FitChains(ctx, work.cells, work.candidates, work.trackWeights, upperArms, maps,
              work.scratchMask, best);
    if (best.empty()) {
        tracker.handFound[arm] = false;
        FallBack(tracker, arm, skinMap, maps.foreground);
        return kOlvarOk;
    }
    PlaceArmChain(tracker, arm, MeanChain(ctx, best), previousX, previousY, maps.foreground);
    return kOlvarOk;
}

}  // namespace

void ClearBodyBand(cv::Mat& scratch, double bodyScale, double neckX, double neckY) {
    const int W = scratch.cols, H = scratch.rows;
    const int a = TruncToInt(bodyScale + 0.5);
    const int nx = TruncToInt(neckX), ny = TruncToInt(neckY);
    // The neck: one scale wide, one scale up from the neck top.
    ClearRect(scratch, std::max(0, nx - a / 2), std::min(nx + a / 2, W - 1), std::max(0, ny - a),
              ny);
    // The torso: two scales wide, from the neck top down to row H - 2.
    ClearRect(scratch, std::max(1, nx - a + 1), std::min(nx + a, W - 1), ny, H - 1);
}

int FloodArmRegion(const ArmContext& arm, const cv::Mat& scratch, const int32_t* foreground,
                   cv::Mat& armImage, std::vector<int>& queue) {
    const int W = arm.W, H = arm.H;
    armImage.create(H, W, CV_8UC1);
    armImage.setTo(0);
    queue.clear();
    const Band band = ArmBand(arm);
    if (band.lo > band.hi) {
        return 0;
    }
    int copied = 0;
    for (int y = 0; y < H; ++y) {
        const uint8_t* src = scratch.ptr<uint8_t>(y);
        uint8_t* dst = armImage.ptr<uint8_t>(y);
        for (int x = band.lo; x <= band.hi; ++x) {
            dst[x] = src[x];
            copied += src[x] != 0;
        }
    }
    if (copied == 0) {
        return 0;
    }
    const int sr = TruncToInt(arm.bodyScale + 0.5);
    const int h = TruncToInt(TruncToInt(arm.upperWidth) / 2.0 + 0.5);
    auto reached = [&](int x, int y) {
        armImage.ptr<uint8_t>(y)[x] = 255;
        queue.push_back(y * W + x);
    };
    // Seeds: the silhouette in the column one scale out from the neck, below the neck top.
    const int seedColumn = arm.arm == 0 ? std::min(TruncToInt(arm.neckX) + sr, W - 1)
                                        : std::max(TruncToInt(arm.neckX) - sr, 0);
    const int ny = TruncToInt(arm.neckY);
    for (int y = std::max(0, ny); y <= std::min(ny + 2 * sr, H - 1); ++y) {
        if (seedColumn >= band.lo && seedColumn <= band.hi &&
            armImage.ptr<uint8_t>(y)[seedColumn] == 1) {
            reached(seedColumn, y);
        }
    }
    const int top = h, bottom = H - h - 1;
    auto inside = [&](int x, int y) {
        return x >= band.lo && x <= band.hi && y >= top && y <= bottom;
    };
    // A gap is bridged when the foreground window around it holds more than one pixel: every
    // copied pixel of that window joins.
    auto bridge = [&](int x, int y) {
        if (RangeCount(foreground, W, H, x - h, y - h, x + h, y + h) <= 1) {
            return;
        }
        for (int v = std::max(0, y - h + 1); v <= std::min(H - 1, y + h); ++v) {
            uint8_t* row = armImage.ptr<uint8_t>(v);
            for (int u = std::max(band.lo, x - h + 1); u <= std::min(band.hi, x + h); ++u) {
                if (row[u] == 1) {
                    reached(u, v);
                }
            }
        }
    };
    static constexpr int kDx[4] = {-1, 0, 1, 0};  // left, down, right, up
    static constexpr int kDy[4] = {0, 1, 0, -1};
    for (size_t head = 0; head < queue.size(); ++head) {
        if (static_cast<int>(queue.size()) >= copied) {
            break;
        }
        const int x = queue[head] % W, y = queue[head] / W;
        for (int k = 0; k < 4; ++k) {
            const int u = x + kDx[k], v = y + kDy[k];
            if (!inside(u, v)) {
                continue;
            }
            const uint8_t value = armImage.ptr<uint8_t>(v)[u];
            if (value == 1) {
                reached(u, v);
            } else if (value == 0) {
                bridge(u, v);
            }
        }
    }
    return copied;
}

void TrackingWeights(const ArmContext& arm, const std::vector<HandCell>& cells, double previousX,
                     double previousY, int stepX, int stepY, std::vector<double>& weights) {
    weights.assign(cells.size(), 0.0);
    const double t = arm.torsoSize;
    const double predictedX = previousX + stepX, predictedY = previousY + stepY;
    const double nx = arm.neckX, ny = arm.neckY;
    const double raisedRow = ny - ((77 * arm.torsoSize) >> 8);
    for (size_t i = 0; i < cells.size(); ++i) {
        const HandCell& c = cells[i];
        const double d0 =
            (c.x - previousX) * (c.x - previousX) + (c.y - previousY) * (c.y - previousY);
        const double d1 =
            (c.x - predictedX) * (c.x - predictedX) + (c.y - predictedY) * (c.y - predictedY);
        double w = c.weight * std::exp(-std::min(d0, d1) / (18 * t * t));
        const bool besideHead = arm.arm == 0 ? c.x < nx + 3.5 * t : c.x > nx - 3.5 * t;
        if (c.y < raisedRow && besideHead && c.skinTerm > 1.1) {
            // Raised skin gains with its height above the neck top.
            const double X = 2.5 * (ny - c.y) / t;
            w *= ((X * std::max(1.0, X) + 1) * (c.skinTerm - 1) + 1) / c.skinTerm;
        }
        weights[i] = w;
    }
}

BlobBox GrowHandBlob(const ArmContext& arm, double previousX, double previousY,
                     const int32_t* motionCount, int d, cv::Mat& blobImage,
                     std::vector<int>& queue) {
    const int W = arm.W, H = arm.H;
    blobImage.create(H, W, CV_8UC1);
    blobImage.setTo(0);
    queue.clear();
    BlobBox box;
    box.left = W;
    box.top = H;
    const int g = HandPitch(arm.torsoSize);
    // The 5 x 5 motion-count window needs 3 pixels to the left and top and 2 to the right and
    // bottom; the blob also keeps g from the border.
    const int margin = std::max(g, 3);
    auto moving = [&](int x, int y, int m) {
        if (x < m || y < m || x > W - 1 - m || y > H - 1 - m) {
            return false;
        }
        return CornerSum(motionCount, W, x - 3, y - 3, x + 2, y + 2) > 13 * d;
    };
    auto add = [&](int x, int y) {
        blobImage.ptr<uint8_t>(y)[x] = 1;
        queue.push_back(y * W + x);
        box.left = std::min(box.left, x);
        box.right = std::max(box.right, x);
        box.top = std::min(box.top, y);
        box.bottom = std::max(box.bottom, y);
    };
    const int hx = TruncToInt(previousX), hy = TruncToInt(previousY);
    for (int y = hy - g; y <= hy + g; ++y) {
        for (int x = hx - g; x <= hx + g; ++x) {
            if (moving(x, y, 3) && blobImage.ptr<uint8_t>(y)[x] == 0) {
                add(x, y);
            }
        }
    }
    static constexpr int kDx[4] = {-1, 0, 1, 0};
    static constexpr int kDy[4] = {0, 1, 0, -1};
    for (size_t head = 0; head < queue.size(); ++head) {
        const int x = queue[head] % W, y = queue[head] / W;
        for (int k = 0; k < 4; ++k) {
            const int u = x + kDx[k], v = y + kDy[k];
            if (moving(u, v, margin) && blobImage.ptr<uint8_t>(v)[u] == 0) {
                add(u, v);
            }
        }
    }
    return box;
}

void ListHandCandidates(const ArmContext& arm, const std::vector<HandCell>& cells,
                        const std::vector<double>& weights, double previousX, double previousY,
                        int stepX, int stepY, const cv::Mat& blobImage, const BlobBox& blob,
                        std::vector<int>& candidates) {
    candidates.clear();
    std::vector<char> listed(cells.size(), 0);
    const int W = arm.W, H = arm.H;
    const int t = arm.torsoSize;
    const int g = HandPitch(t);
    const int hx = TruncToInt(previousX), hy = TruncToInt(previousY);
    const double nx = arm.neckX, ny = arm.neckY;
    const int t15 = t + t / 2, t35 = 3 * t + t / 2;

    // 1. Around the previous hand (and, for hand 1, the predicted one).
    ListCellsNear(hx, hy, g, W, H, cells, listed, candidates);
    if (arm.arm == 1) {
        ListCellsNear(hx + stepX, hy + stepY, g, W, H, cells, listed, candidates);
    }

    // 2. On the moving blob around the previous hand, within reach of it and of the neck.
    double xl, xr;
    if (arm.arm == 0) {
        xl = std::max({static_cast<double>(blob.left), nx - t15, static_cast<double>(hx - 2 * t),
                       std::min(nx, static_cast<double>(hx - t))});
        xr = std::min({static_cast<double>(blob.right), static_cast<double>(hx + 2 * t), nx + t35});
    } else {
        xr = std::min({static_cast<double>(blob.right), nx + t15, static_cast<double>(hx + 2 * t),
                       std::max(nx, static_cast<double>(hx + t))});
        xl = std::max({static_cast<double>(blob.left), static_cast<double>(hx - 2 * t), nx - t35});
    }
    const double yt =
        std::max({static_cast<double>(blob.top), ny - t35, static_cast<double>(hy - 2 * t)});
    const double yb =
        std::min({static_cast<double>(blob.bottom), static_cast<double>(hy + 2 * t), ny + t35});
    const bool blobUsable = IsMask(blobImage, W, H);
    for (size_t i = 0; i < cells.size() && blobUsable; ++i) {
        const HandCell& c = cells[i];
        if (c.x >= xl && c.x <= xr && c.y >= yt && c.y <= yb &&
            blobImage.ptr<uint8_t>(c.y)[c.x] != 0) {
            AddIfNew(static_cast<int>(i), listed, candidates);
        }
    }

    // 3. The best-weighted cells that are not on the body side of the arm.
    std::vector<int> order(cells.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return weights[a] > weights[b]; });
    const double inner = arm.arm == 0 ? std::min(nx + t, xl) : std::max(nx - t, xr);
    int counted = 0;
    for (int index : order) {
        if (counted >= kMaxRankedCells) {
            break;
        }
        const int x = cells[index].x;
        if (arm.arm == 0 ? x < inner : x > inner) {
            continue;
        }
        ++counted;
        AddIfNew(index, listed, candidates);
    }
}

int UserTracker::TrackHands(const cv::Mat& foregroundMask, const int32_t* foregroundIntegral,
                            const int32_t* skinIntegral, const cv::Mat& skinMap,
                            const int32_t* changedIntegral, const int32_t* motionCountIntegral,
                            int d, HandSelector selector) {
    if (foregroundIntegral == nullptr || skinIntegral == nullptr || changedIntegral == nullptr ||
        motionCountIntegral == nullptr || !IsMask(foregroundMask, W, H) ||
        !HandSearchScaleUsable(torsoSize, torsoSize, W, H)) {
        return kOlvarLost;
    }
    AnchorSkeletonToBody();  // the skeleton's scale becomes the torso half-width
    const double elbowRefX[2] = {skeleton.J(BodySkeleton::kRightElbow).x,
                                 skeleton.J(BodySkeleton::kLeftElbow).x};
    const double elbowRefY[2] = {skeleton.J(BodySkeleton::kRightElbow).y,
                                 skeleton.J(BodySkeleton::kLeftElbow).y};
    const HandMaps maps{W,
                        H,
                        foregroundIntegral,
                        skinIntegral,
                        changedIntegral,
                        motionCountIntegral,
                        std::max(1, d)};
    const SkeletonJoint& neck = skeleton.J(BodySkeleton::kNeckTop);
    const OtherUser other = SaneOther(otherPresent, otherX, otherY, otherSize, W, H);

    const CellGrid grid = TrackCellGrid(W, H, skeleton.bodyScale, neck.x, neck.y, other);
    if (!grid.valid) {
        return kOlvarLost;
    }
    CollectTrackCells(grid, maps, handX, handY, handWork.cells);
    if (handWork.cells.empty()) {
        return kOlvarLost;
    }
    foregroundMask.copyTo(handWork.scratchMask);
    ClearBodyBand(handWork.scratchMask, skeleton.bodyScale, neck.x, neck.y);

    const bool track[2] = {selector != HandSelector::kHand1, selector != HandSelector::kHand0};
    for (int arm = 0; arm < 2; ++arm) {
        if (!track[arm]) {
            continue;
        }
        const int code = TrackArm(*this, arm, elbowRefX[arm], elbowRefY[arm], maps, skinMap);
        if (code != 0) {
            return code;
        }
    }
    return kOlvarOk;
}

}  // namespace olvar
