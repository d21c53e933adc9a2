#include "library/frame_preparation.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <opencv2/imgproc.hpp>

#include "imaging/segmentation.h"

namespace olvar {
namespace {

// Process-wide, shared by every tracker and never reset: the warm-up counts frames since load,
// and the motion limit is taken from the first context that measured motion. Atomic, so that
// trackers driven from different threads do not race on them.
std::atomic<int> gFrameCounter{0};
std::atomic<int> gMotionLimit{-1};

constexpr double kMotionLimitShare = 0.6;
constexpr int kDifferenceY = 12;      // brightness difference against the reference
constexpr int kDifferenceChroma = 6;  // Cr or Cb difference against the reference
constexpr int kColourChange = 12;     // per-channel colour change between frames

// Counts one frame and returns its number; the count stops at INT_MAX instead of wrapping back
// into the warm-up.
int CountFrame() {
    int current = gFrameCounter.load(std::memory_order_relaxed);
    while (current < INT_MAX &&
           !gFrameCounter.compare_exchange_weak(current, current + 1, std::memory_order_relaxed)) {
    }
    return current < INT_MAX ? current + 1 : INT_MAX;
}

int MotionLimitFor(const TrackingContext& context) {
    int limit = gMotionLimit.load(std::memory_order_relaxed);
    if (limit < 0) {
        const int computed = static_cast<int>(context.workPixels * kMotionLimitShare);
        // Only the first context to get here sets it; everyone then reads that value.
        gMotionLimit.compare_exchange_strong(limit, computed, std::memory_order_relaxed);
        limit = gMotionLimit.load(std::memory_order_relaxed);
    }
    return limit;
}

bool SameLayout(const cv::Mat& a, const cv::Mat& b) {
    return a.cols == b.cols && a.rows == b.rows && a.type() == b.type() && a.step[0] == b.step[0];
}

// The rectangle of a quadtree node within a width x height image (possibly empty).
cv::Rect NodeRect(const QuadNode& node, int width, int height) {
    const cv::Rect rect(node.x0, node.y0, node.x1 - node.x0, node.y1 - node.y0);
    return rect & cv::Rect(0, 0, width, height);
}

bool ColourChanged(const uint8_t* a, const uint8_t* b) {
    return std::abs(a[0] - b[0]) > kColourChange || std::abs(a[1] - b[1]) > kColourChange ||
           std::abs(a[2] - b[2]) > kColourChange;
}

// Moving pixels inside the full blocks, against the previous colour frame.
void BuildMotionMask(TrackingContext& c) {
    c.motionMask.setTo(0);
    c.quadtree.ForEachFull([&](const QuadNode& node) {
        const cv::Rect r = NodeRect(node, c.workWidth, c.workHeight);
        for (int y = r.y; y < r.y + r.height; ++y) {
            const uint8_t* now = c.colour.ptr<uint8_t>(y);
            const uint8_t* before = c.previousColour.ptr<uint8_t>(y);
            uint8_t* motion = c.motionMask.ptr<uint8_t>(y);
            for (int x = r.x; x < r.x + r.width; ++x) {
                motion[x] = ColourChanged(now + 3 * x, before + 3 * x) ? 1 : 0;
            }
        }
    });
    BuildIntegral(c.motionIntegral, c.motionMask);
}

// Moving pixels that also differ from the frame two back.
void BuildChangedMask(TrackingContext& c) {
    c.changedMask.setTo(0);
    for (int y = 0; y < c.workHeight; ++y) {
        const uint8_t* motion = c.motionMask.ptr<uint8_t>(y);
        const uint8_t* now = c.colour.ptr<uint8_t>(y);
        const uint8_t* older = c.olderColour.ptr<uint8_t>(y);
        uint8_t* changed = c.changedMask.ptr<uint8_t>(y);
        for (int x = 0; x < c.workWidth; ++x) {
            if (motion[x] != 0 && ColourChanged(now + 3 * x, older + 3 * x)) {
                changed[x] = 1;
            }
        }
    }
    BuildIntegral(c.changedIntegral, c.changedMask);
}

// A pixel stays in the recent-motion mask for the frame of its motion and the following
// historyLength - 1 frames.
void UpdateMotionHistory(TrackingContext& c) {
    for (int y = 0; y < c.workHeight; ++y) {
        const uint8_t* motion = c.motionMask.ptr<uint8_t>(y);
        uint8_t* count = c.historyCount.ptr<uint8_t>(y);
        uint8_t* recent = c.recentMotion.ptr<uint8_t>(y);
        for (int x = 0; x < c.workWidth; ++x) {
            if (motion[x] != 0) {
                count[x] = static_cast<uint8_t>(c.historyLength);
                recent[x] = 1;
            } else if (count[x] != 0) {
                --count[x];
                recent[x] = count[x] != 0 ? 1 : 0;
            } else {
                recent[x] = 0;
            }
        }
    }
    BuildIntegral(c.historyIntegral, c.historyCount);
    BuildIntegral(c.recentIntegral, c.recentMotion);
}

}  // namespace

int FramesSinceLoad() {
    return gFrameCounter.load(std::memory_order_relaxed);
}

int MotionLimit() {
    return gMotionLimit.load(std::memory_order_relaxed);
}

int CopyFrame(TrackingContext& context, const unsigned char* data, int size) {
    const long long expected =
        std::llabs(static_cast<long long>(context.frameStride) * context.frameHeight);
    if (data == nullptr || static_cast<long long>(size) != expected) {
        return kOlvarInvalid;
    }
    cv::Mat& input = context.input;
    const int width = context.frameWidth, height = context.frameHeight;
    const size_t stride = static_cast<size_t>(context.frameStride);
    if (context.pixelFormat == kOlvarBgr24) {
        if (stride == input.step[0] && input.isContinuous()) {
            std::memcpy(input.data, data, stride * height);
        } else {
            for (int y = 0; y < height; ++y) {
                std::memcpy(input.ptr<uint8_t>(y), data + stride * y,
                            static_cast<size_t>(width) * 3);
            }
        }
    } else if (context.pixelFormat == kOlvarBgrx32) {
        for (int y = 0; y < height; ++y) {
            const unsigned char* src = data + stride * y;
            uint8_t* dst = input.ptr<uint8_t>(y);
            for (int x = 0; x < width; ++x) {
                dst[3 * x + 0] = src[4 * x + 0];
                dst[3 * x + 1] = src[4 * x + 1];
                dst[3 * x + 2] = src[4 * x + 2];
            }
        }
    } else {
        return kOlvarBadFormat;
    }
    if (context.bottomUp) {
        cv::flip(input, input, 0);
    }
    return kOlvarOk;
}

int ReduceAndConvert(TrackingContext& context) {
    if (context.resize) {
        cv::resize(context.input, context.colour, context.colour.size(), 0, 0, cv::INTER_LINEAR);
    }
    const int frameNumber = CountFrame();
    cv::GaussianBlur(context.colour, context.colour, cv::Size(3, 3), 0, 0, cv::BORDER_REPLICATE);
    cv::cvtColor(context.colour, context.ycrcb, cv::COLOR_BGR2YCrCb);
    return frameNumber;
}

void BuildDifferenceMask(TrackingContext& c) {
    if (SameLayout(c.ycrcb, c.reference) && c.differenceMask.cols == c.ycrcb.cols &&
        c.differenceMask.rows == c.ycrcb.rows) {
        c.differenceMask.setTo(0);
        for (int y = 0; y < c.ycrcb.rows; ++y) {
            const uint8_t* now = c.ycrcb.ptr<uint8_t>(y);
            const uint8_t* ref = c.reference.ptr<uint8_t>(y);
            uint8_t* diff = c.differenceMask.ptr<uint8_t>(y);
            for (int x = 0; x < c.ycrcb.cols; ++x) {
                const uint8_t* p = now + 3 * x;
                const uint8_t* r = ref + 3 * x;
                diff[x] = std::abs(p[0] - r[0]) > kDifferenceY ||
                                  std::abs(p[1] - r[1]) > kDifferenceChroma ||
                                  std::abs(p[2] - r[2]) > kDifferenceChroma
                              ? 1
                              : 0;
            }
        }
    }
    BuildIntegral(c.differenceIntegral, c.differenceMask);
}

void UpdateReference(TrackingContext& c) {
    if (!c.quadtree.Any()) {
        return;
    }
    c.reference.copyTo(c.referenceCopy);
    c.quadtree.ForEachFull([&](const QuadNode& node) {
        const cv::Rect r = NodeRect(node, c.workWidth, c.workHeight);
        if (!r.empty()) {
            c.ycrcb(r).copyTo(c.reference(r));
        }
    });
}

int AnalyseMotion(TrackingContext& c) {
    const int limit = MotionLimitFor(c);
    BuildMotionMask(c);
    const int motion = IntegralTotal(c.motionIntegral);
    if (motion > limit) {
        return kOlvarTooMuchMotion;
    }
    if (motion < kMinMotion) {
        return kStillScene;
    }
    BuildChangedMask(c);
    UpdateMotionHistory(c);
    return kOlvarOk;
}

void ShiftColourHistory(TrackingContext& c) {
    c.previousColour.copyTo(c.olderColour);
    c.colour.copyTo(c.previousColour);
}

int PrepareFrame(TrackingContext& context, const unsigned char* data, int size) {
    const int copied = CopyFrame(context, data, size);
    if (copied != kOlvarOk) {
        return copied;
    }
    const int frameNumber = ReduceAndConvert(context);
    context.motionAnalysed = false;
    context.segmented = false;

    BuildDifferenceMask(context);
    context.quadtree.Update(context.workWidth, context.workHeight,
                            context.differenceIntegral.data());
    UpdateReference(context);

    const int gate = AnalyseMotion(context);
    if (gate == kStillScene) {
        // The background is learned from the first frame after the warm-up. When the room is
        // still then, that frame is the room itself; waiting for the first frame that moves
        // would learn whoever walks in (or appears) at that moment as background.
        if (frameNumber > kWarmUpFrames) {
            EnsureCodebook(context.View(), context.codebook);
        }
        return kStillScene;
    }
    if (gate == kOlvarTooMuchMotion) {
        ShiftColourHistory(context);
        return kOlvarTooMuchMotion;
    }
    context.motionAnalysed = true;
    if (frameNumber <= kWarmUpFrames) {
        ShiftColourHistory(context);
        return kOlvarNothing;
    }
    SegmentForeground(context.View(), context.SegmentationTargets());
    BuildIntegral(context.foregroundIntegral, context.foreground);
    context.segmented = true;
    ShiftColourHistory(context);
    return kOlvarOk;
}

FrameMasks LastFrameMasks(const TrackingContext& context) {
    FrameMasks masks;
    masks.difference = context.differenceMask;
    masks.motion = context.segmented ? context.workspace.motionCopy : context.motionMask;
    masks.changed = context.motionAnalysed ? context.changedMask : cv::Mat();
    masks.foreground = context.foreground;
    masks.segmented = context.segmented;
    return masks;
}

}  // namespace olvar
