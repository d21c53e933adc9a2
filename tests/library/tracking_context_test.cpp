// The tracking context: frame-format checks, the working-size rule and the re-creation of every
// working buffer for a new geometry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/olvar_object.h"
#include "library/tracking_context.h"

namespace olvar {
namespace {

// The working-size images of the context with the channel count each must have.
struct NamedImage {
    const char* name;
    cv::Mat* image;
    int channels;
};

std::vector<NamedImage> WorkingImages(TrackingContext& c) {
    return {
        {"colour", &c.colour, 3},
        {"ycrcb", &c.ycrcb, 3},
        {"reservedMask", &c.reservedMask, 1},
        {"previousColour", &c.previousColour, 3},
        {"olderColour", &c.olderColour, 3},
        {"motionMask", &c.motionMask, 1},
        {"changedMask", &c.changedMask, 1},
        {"reference", &c.reference, 3},
        {"referenceCopy", &c.referenceCopy, 3},
        {"differenceMask", &c.differenceMask, 1},
        {"historyCount", &c.historyCount, 1},
        {"recentMotion", &c.recentMotion, 1},
        {"motionAccumulator", &c.motionAccumulator, 1},
        {"rawForeground", &c.rawForeground, 1},
        {"foreground", &c.foreground, 1},
        {"extraMasks[0]", &c.extraMasks[0], 1},
        {"extraMasks[1]", &c.extraMasks[1], 1},
        {"extraMasks[2]", &c.extraMasks[2], 1},
        {"usersArea", &c.usersArea, 1},
        {"accumulatorScratch", &c.accumulatorScratch, 1},
    };
}

std::vector<Integral*> WorkingArrays(TrackingContext& c) {
    return {&c.motionIntegral, &c.changedIntegral,    &c.differenceIntegral, &c.historyIntegral,
            &c.recentIntegral, &c.foregroundIntegral, &c.extraArray};
}

// The images that start cleared whenever they are (re-)created.
std::vector<cv::Mat*> ClearedImages(TrackingContext& c) {
    return {&c.historyCount, &c.recentMotion,  &c.motionAccumulator,
            &c.foreground,   &c.rawForeground, &c.extraMasks[0]};
}

void ExpectBuffersAtWorkingSize(TrackingContext& c) {
    const int w = c.workWidth, h = c.workHeight;
    for (const NamedImage& n : WorkingImages(c)) {
        EXPECT_EQ(n.image->cols, w) << n.name;
        EXPECT_EQ(n.image->rows, h) << n.name;
        EXPECT_EQ(n.image->type(), CV_MAKETYPE(CV_8U, n.channels)) << n.name;
    }
    for (Integral* array : WorkingArrays(c)) {
        EXPECT_EQ(array->size(), static_cast<size_t>(w) * h);
    }
    EXPECT_EQ(c.workPixels, w * h);
    EXPECT_EQ(c.workStep, static_cast<int>(c.colour.step[0]));
    EXPECT_EQ(c.quadtree.Width(), w);
    EXPECT_EQ(c.quadtree.Height(), h);
    EXPECT_EQ(c.workspace.width, w);
    EXPECT_EQ(c.workspace.height, h);
    EXPECT_EQ(c.workspace.pixelCount, w * h);
    // The input image holds the frame: a separate image of frame size when it is reduced,
    // otherwise the working colour image itself.
    EXPECT_EQ(c.input.cols, c.frameWidth);
    EXPECT_EQ(c.input.rows, c.frameHeight);
    EXPECT_EQ(c.input.type(), CV_8UC3);
    if (c.resize) {
        EXPECT_NE(c.input.data, c.colour.data);
    } else {
        EXPECT_EQ(c.input.data, c.colour.data);
    }
}

TEST(TrackingContext, StartsWithA320By240FrameAndA200By150WorkingImage) {
    TrackingContext c;
    EXPECT_EQ(c.frameWidth, 320);
    EXPECT_EQ(c.frameHeight, 240);
    EXPECT_EQ(c.frameStride, 960);
    EXPECT_EQ(c.pixelFormat, 1);
    EXPECT_FALSE(c.bottomUp);
    EXPECT_EQ(c.workWidth, 200);
    EXPECT_EQ(c.workHeight, 150);
    EXPECT_EQ(c.workStep, 600);
    EXPECT_TRUE(c.resize);
    EXPECT_FLOAT_EQ(c.scale, 1.6f);
    EXPECT_FLOAT_EQ(c.inverseScale, 0.625f);
    ExpectBuffersAtWorkingSize(c);
    EXPECT_EQ(c.quadtree.Nodes().size(), 252u);
    for (cv::Mat* image : ClearedImages(c)) {
        EXPECT_EQ(cv::countNonZero(*image), 0);
    }
    for (int user = 0; user < 2; ++user) {
        EXPECT_FALSE(c.lastRecordValid[user]);
        EXPECT_EQ(c.lastRecord[user].torsoHalfWidth, 0);
        EXPECT_EQ(c.lastRecord[user].joints[2].x, 2.0f);
        EXPECT_EQ(c.lastRecord[user].joints[2].y, 2.0f);
        EXPECT_EQ(c.lastRecord[user].joints[3].x, 2.0f);
        EXPECT_EQ(c.lastRecord[user].joints[3].y, 0.0f);
    }
}

TEST(TrackingContext, WorkingSizeLandsTheSmallerRelativeSideOn200By150) {
    struct Case {
        int width, height;
        int workWidth, workHeight;
        float scale;  // 1 and no resize when the frame is used as it is
        bool resize;
    };
    const Case cases[] = {
        {640, 480, 200, 150, 3.2f, true},
        // 1280 / 4.8 + 0.5 = 267.2 -> 267, cut to a multiple of 4.
        {1280, 720, 264, 150, 4.8f, true},
        {1920, 1080, 264, 150, 7.2f, true},
        {800, 600, 200, 150, 4.0f, true},
        {352, 288, 200, 164, 1.76f, true},
        {2048, 2048, 200, 200, 10.24f, true},
        {201, 151, 200, 150, 1.005f, true},
        {1001, 203, 740, 150, 1.35333335f, true},
        {2048, 151, 2032, 150, 1.00666666f, true},
        {203, 1001, 200, 986, 1.015f, true},
        // One side at or below its working limit: the frame is used as it is.
        {176, 144, 176, 144, 1.0f, false},
        {200, 150, 200, 150, 1.0f, false},
        {200, 600, 200, 600, 1.0f, false},
        {2048, 120, 2048, 120, 1.0f, false},
        {121, 2048, 121, 2048, 1.0f, false},
        {159, 300, 159, 300, 1.0f, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.width) + " x " + std::to_string(k.height));
        TrackingContext c;
        ASSERT_EQ(c.Configure(3 * k.width, k.height, k.width, kOlvarBgr24, false), kOlvarOk);
        EXPECT_EQ(c.workWidth, k.workWidth);
        EXPECT_EQ(c.workHeight, k.workHeight);
        EXPECT_EQ(c.resize, k.resize);
        EXPECT_FLOAT_EQ(c.scale, k.scale);
        EXPECT_FLOAT_EQ(c.inverseScale, 1.0f / k.scale);
        EXPECT_EQ(c.workWidth % 4 == 0 || !k.resize, true);
        ExpectBuffersAtWorkingSize(c);
    }
}

TEST(TrackingContext, ANewGeometryRecreatesEveryBufferWithTheClearedOnesCleared) {
    TrackingContext c;
    // Leave traces in every buffer of the old geometry.
    for (const NamedImage& n : WorkingImages(c)) {
        n.image->setTo(cv::Scalar::all(1));
    }
    for (Integral* array : WorkingArrays(c)) {
        std::fill(array->begin(), array->end(), 5);
    }
    struct Step {
        int width, height, format;
    };
    for (const Step& s : {Step{176, 144, 2}, Step{1280, 720, 1}, Step{159, 300, 1}}) {
        SCOPED_TRACE(std::to_string(s.width) + " x " + std::to_string(s.height));
        const int stride = (s.format == 1 ? 3 : 4) * s.width;
        ASSERT_EQ(c.Configure(stride, s.height, s.width, s.format, true), kOlvarOk);
        EXPECT_EQ(c.frameStride, stride);
        EXPECT_EQ(c.pixelFormat, s.format);
        EXPECT_TRUE(c.bottomUp);
        ExpectBuffersAtWorkingSize(c);
        for (cv::Mat* image : ClearedImages(c)) {
            EXPECT_EQ(cv::countNonZero(*image), 0);
        }
        for (const NamedImage& n : WorkingImages(c)) {
            n.image->setTo(cv::Scalar::all(1));
        }
    }
}

// Everything a Configure call may change, to compare before and after.
struct Snapshot {
    int frameWidth, frameHeight, frameStride, pixelFormat;
    bool bottomUp;
    int workWidth, workHeight, workStep, workPixels;
    bool resize;
    float scale, inverseScale;
    const uint8_t* inputData;
    const uint8_t* colourData;
    const uint8_t* foregroundData;
    const int32_t* integralData;
    int treeWidth;

    explicit Snapshot(const TrackingContext& c)
        : frameWidth(c.frameWidth),
          frameHeight(c.frameHeight),
          frameStride(c.frameStride),
          pixelFormat(c.pixelFormat),
          bottomUp(c.bottomUp),
          workWidth(c.workWidth),
          workHeight(c.workHeight),
          workStep(c.workStep),
          workPixels(c.workPixels),
          resize(c.resize),
          scale(c.scale),
          inverseScale(c.inverseScale),
          inputData(c.input.data),
          colourData(c.colour.data),
          foregroundData(c.foreground.data),
          integralData(c.foregroundIntegral.data()),
          treeWidth(c.quadtree.Width()) {}

    void ExpectEqual(const Snapshot& o) const {
        EXPECT_EQ(frameWidth, o.frameWidth);
        EXPECT_EQ(frameHeight, o.frameHeight);
        EXPECT_EQ(frameStride, o.frameStride);
        EXPECT_EQ(pixelFormat, o.pixelFormat);
        EXPECT_EQ(bottomUp, o.bottomUp);
        EXPECT_EQ(workWidth, o.workWidth);
        EXPECT_EQ(workHeight, o.workHeight);
        EXPECT_EQ(workStep, o.workStep);
        EXPECT_EQ(workPixels, o.workPixels);
        EXPECT_EQ(resize, o.resize);
        EXPECT_EQ(scale, o.scale);
        EXPECT_EQ(inverseScale, o.inverseScale);
        EXPECT_EQ(inputData, o.inputData) << "input image re-created";
        EXPECT_EQ(colourData, o.colourData) << "colour image re-created";
        EXPECT_EQ(foregroundData, o.foregroundData) << "foreground re-created";
        EXPECT_EQ(integralData, o.integralData) << "integral re-created";
        EXPECT_EQ(treeWidth, o.treeWidth);
    }
};

TEST(TrackingContext, FrameFormatChecks) {
    struct Case {
        const char* name;
        int stride, height, width, format;
        int expected;
    };
    const Case cases[] = {
        {"width 2049", 3 * 2049, 480, 2049, 1, kOlvarInvalid},
        {"width 119", 3 * 119, 480, 119, 1, kOlvarInvalid},
        {"height 119", 3 * 640, 119, 640, 1, kOlvarInvalid},
        {"height 2049", 3 * 640, 2049, 640, 1, kOlvarInvalid},
        {"format 3", 4 * 640, 480, 640, 3, kOlvarInvalid},
        {"format 0", 3 * 640, 480, 640, 0, kOlvarInvalid},
        {"stride 3w - 1 in format 1", 3 * 640 - 1, 480, 640, 1, kOlvarInvalid},
        {"stride 3w in format 2", 3 * 640, 480, 640, 2, kOlvarInvalid},
        {"stride 4w - 1 in format 2", 4 * 640 - 1, 480, 640, 2, kOlvarInvalid},
        {"negative stride", -3 * 640, 480, 640, 1, kOlvarInvalid},
        {"stride 4w in format 2", 4 * 640, 480, 640, 2, kOlvarOk},
        {"padded stride in format 1", 3 * 640 + 64, 480, 640, 1, kOlvarOk},
        {"smallest frame", 3 * 120, 120, 120, 1, kOlvarOk},
        {"largest frame", 4 * 2048, 2048, 2048, 2, kOlvarOk},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TrackingContext c;
        const Snapshot before(c);
        EXPECT_EQ(c.Configure(k.stride, k.height, k.width, k.format, true), k.expected);
        if (k.expected != kOlvarOk) {
            before.ExpectEqual(Snapshot(c));  // nothing changes, not even bottomUp
        } else {
            EXPECT_EQ(c.frameStride, k.stride);
            EXPECT_EQ(c.frameWidth, k.width);
            EXPECT_EQ(c.frameHeight, k.height);
            EXPECT_EQ(c.pixelFormat, k.format);
            EXPECT_TRUE(c.bottomUp);
        }
    }
}

TEST(TrackingContext, TheSameFormatAgainOnlyUpdatesBottomUp) {
    TrackingContext c;
    ASSERT_EQ(c.Configure(3 * 640, 480, 640, 1, false), kOlvarOk);
    c.foreground.setTo(1);
    const Snapshot before(c);

    ASSERT_EQ(c.Configure(3 * 640, 480, 640, 1, true), kOlvarOk);
    EXPECT_TRUE(c.bottomUp);
    Snapshot after(c);
    after.bottomUp = false;
    before.ExpectEqual(after);
    EXPECT_EQ(cv::countNonZero(c.foreground), c.workPixels);  // not re-created, not cleared

    // A different stride alone is a new geometry.
    ASSERT_EQ(c.Configure(3 * 640 + 4, 480, 640, 1, true), kOlvarOk);
    EXPECT_EQ(cv::countNonZero(c.foreground), 0);
}

TEST(OlvarConfiguration, SetFrameFormatResizesThePerUserStateOnlyWhenAccepted) {
    Olvar tracker;
    ASSERT_EQ(tracker.SetFrameFormat(3 * 1280, 720, 1280, 1, false), kOlvarOk);
    EXPECT_EQ(tracker.Users().width, 264);
    EXPECT_EQ(tracker.Users().height, 150);
    EXPECT_EQ(tracker.Context().workWidth, 264);

    EXPECT_EQ(tracker.SetFrameFormat(3 * 176, 144, 176, 5, false), kOlvarInvalid);
    EXPECT_EQ(tracker.Users().width, 264);
    EXPECT_EQ(tracker.Context().frameWidth, 1280);

    ASSERT_EQ(tracker.SetFrameFormat(4 * 176, 144, 176, 2, false), kOlvarOk);
    EXPECT_EQ(tracker.Users().width, 176);
    EXPECT_EQ(tracker.Users().height, 144);
    EXPECT_EQ(tracker.Users().pixelCount, 176 * 144);
}

}  // namespace
}  // namespace olvar
