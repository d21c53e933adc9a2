#include "library/frame_preparation.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include <opencv2/imgproc.hpp>

namespace olvar {
namespace {

// Process-wide, shared by every tracker and never reset: the warm-up counts frames since load.
std::atomic<int> gFrameCounter{0};

}  // namespace

int FramesSinceLoad() { return gFrameCounter.load(std::memory_order_relaxed); }

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
                std::memcpy(input.ptr<uint8_t>(y), data + stride * y, static_cast<size_t>(width) * 3);
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

void ReduceAndConvert(TrackingContext& context) {
    if (context.resize) {
        cv::resize(context.input, context.colour, context.colour.size(), 0, 0, cv::INTER_LINEAR);
    }
    gFrameCounter.fetch_add(1, std::memory_order_relaxed);
    cv::GaussianBlur(context.colour, context.colour, cv::Size(3, 3), 0, 0, cv::BORDER_REPLICATE);
    cv::cvtColor(context.colour, context.ycrcb, cv::COLOR_BGR2YCrCb);
}

int PrepareFrame(TrackingContext& context, const unsigned char* data, int size) {
    const int copied = CopyFrame(context, data, size);
    if (copied != kOlvarOk) {
        return copied;
    }
    ReduceAndConvert(context);
    // Change analysis and segmentation come next; until then nothing is tracked.
    return kOlvarNothing;
}

}  // namespace olvar
