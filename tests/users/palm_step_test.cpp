// The palm part of the per-user step: the region test on hand 1, the camera-resolution
// companion and hand masks (kept across frames, re-created on a new frame size, inside the frame
// for any hand position and frame shape), and the palm group of the tracking record.
#include <gtest/gtest.h>

#include <memory>

#include <opencv2/imgproc.hpp>

#include "imaging/integral.h"
#include "palm/finger_events.h"
#include "users/per_user_state.h"

namespace olvar {
namespace {

const cv::Scalar kSkin(124, 160, 214);  // blue, green, red
const cv::Scalar kWall(90, 140, 60);

// A user of a working grid W x H whose hand 1 is raised at `hand` (working pixels), in a frame
// `scale` times larger. The working skin and foreground maps hold a disc of radius 7 there; the
// frame shows a skin-coloured disc of the same size at frame scale with a dark spot (a hole in
// the hand's colour) at its centre.
class PalmStepTest : public ::testing::Test {
  protected:
    void SetUp() override { Build(200, 150, 3.2, {50, 40}); }

    void Build(int width, int height, double scaleFactor, cv::Point2f hand) {
        W = width;
        H = height;
        scale = scaleFactor;
        state = std::make_unique<PerUserState>();
        state->ResizeState(W, H, W * H);
        UserTracker& u = state->Current();
        u.present = u.torsoReady = u.handsReady = true;
        u.torsoSize = 20;
        u.faceSize = 16;
        u.handSizeInt[1] = 10;
        u.handFound[1] = true;
        u.handX[1] = hand.x;
        u.handY[1] = hand.y;
        u.skeleton.bodyScale = 20;
        u.skeleton.J(BodySkeleton::kNeckTop).x = W;  // every hand is image-left of the neck
        u.skeleton.J(BodySkeleton::kShoulderCentre).y = H;

        const cv::Size frameSize(TruncToInt(W * scale), TruncToInt(H * scale));
        input = cv::Mat(frameSize, CV_8UC3, kWall);
        const cv::Point2f centre = hand * static_cast<float>(scale);
        cv::circle(input, centre, TruncToInt(7 * scale), kSkin, cv::FILLED);
        cv::circle(input, centre, std::max(1, TruncToInt(1.5 * scale)), cv::Scalar(20, 20, 20),
                   cv::FILLED);
        cv::Mat small;
        cv::resize(input, small, cv::Size(W, H), 0, 0, cv::INTER_AREA);
        colour = small;
        cv::cvtColor(small, ycrcb, cv::COLOR_BGR2YCrCb);

        const cv::Point at(TruncToInt(hand.x), TruncToInt(hand.y));
        foreground = cv::Mat::zeros(H, W, CV_8UC1);
        cv::circle(foreground, at, 9, cv::Scalar(1), cv::FILLED);
        state->rawSkinMap.setTo(0);
        cv::circle(state->rawSkinMap, at, 7, cv::Scalar(1), cv::FILLED);
        state->rawSkinMap.copyTo(state->skinMap);
        BuildIntegral(state->skinIntegral, state->skinMap);
        BuildIntegral(state->handSearch, state->skinMap);
        BuildIntegral(foregroundIntegral, foreground);
        zeros.assign(static_cast<size_t>(W) * H, 0);
        motion = cv::Mat::zeros(H, W, CV_8UC1);
        motionIntegral = zeros;
    }

    FrameView Frame() const {
        return FrameView{W,
                         H,
                         input,
                         colour,
                         ycrcb,
                         ycrcb,
                         foreground,
                         foreground,
                         motion,
                         foregroundIntegral.data(),
                         zeros.data(),
                         zeros.data(),
                         motionIntegral.data(),
                         6,
                         quadtree,
                         noRecords,
                         records};
    }

    int Step() { return state->PalmStep(Frame(), scale); }

    int W = 0, H = 0;
    double scale = 1;
    std::unique_ptr<PerUserState> state;
    cv::Mat input, colour, ycrcb, foreground, motion;
    Integral foregroundIntegral, zeros, motionIntegral;
    Quadtree quadtree;
    bool noRecords[2] = {false, false};
    TrackingRecord records[2] = {};
};

TEST_F(PalmStepTest, RaisedHandGetsCameraResolutionMasks) {
    // A found hand image-left of the neck starts palm tracking.
    EXPECT_EQ(Step(), kOlvarOk);
    const PalmState& palm = state->palm[0];
    EXPECT_TRUE(palm.handRegionFound);
    EXPECT_TRUE(palm.palmActive);
    EXPECT_DOUBLE_EQ(palm.k, 3.2);

    const PalmBuffers& b = state->palmBuffers;
    ASSERT_EQ(b.size, input.size());
    // The companion mask is the foreground disc of radius 9 at frame scale.
    const int companion = cv::countNonZero(b.cameraForeground);
    EXPECT_NEAR(companion, CV_PI * 28.8 * 28.8, 0.1 * CV_PI * 28.8 * 28.8);
    EXPECT_EQ(IntegralTotal(b.cameraForegroundIntegral), companion);
    // The hand mask: the skin disc of radius 22.4, its dark centre filled as a hole.
    const int hand = cv::countNonZero(b.handMask);
    EXPECT_NEAR(hand, CV_PI * 22.4 * 22.4, 0.15 * CV_PI * 22.4 * 22.4);
    EXPECT_EQ(b.handMask.at<uint8_t>(128, 160), 1) << "the hole at the centre is filled";
    EXPECT_EQ(IntegralTotal(b.handMaskIntegral), hand);
    cv::Mat outside = b.handMask.clone();
    cv::circle(outside, cv::Point(160, 128), 26, cv::Scalar(0), cv::FILLED);
    EXPECT_EQ(cv::countNonZero(outside), 0) << "nothing of the wall";
}

TEST_F(PalmStepTest, HandNotRaisedEndsTheStepAndClearsTheTrack) {
    state->palm[0].palmActive = true;
    state->Current().handY[1] = H;  // below the shoulders
    EXPECT_EQ(Step(), kOlvarNothing);
    EXPECT_FALSE(state->palm[0].handRegionFound);
    EXPECT_FALSE(state->palm[0].palmActive);
    EXPECT_TRUE(state->palmBuffers.handMask.empty()) << "no camera-grid work for a lowered hand";
}

TEST_F(PalmStepTest, WithoutFaceFreeSkinTheHandMaskIsTheResizedSkinMap) {
    state->handSearch.assign(static_cast<size_t>(W) * H, 0);
    Step();
    cv::Mat expected;
    cv::resize(state->rawSkinMap, expected, input.size(), 0, 0, cv::INTER_LINEAR);
    const PalmBuffers& b = state->palmBuffers;
    // The resized skin map, then its holes in the hand box filled (it has none).
    EXPECT_EQ(cv::countNonZero(b.handMask != expected), 0);
}

TEST_F(PalmStepTest, BuffersAreKeptAcrossFramesAndRemadeForANewFrameSize) {
    Step();
    const PalmBuffers& b = state->palmBuffers;
    const uint8_t* hand = b.handMask.data;
    const uint8_t* companion = b.cameraForeground.data;
    const int32_t* handIntegral = b.handMaskIntegral.data();
    const int32_t* companionIntegral = b.cameraForegroundIntegral.data();
    const uint8_t* ycc = b.frameYCrCb.data;
    for (int frame = 0; frame < 3; ++frame) {
        Step();
        EXPECT_EQ(b.handMask.data, hand);
        EXPECT_EQ(b.cameraForeground.data, companion);
        EXPECT_EQ(b.handMaskIntegral.data(), handIntegral);
        EXPECT_EQ(b.cameraForegroundIntegral.data(), companionIntegral);
        EXPECT_EQ(b.frameYCrCb.data, ycc);
    }
    cv::resize(input, input, cv::Size(320, 240));
    Step();
    EXPECT_EQ(b.size, cv::Size(320, 240));
    EXPECT_EQ(b.handMask.size(), cv::Size(320, 240));
    EXPECT_EQ(b.handMaskIntegral.size(), 320u * 240u);
}

// Hands at the frame's edges and corners for frame shapes whose camera grid is larger than the
// working grid times the object's scale (1280 x 720: working 264 x 150, k = 4.85 > 4.8), equal
// to it (a frame of at most 200 x 150, or 120 x 2048, runs unscaled), or 640 x 480.
// Counts the images OpenCV allocates (every cv::Mat buffer, also those made inside OpenCV's own
// functions) while installed as the default allocator.
class CountingAllocator : public cv::MatAllocator {
  public:
    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                           cv::AccessFlag flags, cv::UMatUsageFlags usage) const override {
        ++count;
        return std_->allocate(dims, sizes, type, data, step, flags, usage);
    }
    bool allocate(cv::UMatData* data, cv::AccessFlag flags,
                  cv::UMatUsageFlags usage) const override {
        return std_->allocate(data, flags, usage);
    }
    void deallocate(cv::UMatData* data) const override { std_->deallocate(data); }

    mutable int count = 0;

  private:
    cv::MatAllocator* std_ = cv::Mat::getStdAllocator();
};

TEST_F(PalmStepTest, ARunningPalmStepAllocatesNoImage) {
    Step();  // the first frame makes the camera-grid buffers
    CountingAllocator counter;
    cv::MatAllocator* const previous = cv::Mat::getDefaultAllocator();
    cv::Mat::setDefaultAllocator(&counter);
    for (int frame = 0; frame < 3; ++frame) {
        Step();
    }
    const int counted = counter.count;
    { const cv::Mat probe(4, 4, CV_8UC1); }
    cv::Mat::setDefaultAllocator(previous);
    EXPECT_EQ(counted, 0);
    EXPECT_EQ(counter.count, 1) << "the counter sees an image made meanwhile";
}

// A moving hand runs the palm tracker (with its edge map), the finger fit (with the length
// probe), the re-centring and the fingertip search every frame: all of it in the kept images,
// none made anew, also not inside OpenCV.
TEST_F(PalmStepTest, AFollowedHandKeepsItsImagesAndAllocatesNoImage) {
    cv::circle(motion, cv::Point(50, 40), 9, cv::Scalar(1), cv::FILLED);
    BuildIntegral(motionIntegral, motion);
    Step();  // makes the camera-grid buffers and starts tracking
    Step();  // the first followed frame makes the fingertip search's images
    const PalmBuffers& b = state->palmBuffers;
    const uint8_t* const kept[] = {b.grey.data,
                                   b.edges.data,
                                   b.handMask.data,
                                   b.fingertips.region.data,
                                   b.fingertips.second.data,
                                   b.fingertips.handClone.data};
    CountingAllocator counter;
    cv::MatAllocator* const previous = cv::Mat::getDefaultAllocator();
    cv::Mat::setDefaultAllocator(&counter);
    int perFrame[3] = {0, 0, 0};
    int followed = 0;
    for (int& made : perFrame) {
        const int before = counter.count;
        followed += Step() == kOlvarOk ? 1 : 0;
        made = counter.count - before;
    }
    cv::Mat::setDefaultAllocator(previous);
    EXPECT_EQ(followed, 3) << "the hand is followed on every frame";
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(perFrame[frame], 0) << "images made on followed frame " << frame;
    }
    const uint8_t* const now[] = {b.grey.data,
                                  b.edges.data,
                                  b.handMask.data,
                                  b.fingertips.region.data,
                                  b.fingertips.second.data,
                                  b.fingertips.handClone.data};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(now[i], kept[i]) << "kept image " << i;
    }
}

TEST_F(PalmStepTest, EveryBoxStaysInsideTheFrameForAnyHandPositionAndShape) {
    struct Shape {
        int width, height;
        double scale;
        int frameWidth, frameHeight;
    };
    const Shape shapes[] = {
        {200, 150, 3.2, 640, 480},
        {264, 150, 4.8, 1280, 720},
        {120, 2048, 1.0, 120, 2048},
        {176, 144, 1.0, 176, 144},
    };
    for (const Shape& s : shapes) {
        for (const cv::Point2f hand : {cv::Point2f(0, 0), cv::Point2f(s.width - 1, s.height - 1),
                                       cv::Point2f(0, s.height - 1), cv::Point2f(s.width - 1, 0),
                                       cv::Point2f(s.width / 2, s.height / 2)}) {
            SCOPED_TRACE(testing::Message()
                         << s.frameWidth << " x " << s.frameHeight << ", hand " << hand);
            Build(s.width, s.height, s.scale, hand);
            if (input.cols != s.frameWidth || input.rows != s.frameHeight) {
                cv::resize(input, input, cv::Size(s.frameWidth, s.frameHeight));
            }
            int status = Step();
            EXPECT_TRUE(status == kOlvarOk || status == kOlvarLost || status == kOlvarNothing)
                << status;
            for (int frame = 0; frame < 3 && status == kOlvarOk; ++frame) {
                // Following the hand: the tracker, the edge map, the re-centring and the
                // fingertip search read only inside the masks.
                cv::circle(motion, cv::Point(TruncToInt(hand.x), TruncToInt(hand.y)), 9,
                           cv::Scalar(1), cv::FILLED);
                BuildIntegral(motionIntegral, motion);
                status = Step();
            }
            if (state->palm[0].handRegionFound) {
                EXPECT_EQ(state->palmBuffers.size, input.size());
                EXPECT_GT(IntegralTotal(state->palmBuffers.handMaskIntegral), 0);
            }
        }
    }
}

TEST_F(PalmStepTest, MissingFrameIsNothingToAnalyse) {
    input = cv::Mat();
    EXPECT_EQ(Step(), kOlvarNothing);
    EXPECT_FALSE(state->palm[0].palmActive);
}

// ---------------------------------------------------------------------------------------------
// The record's palm group.

TEST_F(PalmStepTest, RecordCarriesThePalmGroupOnlyWhilePalmTrackingRuns) {
    UserTracker& u = state->Current();
    u.handX[1] = 30;
    u.handY[1] = 35;
    PalmState& palm = state->palm[0];
    palm.palmX = 31.5f;
    palm.palmY = 33.25f;
    palm.group.radius = 4.5;
    for (int k = 0; k < kPalmFingers; ++k) {
        palm.group.fingertips[k] = {10.0f + k, 5.0f + k};
        palm.group.fingerBases[k] = {20.0f + k, 15.0f + k};
    }
    palm.group.fingerEvent = 2;

    struct Case {
        bool active;
        double radius;
        float tipX, baseY, hand1X;
        int event;
    };
    const Case cases[] = {
        {true, 4.5 * 2, (10.0f + 4) * 2, (15.0f + 4) * 2, 31.5f * 2, 2},
        {false, 1.0, 0.0f, 0.0f, 30.0f * 2, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.active ? "active" : "absent");
        palm.palmActive = c.active;
        TrackingRecord out[2];
        std::memset(out, 0x7F, sizeof out);
        int userNumber = -1;
        state->WriteRecord(&userNumber, out, 2.0f);
        EXPECT_DOUBLE_EQ(out[0].palmRadius, c.radius);
        EXPECT_FLOAT_EQ(out[0].fingertips[4].x, c.tipX);
        EXPECT_FLOAT_EQ(out[0].fingerBases[4].y, c.baseY);
        EXPECT_FLOAT_EQ(out[0].hand1X, c.hand1X);
        EXPECT_EQ(out[0].fingerEvent, c.event);
        for (int k = 0; k < kPalmFingers && !c.active; ++k) {
            EXPECT_EQ(out[0].fingertips[k].x, 0.0f);
            EXPECT_EQ(out[0].fingertips[k].y, 0.0f);
            EXPECT_EQ(out[0].fingerBases[k].x, 0.0f);
            EXPECT_EQ(out[0].fingerBases[k].y, 0.0f);
        }
    }
}

TEST_F(PalmStepTest, AStartReportsTheNewHandNotTheLastTrack) {
    struct Case {
        const char* name;
        int handSize;
        bool starts;
    };
    const Case cases[] = {{"hand of size 10", 10, true}, {"hand without a size", 0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Build(200, 150, 3.2, {50, 40});
        state->Current().handSizeInt[1] = c.handSize;
        PalmState& palm = state->palm[0];
        // What an earlier track left behind.
        palm.group.radius = 9;
        for (int k = 0; k < kPalmFingers; ++k) {
            palm.group.fingertips[k] = palm.group.fingerBases[k] = {150.0f, 120.0f};
        }
        palm.group.fingerEvent = kFingerHeld;

        EXPECT_EQ(Step(), c.starts ? kOlvarOk : kOlvarLost);
        EXPECT_EQ(palm.palmActive, c.starts);
        if (!c.starts) {
            continue;
        }
        EXPECT_NEAR(palm.group.radius, c.handSize / 2.0, 0.5);
        for (int k = 0; k < kPalmFingers; ++k) {
            EXPECT_NEAR(palm.group.fingertips[k].x, 50, 1) << "slot " << k;
            EXPECT_NEAR(palm.group.fingertips[k].y, 40, 1) << "slot " << k;
            EXPECT_EQ(palm.group.fingerBases[k], palm.group.fingertips[k]) << "slot " << k;
        }
        EXPECT_EQ(palm.group.fingerEvent, kFingerNone);
    }
}

TEST_F(PalmStepTest, SwitchingPalmTrackingOffClearsOnlyTheFlags) {
    PalmState& palm = state->palm[0];
    palm.palmActive = palm.handRegionFound = true;
    palm.group.radius = 7;
    palm.ClearFlags();
    EXPECT_FALSE(palm.palmActive);
    EXPECT_FALSE(palm.handRegionFound);
    EXPECT_EQ(palm.group.radius, 7) << "the last result stays for the next start";
}

}  // namespace
}  // namespace olvar
