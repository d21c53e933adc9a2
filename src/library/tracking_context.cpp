#include "library/tracking_context.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <opencv2/imgproc.hpp>

namespace olvar {
namespace {

cv::Mat Mask(int width, int height) {
    return cv::Mat(height, width, CV_8UC1);
}
cv::Mat ClearedMask(int width, int height) {
    return cv::Mat::zeros(height, width, CV_8UC1);
}
cv::Mat Colour(int width, int height) {
    return cv::Mat(height, width, CV_8UC3);
}

// An integral of the working size, or null while it has another size.
const int32_t* Sized(const Integral& integral, int pixels) {
    return integral.size() == static_cast<size_t>(pixels) && pixels > 0 ? integral.data() : nullptr;
}

}  // namespace

TrackingContext::TrackingContext() {
    for (TrackingRecord& record : lastRecord) {
        std::memset(&record, 0, sizeof record);
        // The third joint's x and y and the fourth joint's x start at 2.0.
        record.joints[2].x = 2.0f;
        record.joints[2].y = 2.0f;
        record.joints[3].x = 2.0f;
    }
    AllocateBuffers();
    quadtree.Build(workWidth, workHeight);
}

void TrackingContext::AllocateBuffers() {
    const int w = workWidth, h = workHeight;
    colour = Colour(w, h);
    input = resize ? Colour(frameWidth, frameHeight) : colour;
    ycrcb = Colour(w, h);
    reservedMask = Mask(w, h);
    // The history images start black so the first frames compare against a defined picture.
    previousColour = cv::Mat::zeros(h, w, CV_8UC3);
    olderColour = cv::Mat::zeros(h, w, CV_8UC3);
    motionMask = Mask(w, h);
    changedMask = Mask(w, h);
    reference = cv::Mat::zeros(h, w, CV_8UC3);
    referenceCopy = Colour(w, h);
    differenceMask = Mask(w, h);
    historyCount = ClearedMask(w, h);
    recentMotion = ClearedMask(w, h);
    motionAccumulator = ClearedMask(w, h);
    rawForeground = ClearedMask(w, h);
    foreground = ClearedMask(w, h);
    extraMasks[0] = ClearedMask(w, h);
    extraMasks[1] = Mask(w, h);
    extraMasks[2] = Mask(w, h);
    usersArea = ClearedMask(w, h);
    accumulatorScratch = ClearedMask(w, h);

    const size_t pixels = static_cast<size_t>(w) * h;
    for (Integral* integral : {&motionIntegral, &changedIntegral, &differenceIntegral,
                               &historyIntegral, &recentIntegral, &foregroundIntegral}) {
        integral->assign(pixels, 0);
    }
    extraArray.assign(pixels, 0);
    motionAnalysed = false;
    segmented = false;
    workStep = static_cast<int>(colour.step[0]);
    workPixels = w * h;
    workspace.Resize(w, h);
}

int TrackingContext::Configure(int stride, int height, int width, int format, bool newBottomUp) {
    if (stride == frameStride && height == frameHeight && width == frameWidth &&
        format == pixelFormat) {
        bottomUp = newBottomUp;
        return kOlvarOk;
    }
    if (format != kOlvarBgr24 && format != kOlvarBgrx32) {
        return kOlvarInvalid;
    }
    if (height < kMinSide || height > kMaxSide || width < kMinSide || width > kMaxSide) {
        return kOlvarInvalid;
    }
    const int bytesPerPixel = format == kOlvarBgr24 ? 3 : 4;
    if (stride < bytesPerPixel * width) {
        return kOlvarInvalid;
    }

    frameStride = stride;
    frameHeight = height;
    frameWidth = width;
    pixelFormat = format;
    bottomUp = newBottomUp;

    if (width <= kWorkingWidth || height <= kWorkingHeight) {
        resize = false;
        scale = 1.0f;
        inverseScale = 1.0f;
        workWidth = width;
        workHeight = height;
    } else {
        resize = true;
        const float fh = static_cast<float>(height), fw = static_cast<float>(width);
        scale = static_cast<float>(std::min(static_cast<double>(fh) / kWorkingHeight,
                                            static_cast<double>(fw) / kWorkingWidth));
        inverseScale = static_cast<float>(1.0 / scale);
        workWidth = static_cast<int>(width * inverseScale + 0.5) / 4 * 4;
        workHeight = static_cast<int>(height * inverseScale + 0.5);
    }
    AllocateBuffers();
    quadtree.Rebuild(workWidth, workHeight);
    // The last records are in the old working coordinates; tracking restarts anyway.
    lastRecordValid[0] = lastRecordValid[1] = false;
    return kOlvarOk;
}

FrameView TrackingContext::View() const {
    const int pixels = workWidth * workHeight;
    return FrameView{workWidth,
                     workHeight,
                     input,
                     colour,
                     ycrcb,
                     reference,
                     foreground,
                     rawForeground,
                     motionMask,
                     Sized(foregroundIntegral, pixels),
                     Sized(changedIntegral, pixels),
                     Sized(historyIntegral, pixels),
                     Sized(motionIntegral, pixels),
                     historyLength,
                     quadtree,
                     lastRecordValid,
                     lastRecord};
}

SegmentationTarget TrackingContext::SegmentationTargets() {
    return SegmentationTarget{motionMask,        rawForeground,      foreground, usersArea,
                              motionAccumulator, accumulatorScratch, codebook,   workspace};
}

int TrackingContext::RenderPreview(unsigned char* buffer, int size, int width, int height,
                                   int stride) {
    if (buffer == nullptr) {
        return kOlvarInvalid;
    }
    const long long expected = std::llabs(static_cast<long long>(stride) * height);
    if (static_cast<long long>(size) != expected ||
        static_cast<long long>(size) < static_cast<long long>(height) * width ||
        static_cast<long long>(stride) < 4LL * width) {
        return kOlvarInvalid;
    }
    if (height <= 0 || width <= 0) {
        // Nothing to render (the spans above already matched an empty buffer).
        return kOlvarOk;
    }
    if (preview.empty() || preview.cols != width || preview.rows != height) {
        preview.create(height, width, CV_8UC3);
    }
    cv::resize(input, preview, preview.size(), 0, 0, cv::INTER_NEAREST);
    cv::flip(preview, preview, 1);
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = preview.ptr<uint8_t>(y);
        unsigned char* dst = buffer + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            dst[4 * x + 0] = 255;
            dst[4 * x + 1] = src[3 * x + 2];
            dst[4 * x + 2] = src[3 * x + 1];
            dst[4 * x + 3] = src[3 * x + 0];
        }
    }
    return kOlvarOk;
}

}  // namespace olvar
