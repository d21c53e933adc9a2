// The users' area: the part of the picture in which the segmentation only classifies pixels
// against the codebook instead of learning them as background. It covers last frame's
// foreground and this frame's motion; when the users moved into changed regions, the motion of
// the last few frames is accumulated and, when it shows several persons, their extents.
#include <algorithm>

#include "imaging/mask_cleanup.h"
#include "imaging/segmentation.h"

namespace olvar {
namespace {

// A face box less covered than this by the users' area gets the whole foreground added.
constexpr double kFaceCoverage = 0.8;
// The accumulator is restarted after this many frames.
constexpr int kAccumulationFrames = 5;

struct Box {
    int x0, y0, x1, y1;  // inclusive; empty when x0 > x1 or y0 > y1
};

Box ClampBox(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int W, int H) {
    return {static_cast<int>(std::max<int64_t>(x0, 0)), static_cast<int>(std::max<int64_t>(y0, 0)),
            static_cast<int>(std::min<int64_t>(x1, W - 1)),
            static_cast<int>(std::min<int64_t>(y1, H - 1))};
}

// Where a user's lower body would be: 1.2 torso half-widths to each side of the shoulder
// centre, from four half-widths below the shoulders (at most two half-widths above the image
// bottom) down to the bottom. Without a record, the lower half of the picture.
Box LowerBodyBox(const FrameView& f, int user) {
    const int W = f.width, H = f.height;
    if (!f.lastRecordValid[user]) {
        return {0, H / 2, W - 1, H - 1};
    }
    const TrackingRecord& r = f.lastRecord[user];
    const int64_t x = TruncToInt(r.torsoX), y = TruncToInt(r.torsoY);
    const int64_t t = r.torsoHalfWidth;
    const int64_t half = (307 * t) >> 8;
    return ClampBox(x - half, std::min(y + 4 * t, H - 2 * t), x + half, H - 1, W, H);
}

bool OverlapsDenseFullNode(const Quadtree& tree, const Box& box) {
    if (box.x0 > box.x1 || box.y0 > box.y1) {
        return false;
    }
    for (const QuadNode& node : tree.Nodes()) {
        if (node.denseFull && node.x0 <= box.x1 && node.x1 >= box.x0 && node.y0 <= box.y1 &&
            node.y1 >= box.y0) {
            return true;
        }
    }
    return false;
}

// True when blocks that changed densely reach into both users' lower-body boxes.
bool UsersMovedIntoChange(const FrameView& f) {
    if (!f.quadtree.Any()) {
        return false;
    }
    return OverlapsDenseFullNode(f.quadtree, LowerBodyBox(f, 0)) &&
           OverlapsDenseFullNode(f.quadtree, LowerBodyBox(f, 1));
}

int ValidRecords(const FrameView& f) {
    return (f.lastRecordValid[0] ? 1 : 0) + (f.lastRecordValid[1] ? 1 : 0);
}

// Common start of both area rules: keep copies of the motion and last frame's foreground, grow
// the foreground by a pixel and close its holes, and age the pixels by the motion.
void PrepareAreaRule(const SegmentationTarget& t) {
    SegmentationWorkspace& ws = t.workspace;
    t.motion.copyTo(ws.motionCopy);
    t.foreground.copyTo(ws.foregroundCopy);
    Dilate(t.foreground, 1);
    FillHoles(t.foreground, ws);
    UpdateAge(ws.age, t.motion);
}

// One person or none: the area is last frame's foreground and the cleaned motion, grown by
// two pixels.
void SimpleAreaRule(const SegmentationTarget& t) {
    PrepareAreaRule(t);
    cv::Mat& motion = t.motion;
    ApplyNeighbourhoodRule(motion, t.workspace.age);
    t.workspace.personCount = 0;
    Dilate(motion, 1);
    SetUnion(t.usersArea, t.foreground, motion);
    Erode(motion, 1);
    Dilate(t.usersArea, 2);
}

// Several persons: the area is what lies within the extent of the accumulated motion (for
// counts 3 to 5 only in the columns that the motion reaches), grown by a pixel.
void ExtentRule(const SegmentationTarget& t, const cv::Mat& accumulated, int persons) {
    SegmentationWorkspace& ws = t.workspace;
    ExtentScan(accumulated, ws);
    for (int y = 0; y < ws.height; ++y) {
        const uint8_t* outside = ws.outside.ptr<uint8_t>(y);
        uint8_t* area = t.usersArea.ptr<uint8_t>(y);
        for (int x = 0; x < ws.width; ++x) {
            const bool columnReached = persons == 2 || ws.columnFirst[x] >= 0;
            area[x] = outside[x] == 0 && columnReached ? 1 : 0;
        }
    }
    Dilate(t.usersArea, 1);
}

// Adds the foreground of one half of the picture into the users' area: columns left of the
// middle, or right of it.
void AddForegroundHalf(const SegmentationTarget& t, bool leftHalf) {
    const int W = t.workspace.width, H = t.workspace.height;
    const int middle = W / 2;
    for (int y = 0; y < H; ++y) {
        const uint8_t* fg = t.foreground.ptr<uint8_t>(y);
        uint8_t* area = t.usersArea.ptr<uint8_t>(y);
        for (int x = 0; x < W; ++x) {
            const bool inHalf = leftHalf ? x < middle : x > middle;
            if (inHalf && fg[x] != 0) {
                area[x] = 1;
            }
        }
    }
}

// The accumulated motion of the last frames decides the area when the users moved into the
// changed regions.
void MultiPersonAreaRule(const SegmentationTarget& t, int validRecords) {
    SegmentationWorkspace& ws = t.workspace;
    cv::Mat& accumulated = t.accumulatorScratch;
    PrepareAreaRule(t);
    ApplyNeighbourhoodRule(accumulated, ws.age);
    Dilate(accumulated, 3);
    Erode(accumulated, 3);
    FillHoles(accumulated, ws);
    ws.personCount = CountPersons(accumulated, validRecords);
    switch (ws.personCount) {
        case 0:
        case 1:
            Dilate(accumulated, 1);
            SetUnion(t.usersArea, t.foreground, accumulated);
            Erode(accumulated, 1);
            Dilate(t.usersArea, 2);
            break;
        case 2:
            ExtentRule(t, accumulated, 2);
            break;
        default:
            ExtentRule(t, accumulated, ws.personCount);
            if (ws.personCount == 4) {
                AddForegroundHalf(t, true);
            } else if (ws.personCount == 5) {
                AddForegroundHalf(t, false);
            }
            break;
    }
}

// When a user's face box is not mostly inside the area, the whole foreground joins it.
void WidenAreaForUsers(const FrameView& f, const SegmentationTarget& t) {
    const int W = f.width, H = f.height;
    SegmentationWorkspace& ws = t.workspace;
    BuildIntegral(ws.areaIntegral, t.usersArea);
    for (int k = 0; k < 2; ++k) {
        if (!f.lastRecordValid[k]) {
            continue;
        }
        const TrackingRecord& r = f.lastRecord[k];
        const int64_t x = TruncToInt(r.faceX), y = TruncToInt(r.faceY);
        const int64_t torso = r.torsoHalfWidth;
        const int64_t halfWidth = TruncToInt(0.4 * static_cast<double>(torso));
        const Box face = ClampBox(x - halfWidth, y - torso / 2, x + halfWidth, y + torso / 2, W, H);
        if (face.x0 > face.x1 || face.y0 > face.y1) {
            continue;
        }
        // The row and column before the box bound the sum (at the image edge the box loses its
        // first row or column).
        const int bx0 = std::max(0, face.x0 - 1), by0 = std::max(0, face.y0 - 1);
        const int area = (face.x1 - bx0) * (face.y1 - by0);
        if (area <= 0) {
            continue;
        }
        const int covered =
            ClampedCornerSum(ws.areaIntegral.data(), W, H, bx0, by0, face.x1, face.y1);
        if (static_cast<double>(covered) / area < kFaceCoverage) {
            // Adding the foreground once covers every user.
            AddInto(t.usersArea, t.foreground);
            return;
        }
    }
}

}  // namespace

void BuildUsersArea(const FrameView& f, const SegmentationTarget& t) {
    SegmentationWorkspace& ws = t.workspace;
    const bool moved = UsersMovedIntoChange(f);
    if (moved) {
        cv::add(t.motionAccumulator, t.motion, t.motionAccumulator);
    }
    if (f.Total(f.motionIntegral) < f.PixelCount() / 64) {
        ws.accumulationCount = 0;
        t.motionAccumulator.setTo(0);
        SimpleAreaRule(t);
    } else {
        const int valid = ValidRecords(f);
        if (moved) {
            t.motionAccumulator.copyTo(t.accumulatorScratch);
            MultiPersonAreaRule(t, valid);
        } else {
            SimpleAreaRule(t);
        }
        if (valid > 0 && ws.personCount > 1) {
            WidenAreaForUsers(f, t);
        }
    }
    if (++ws.accumulationCount > kAccumulationFrames || ws.personCount > 1) {
        ws.accumulationCount = 0;
        t.motionAccumulator.setTo(0);
    }
}

}  // namespace olvar
