// Frame intake: copying host frames of every layout into the context, and their reduction to
// the smoothed working image and its YCrCb conversion.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/frame_preparation.h"
#include "library/tracking_context.h"

namespace olvar {
namespace {

// A pixel value that identifies its position, different in each channel.
cv::Vec3b PatternPixel(int x, int y) {
    return cv::Vec3b(static_cast<uint8_t>(x * 7 + y), static_cast<uint8_t>(y * 3 + x),
                     static_cast<uint8_t>(x ^ (y * 5)));
}

// A host frame: rows of `stride` bytes with 3 or 4 bytes per pixel, the pattern in the first
// three, distinct filler in the fourth byte and in the row padding. Row r of the buffer holds
// image row r, or image row height - 1 - r for bottom-up frames.
std::vector<unsigned char> HostFrame(int width, int height, int stride, int format, bool bottomUp) {
    std::vector<unsigned char> frame(static_cast<size_t>(stride) * height, 0xEE);
    const int bytes = format == kOlvarBgr24 ? 3 : 4;
    for (int r = 0; r < height; ++r) {
        const int y = bottomUp ? height - 1 - r : r;
        for (int x = 0; x < width; ++x) {
            unsigned char* p = frame.data() + static_cast<size_t>(r) * stride + x * bytes;
            const cv::Vec3b v = PatternPixel(x, y);
            p[0] = v[0];
            p[1] = v[1];
            p[2] = v[2];
            if (bytes == 4) {
                p[3] = 0x77;
            }
        }
    }
    return frame;
}

TEST(CopyFrame, CopiesEveryLayoutIntoTheInputImage) {
    struct Case {
        const char* name;
        int width, height, stride, format;
        bool bottomUp;
    };
    const Case cases[] = {
        {"3 bytes, stride equal to the row", 320, 240, 960, 1, false},
        {"3 bytes, padded stride", 320, 240, 960 + 7, 1, false},
        {"4 bytes", 320, 240, 1280, 2, false},
        {"4 bytes, padded stride", 320, 240, 1280 + 12, 2, false},
        {"3 bytes, bottom-up", 320, 240, 960, 1, true},
        {"4 bytes, padded, bottom-up", 320, 240, 1280 + 4, 2, true},
        {"unreduced frame, stride equal to the row", 160, 120, 480, 1, false},
        {"unreduced frame, padded, bottom-up", 160, 120, 480 + 5, 1, true},
        {"unreduced frame, 4 bytes", 176, 144, 704, 2, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TrackingContext c;
        ASSERT_EQ(c.Configure(k.stride, k.height, k.width, k.format, k.bottomUp), kOlvarOk);
        const std::vector<unsigned char> frame =
            HostFrame(k.width, k.height, k.stride, k.format, k.bottomUp);
        ASSERT_EQ(CopyFrame(c, frame.data(), static_cast<int>(frame.size())), kOlvarOk);
        ASSERT_EQ(c.input.cols, k.width);
        ASSERT_EQ(c.input.rows, k.height);
        int wrong = 0;
        for (int y = 0; y < k.height; ++y) {
            for (int x = 0; x < k.width; ++x) {
                wrong += c.input.at<cv::Vec3b>(y, x) != PatternPixel(x, y);
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST(CopyFrame, RejectsMissingOrMisSizedFramesAndUnknownFormats) {
    TrackingContext c;
    ASSERT_EQ(c.Configure(960 + 8, 240, 320, 1, false), kOlvarOk);
    const std::vector<unsigned char> frame = HostFrame(320, 240, 968, 1, false);
    const int size = static_cast<int>(frame.size());
    EXPECT_EQ(CopyFrame(c, nullptr, size), kOlvarInvalid);
    EXPECT_EQ(CopyFrame(c, frame.data(), size - 1), kOlvarInvalid);
    EXPECT_EQ(CopyFrame(c, frame.data(), size + 1), kOlvarInvalid);
    EXPECT_EQ(CopyFrame(c, frame.data(), 960 * 240), kOlvarInvalid);  // size without padding
    EXPECT_EQ(CopyFrame(c, frame.data(), -size), kOlvarInvalid);
    EXPECT_EQ(CopyFrame(c, frame.data(), size), kOlvarOk);

    // The format is checked when copying (the configuration itself never stores another one).
    c.pixelFormat = 3;
    EXPECT_EQ(CopyFrame(c, frame.data(), size), kOlvarBadFormat);
}

TEST(ReduceAndConvert, ReducesTheFrameBilinearlyToTheWorkingSize) {
    // 640 x 480, blue on the left half, white on the right: the 200 x 150 working image keeps
    // the edge at column 100.
    TrackingContext c;
    ASSERT_EQ(c.Configure(3 * 640, 480, 640, 1, false), kOlvarOk);
    ASSERT_EQ(c.workWidth, 200);
    std::vector<unsigned char> frame(3 * 640 * 480);
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            unsigned char* p = &frame[(static_cast<size_t>(y) * 640 + x) * 3];
            p[0] = 255;
            p[1] = p[2] = x < 320 ? 0 : 255;
        }
    }
    ASSERT_EQ(CopyFrame(c, frame.data(), static_cast<int>(frame.size())), kOlvarOk);
    const int framesBefore = FramesSinceLoad();
    ReduceAndConvert(c);
    EXPECT_EQ(FramesSinceLoad(), framesBefore + 1);

    ASSERT_EQ(c.colour.cols, 200);
    ASSERT_EQ(c.colour.rows, 150);
    for (int y = 0; y < 150; y += 7) {
        EXPECT_EQ(c.colour.at<cv::Vec3b>(y, 98), cv::Vec3b(255, 0, 0)) << y;
        EXPECT_EQ(c.colour.at<cv::Vec3b>(y, 101), cv::Vec3b(255, 255, 255)) << y;
        // YCrCb of pure blue and of white.
        EXPECT_EQ(c.ycrcb.at<cv::Vec3b>(y, 10), cv::Vec3b(29, 107, 255)) << y;
        EXPECT_EQ(c.ycrcb.at<cv::Vec3b>(y, 190), cv::Vec3b(255, 128, 128)) << y;
    }
    // The input image keeps the frame as it came.
    EXPECT_EQ(c.input.at<cv::Vec3b>(0, 319), cv::Vec3b(255, 0, 0));
}

TEST(ReduceAndConvert, SmoothsWithTheThreeByThreeGaussian) {
    // An unreduced frame with one white pixel: the 3 x 3 Gaussian (1 2 1 / 4 in each direction)
    // spreads it into 4/16 at the centre, 2/16 beside it and 1/16 on the diagonals.
    TrackingContext c;
    ASSERT_EQ(c.Configure(3 * 160, 120, 160, 1, false), kOlvarOk);
    ASSERT_FALSE(c.resize);
    std::vector<unsigned char> frame(3 * 160 * 120, 0);
    for (int k = 0; k < 3; ++k) {
        frame[(static_cast<size_t>(50) * 160 + 60) * 3 + k] = 255;
    }
    ASSERT_EQ(CopyFrame(c, frame.data(), static_cast<int>(frame.size())), kOlvarOk);
    ReduceAndConvert(c);
    struct Case {
        int dx, dy;
        int value;
    };
    const Case cases[] = {{0, 0, 64}, {1, 0, 32}, {0, -1, 32}, {1, 1, 16}, {-1, 1, 16}, {2, 0, 0}};
    for (const Case& k : cases) {
        EXPECT_EQ(c.colour.at<cv::Vec3b>(50 + k.dy, 60 + k.dx)[1], k.value) << k.dx << "," << k.dy;
    }
}

}  // namespace
}  // namespace olvar
