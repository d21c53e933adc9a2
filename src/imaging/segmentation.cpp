#include "imaging/segmentation.h"

#include <algorithm>

#include "imaging/mask_cleanup.h"

namespace olvar {
namespace {

// Age beyond which a pixel outside the users counts as seen background while two persons are
// counted.
constexpr int kSeenBackgroundAge = 200;

cv::Mat WorkingMask(int width, int height) {
    return cv::Mat::zeros(height, width, CV_8UC1);
}

bool HasSize(const cv::Mat& image, int width, int height, int type) {
    return image.cols == width && image.rows == height && image.type() == type;
}

// Every buffer the segmentation touches has the working size.
bool ReadyToSegment(const FrameView& f, const SegmentationTarget& t) {
    const int W = f.width, H = f.height;
    const SegmentationWorkspace& ws = t.workspace;
    if (W <= 0 || H <= 0 || !ws.allocated || ws.width != W || ws.height != H) {
        return false;
    }
    for (const cv::Mat* colour : {&f.ycrcb, &f.reference}) {
        if (!HasSize(*colour, W, H, CV_8UC3)) {
            return false;
        }
    }
    for (const cv::Mat* mask : {&t.motion, &t.foreground, &t.rawForeground, &t.usersArea,
                                &t.motionAccumulator, &t.accumulatorScratch}) {
        if (!HasSize(*mask, W, H, CV_8UC1)) {
            return false;
        }
    }
    return f.motionIntegral != nullptr && f.foregroundIntegral != nullptr &&
           f.quadtree.Width() == W && f.quadtree.Height() == H;
}

// Changed pixels of a quadtree node's rectangle in an integral, counted the way the quadtree
// counts them (the row and column before the rectangle bound the sum; image row 0 and column
// 0 are not counted).
int NodeCount(const QuadNode& node, const int32_t* integral, int W, int H) {
    const int x0 = node.x0 > 0 ? node.x0 - 1 : 0;
    const int y0 = node.y0 > 0 ? node.y0 - 1 : 0;
    return ClampedCornerSum(integral, W, H, x0, y0, node.x1 - 1, node.y1 - 1);
}

// Pixels of a changed block inside the users' area are classified against the codebook; all
// others are learned as background.
void ClassifyBlock(const FrameView& f, const SegmentationTarget& t, const QuadNode& node) {
    const int W = f.width, H = f.height;
    const int x0 = std::max(0, node.x0), x1 = std::min(W, node.x1);
    const int y0 = std::max(0, node.y0), y1 = std::min(H, node.y1);
    for (int y = y0; y < y1; ++y) {
        const uint8_t* area = t.usersArea.ptr<uint8_t>(y);
        const uint8_t* value = f.reference.ptr<uint8_t>(y);
        uint8_t* raw = t.rawForeground.ptr<uint8_t>(y);
        for (int x = x0; x < x1; ++x) {
            const int index = y * W + x;
            raw[x] = static_cast<uint8_t>(area[x] != 0
                                              ? t.codebook.MatchPixel(index, value + 3 * x)
                                              : t.codebook.LearnBackground(index, value + 3 * x));
        }
    }
}

// Sets `target` to 1 inside a rectangle wherever `source` is set.
void CopySetPixels(cv::Mat& target, const cv::Mat& source, const cv::Rect& rect) {
    for (int y = rect.y; y < rect.y + rect.height; ++y) {
        const uint8_t* s = source.ptr<uint8_t>(y);
        uint8_t* t = target.ptr<uint8_t>(y);
        for (int x = rect.x; x < rect.x + rect.width; ++x) {
            if (s[x] != 0) {
                t[x] = 1;
            }
        }
    }
}

// The foreground restarts the age of its pixels.
void AgeForeground(const SegmentationTarget& t) {
    t.workspace.age.setTo(0, t.foreground);
}

// With two persons counted: the users' area shrinks by a pixel, and every pixel that has been
// still for long or lies outside the users is recorded as seen background.
void UpdateSeenBackground(const SegmentationTarget& t) {
    SegmentationWorkspace& ws = t.workspace;
    Erode(t.usersArea, 1);
    if (ws.seenAllBackground) {
        return;
    }
    bool all = true;
    for (int y = 0; y < ws.height; ++y) {
        const uint8_t* age = ws.age.ptr<uint8_t>(y);
        const uint8_t* area = t.usersArea.ptr<uint8_t>(y);
        uint8_t* seen = ws.seenBackground.ptr<uint8_t>(y);
        for (int x = 0; x < ws.width; ++x) {
            if (age[x] > kSeenBackgroundAge || area[x] == 0) {
                seen[x] = 1;
            }
            all = all && seen[x] != 0;
        }
    }
    ws.seenAllBackground = all;
}

// The inclusive range x0..x1, y0..y1 intersected with the image, as a rectangle (empty when
// nothing of it lies inside).
cv::Rect ClampedRange(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int W, int H) {
    x0 = std::max<int64_t>(x0, 0);
    y0 = std::max<int64_t>(y0, 0);
    x1 = std::min<int64_t>(x1, W - 1);
    y1 = std::min<int64_t>(y1, H - 1);
    if (x0 > x1 || y0 > y1) {
        return cv::Rect();
    }
    return cv::Rect(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0 + 1),
                    static_cast<int>(y1 - y0 + 1));
}

}  // namespace

void SegmentationWorkspace::Resize(int newWidth, int newHeight) {
    width = std::max(0, newWidth);
    height = std::max(0, newHeight);
    pixelCount = width * height;
    personCount = 0;
    seenAllBackground = false;
    accumulationCount = 0;
    for (cv::Mat* mask : {&motionCopy, &foregroundCopy, &floodScratch, &age, &outside, &inside,
                          &ambiguous, &seenBackground}) {
        *mask = WorkingMask(width, height);
    }
    rowFirst.assign(static_cast<size_t>(height), -1);
    rowLast.assign(static_cast<size_t>(height), -1);
    columnFirst.assign(static_cast<size_t>(width), -1);
    columnLast.assign(static_cast<size_t>(width), -1);
    seeds.clear();
    seeds.reserve(static_cast<size_t>(pixelCount));
    areaIntegral.assign(static_cast<size_t>(pixelCount), 0);
    allocated = true;
}

BodyRanges BodyRangesOf(const TrackingRecord& record, int W, int H) {
    // Shoulder line (x, y), torso half-width t; l is the lower end of the neck: a fifth of t
    // below the shoulder line, or lower when the face reaches further down (then 0.4 of the
    // way from the shoulder mark to the face's lower edge).
    const int64_t x = TruncToInt(record.torsoX), y = TruncToInt(record.torsoY);
    const int64_t t = record.torsoHalfWidth;
    const int64_t faceBottom = TruncToInt(record.faceY) + TruncToInt(record.faceSize) / 2;
    const int64_t l0 = y + ((51 * t) >> 8);
    const int64_t l = std::max(l0, (102 * faceBottom + 154 * l0) >> 8);
    BodyRanges ranges;
    ranges.torso = ClampedRange(x - t, l, x + t, std::min<int64_t>(y + 3 * t, H - 1), W, H);
    ranges.head =
        ClampedRange(x - t / 2, std::max<int64_t>(0, y - ((19 * t) >> 4)), x + t / 2, l, W, H);
    return ranges;
}

bool EnsureCodebook(const FrameView& f, ZykCB& codebook) {
    if (!HasSize(f.ycrcb, f.width, f.height, CV_8UC3)) {
        return false;
    }
    // Two working sizes can share a pixel count, so the shape is compared, not only the count.
    if (codebook.Width() == f.width && codebook.Height() == f.height &&
        codebook.CellCount() == f.PixelCount()) {
        return false;
    }
    codebook.Reset(f.width, f.height);
    for (int y = 0; y < f.height; ++y) {
        const uint8_t* row = f.ycrcb.ptr<uint8_t>(y);
        for (int x = 0; x < f.width; ++x) {
            codebook.LearnPixel(y * f.width + x, row + 3 * x);
        }
    }
    return true;
}

void UpdateChangedBlocks(const FrameView& f, const SegmentationTarget& t) {
    f.quadtree.ForEachFull([&](const QuadNode& node) { ClassifyBlock(f, t, node); });
    if (t.workspace.personCount > 1) {
        // With several persons, blocks that held foreground last frame are looked at again
        // even when nothing changed in them.
        for (const QuadNode& node : f.quadtree.Nodes()) {
            if (node.kind == QuadNode::kLeaf && !node.occupied &&
                NodeCount(node, f.foregroundIntegral, f.width, f.height) > 0) {
                ClassifyBlock(f, t, node);
            }
        }
    }
}

void CleanUpWithRecords(const FrameView& f, const SegmentationTarget& t) {
    SegmentationWorkspace& ws = t.workspace;
    cv::Mat& motion = t.motion;
    cv::Mat& foreground = t.foreground;

    // Gaps that closing the motion fills belong to the moving person.
    Dilate(motion, 1);
    Erode(motion, 2);
    cv::subtract(motion, ws.motionCopy, ws.floodScratch);
    AddInto(foreground, ws.floodScratch);

    const bool anyRecord = f.lastRecordValid[0] || f.lastRecordValid[1];
    if (ws.personCount == 0 && anyRecord) {
        // Last frame's foreground, without what moved, is put back in the users' body regions.
        cv::subtract(ws.foregroundCopy, ws.motionCopy, ws.foregroundCopy);
        for (int k = 0; k < 2; ++k) {
            if (f.lastRecordValid[k]) {
                const BodyRanges ranges = BodyRangesOf(f.lastRecord[k], f.width, f.height);
                CopySetPixels(foreground, ws.foregroundCopy, ranges.torso);
                CopySetPixels(foreground, ws.foregroundCopy, ranges.head);
            }
        }
    }

    Dilate(foreground, 2);
    Erode(foreground, 2);

    if (anyRecord) {
        // Everything enclosed by the silhouette's extent becomes foreground. (Setting the
        // users' body regions from the inside mask first adds nothing to this union.)
        ExtentScan(foreground, ws);
        AddInto(foreground, ws.inside);
    }
}

void SegmentForeground(const FrameView& f, const SegmentationTarget& t) {
    if (!ReadyToSegment(f, t)) {
        return;
    }
    EnsureCodebook(f, t.codebook);
    BuildUsersArea(f, t);
    UpdateChangedBlocks(f, t);
    t.rawForeground.copyTo(t.foreground);
    CleanUpWithRecords(f, t);
    AgeForeground(t);
    if (t.workspace.personCount == 2) {
        UpdateSeenBackground(t);
    }
}

}  // namespace olvar
