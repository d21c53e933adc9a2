// The change analysis of the frame pipeline: the difference against the block-wise reference,
// the reference take-over, the motion gate with its limits, the changed-colour mask and the
// motion history, the colour history, the status codes, and trackers of different sizes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "library/frame_preparation.h"
#include "library/olvar_object.h"
#include "pipeline_frames.h"
#include "synth/scene.h"

namespace olvar {
namespace {

constexpr int W = 200;
constexpr int H = 150;

// Marks the whole picture as changed against the reference, so every top cell is full.
void AllBlocksChanged(TrackingContext& c) {
    c.differenceMask.setTo(1);
    BuildIntegral(c.differenceIntegral, c.differenceMask);
    c.quadtree.Update(W, H, c.differenceIntegral.data());
}

TEST(DifferenceMask, MarksBrightnessAbove12AndColourAbove6) {
    struct Case {
        int dy, dcr, dcb;
        int expected;
    };
    const Case cases[] = {
        {12, 0, 0, 0}, {13, 0, 0, 1}, {-13, 0, 0, 1}, {0, 6, 0, 0},  {0, 7, 0, 1},
        {0, -7, 0, 1}, {0, 0, 6, 0},  {0, 0, 7, 1},   {0, 0, -7, 1}, {12, 6, -6, 0},
    };
    TrackingContext c;
    c.reference.setTo(cv::Vec3b(100, 128, 128));
    c.ycrcb.setTo(cv::Vec3b(100, 128, 128));
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
        const Case& k = cases[i];
        c.ycrcb.at<cv::Vec3b>(10, 10 + i) =
            cv::Vec3b(static_cast<uint8_t>(100 + k.dy), static_cast<uint8_t>(128 + k.dcr),
                      static_cast<uint8_t>(128 + k.dcb));
    }
    BuildDifferenceMask(c);
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
        EXPECT_EQ(c.differenceMask.at<uint8_t>(10, 10 + i), cases[i].expected) << i;
    }
    EXPECT_EQ(IntegralTotal(c.differenceIntegral), 6);
}

TEST(ReferenceUpdate, TakesOverExactlyTheBlocksThatChanged) {
    // The whole frame drifts by 5 (below the thresholds) and one pixel at (30, 30) changes by
    // 20: only its leaf, columns and rows 25 to 36, takes the current frame into the reference.
    TrackingContext c;
    const cv::Vec3b old(100, 128, 128), drifted(105, 128, 128);
    c.reference.setTo(old);
    c.ycrcb.setTo(drifted);
    c.ycrcb.at<cv::Vec3b>(30, 30) = cv::Vec3b(120, 128, 128);
    BuildDifferenceMask(c);
    c.quadtree.Update(W, H, c.differenceIntegral.data());
    UpdateReference(c);

    const cv::Rect leaf(25, 25, 12, 12);
    cv::Mat expected(H, W, CV_8UC3, cv::Scalar(old));
    c.ycrcb(leaf).copyTo(expected(leaf));
    EXPECT_EQ(cv::norm(c.reference, expected, cv::NORM_INF), 0);
    EXPECT_EQ(cv::norm(c.referenceCopy, cv::Mat(H, W, CV_8UC3, cv::Scalar(old)), cv::NORM_INF), 0);

    // A frame without any difference leaves the reference alone.
    c.reference.copyTo(expected);
    c.ycrcb = c.reference.clone();
    BuildDifferenceMask(c);
    c.quadtree.Update(W, H, c.differenceIntegral.data());
    EXPECT_FALSE(c.quadtree.Any());
    c.ycrcb.setTo(cv::Vec3b(0, 0, 0));
    UpdateReference(c);
    EXPECT_EQ(cv::norm(c.reference, expected, cv::NORM_INF), 0);
}

// Sets `count` pixels of the colour image, in row order from (0, 20), to differ from the
// previous colour frame by 13 in the blue channel.
void MovePixels(TrackingContext& c, int count) {
    c.previousColour.setTo(cv::Vec3b(100, 100, 100));
    c.colour.setTo(cv::Vec3b(100, 100, 100));
    for (int i = 0; i < count; ++i) {
        c.colour.at<cv::Vec3b>(20 + i / W, i % W) = cv::Vec3b(113, 100, 100);
    }
}

TEST(MotionGate, StillBelowTenAndRejectedOnlyAboveTheLimit) {
    TrackingContext c;
    AllBlocksChanged(c);
    MovePixels(c, 0);
    EXPECT_EQ(AnalyseMotion(c), kStillScene);
    const int limit = MotionLimit();
    ASSERT_GT(limit, 0);
    struct Case {
        int moving;
        int expected;
    };
    std::vector<Case> cases = {{9, kStillScene}, {10, kOlvarOk}};
    if (limit < W * (H - 20)) {
        cases.push_back({limit, kOlvarOk});
        cases.push_back({limit + 1, kOlvarTooMuchMotion});
    }
    for (const Case& k : cases) {
        SCOPED_TRACE(k.moving);
        MovePixels(c, k.moving);
        EXPECT_EQ(AnalyseMotion(c), k.expected);
        EXPECT_EQ(IntegralTotal(c.motionIntegral), k.moving);
    }
    // The limit was taken once, from the first context that measured motion.
    TrackingContext wide;
    ASSERT_EQ(wide.Configure(3 * 1280, 720, 1280, 1, false), kOlvarOk);
    AnalyseMotion(wide);
    EXPECT_EQ(MotionLimit(), limit);
}

TEST(MotionGate, CountsColourChangesAbove12OnlyInsideChangedBlocks) {
    TrackingContext c;
    // Only the top-left top cell (50 x 50) changed against the reference.
    c.differenceMask.setTo(0);
    c.differenceMask(cv::Rect(0, 0, 50, 50)).setTo(1);
    BuildIntegral(c.differenceIntegral, c.differenceMask);
    c.quadtree.Update(W, H, c.differenceIntegral.data());
    c.previousColour.setTo(cv::Vec3b(100, 100, 100));
    c.colour.setTo(cv::Vec3b(100, 100, 100));
    struct Case {
        cv::Point at;
        cv::Vec3b colour;
        int expected;
    };
    const Case cases[] = {
        {{5, 5}, {112, 100, 100}, 0}, {{6, 5}, {113, 100, 100}, 1}, {{7, 5}, {100, 87, 100}, 1},
        {{8, 5}, {100, 100, 113}, 1}, {{9, 5}, {88, 112, 88}, 0},   {{60, 5}, {200, 0, 0}, 0},
        {{10, 60}, {200, 0, 0}, 0},
    };
    for (const Case& k : cases) {
        c.colour.at<cv::Vec3b>(k.at) = k.colour;
    }
    // Enough other motion inside the cell to pass the gate.
    c.colour(cv::Rect(20, 20, 10, 2)).setTo(cv::Vec3b(0, 0, 0));
    EXPECT_EQ(AnalyseMotion(c), kOlvarOk);
    for (const Case& k : cases) {
        EXPECT_EQ(c.motionMask.at<uint8_t>(k.at), k.expected) << k.at;
    }
    EXPECT_EQ(IntegralTotal(c.motionIntegral), 3 + 20);
}

TEST(MotionHistory, PixelsStayRecentForSixFramesAndChangedColourNeedsTheFrameTwoBack) {
    TrackingContext c;
    AllBlocksChanged(c);
    c.previousColour.setTo(cv::Vec3b(100, 100, 100));
    c.olderColour.setTo(cv::Vec3b(100, 100, 100));
    // A strip that always moves keeps the gate open; pixel (50, 50) moves once.
    c.colour.setTo(cv::Vec3b(100, 100, 100));
    c.colour(cv::Rect(0, 100, 20, 1)).setTo(cv::Vec3b(0, 0, 0));
    c.colour.at<cv::Vec3b>(50, 50) = cv::Vec3b(0, 0, 0);
    // Pixel (60, 50) moves against the last frame but is back to the frame two back.
    c.colour.at<cv::Vec3b>(50, 60) = cv::Vec3b(0, 0, 0);
    c.olderColour.at<cv::Vec3b>(50, 60) = cv::Vec3b(0, 0, 0);
    ASSERT_EQ(AnalyseMotion(c), kOlvarOk);
    EXPECT_EQ(c.changedMask.at<uint8_t>(50, 50), 1);
    EXPECT_EQ(c.changedMask.at<uint8_t>(50, 60), 0);
    EXPECT_EQ(IntegralTotal(c.changedIntegral), 21);

    c.colour.at<cv::Vec3b>(50, 50) = cv::Vec3b(100, 100, 100);
    std::vector<int> recent = {c.recentMotion.at<uint8_t>(50, 50)};
    std::vector<int> counter = {c.historyCount.at<uint8_t>(50, 50)};
    for (int frame = 1; frame <= 7; ++frame) {
        ASSERT_EQ(AnalyseMotion(c), kOlvarOk);
        recent.push_back(c.recentMotion.at<uint8_t>(50, 50));
        counter.push_back(c.historyCount.at<uint8_t>(50, 50));
    }
    EXPECT_EQ(recent, (std::vector<int>{1, 1, 1, 1, 1, 1, 0, 0}));
    EXPECT_EQ(counter, (std::vector<int>{6, 5, 4, 3, 2, 1, 0, 0}));
    // The strip and pixel (60, 50) move every frame.
    EXPECT_EQ(IntegralTotal(c.recentIntegral), 21);
}

cv::Mat Room(int width, int height) {
    return synth::RenderEmptyRoom(width, height, 3);
}

cv::Mat RoomWithSquare(int width, int height, int x, int size) {
    cv::Mat frame = Room(width, height);
    cv::rectangle(frame, cv::Rect(x, height / 2, size, size), cv::Scalar(20, 200, 240), cv::FILLED);
    return frame;
}

TEST(ColourHistory, ShiftsOnMovingAndRejectedFramesButNotOnStillOnes) {
    TrackingContext c;
    const cv::Mat grey(240, 320, CV_8UC3, cv::Scalar(90, 90, 90));
    const cv::Mat moved = RoomWithSquare(320, 240, 100, 30);
    auto prepare = [&](const cv::Mat& picture) {
        const std::vector<unsigned char> bytes = frames::HostBytes(picture);
        return PrepareFrame(c, bytes.data(), static_cast<int>(bytes.size()));
    };
    auto same = [](const cv::Mat& a, const cv::Mat& b) {
        return cv::norm(a, b, cv::NORM_INF) == 0;
    };

    // The first frame differs from the empty reference and the black history everywhere.
    EXPECT_EQ(prepare(grey), kOlvarTooMuchMotion);
    const cv::Mat greyWorking = c.colour.clone();
    EXPECT_TRUE(same(c.previousColour, greyWorking));
    EXPECT_EQ(cv::countNonZero(c.olderColour.reshape(1)), 0);

    // The same frame again: a still scene, nothing shifts.
    EXPECT_EQ(prepare(grey), kStillScene);
    EXPECT_TRUE(same(c.previousColour, greyWorking));
    EXPECT_EQ(cv::countNonZero(c.olderColour.reshape(1)), 0);
    EXPECT_TRUE(LastFrameMasks(c).changed.empty());

    // A room over 60 % of the picture is too much motion; the history still shifts.
    EXPECT_EQ(prepare(moved), kOlvarTooMuchMotion);
    const cv::Mat movedWorking = c.colour.clone();
    EXPECT_TRUE(same(c.olderColour, greyWorking));
    EXPECT_TRUE(same(c.previousColour, movedWorking));

    // The square moves a little: warm-up or segmented, the history shifts.
    const int status = prepare(RoomWithSquare(320, 240, 110, 30));
    EXPECT_TRUE(status == kOlvarNothing || status == kOlvarOk) << status;
    EXPECT_TRUE(same(c.olderColour, movedWorking));
    EXPECT_TRUE(same(c.previousColour, c.colour));
    EXPECT_FALSE(LastFrameMasks(c).changed.empty());
}

// Feeds `tracker` a frame and returns the status.
int Feed(Olvar& tracker, const cv::Mat& picture) {
    const std::vector<unsigned char> bytes = frames::HostBytes(picture);
    TrackingRecord records[2];
    GestureRecord gestures[2];
    int userNumber = 0;
    return tracker.ProcessFrame(bytes.data(), static_cast<int>(bytes.size()), &userNumber, records,
                                gestures);
}

// Runs, in a process of its own, a sequence of frames over two trackers from the first frame
// since load, and exits with 0 when every status is as expected (1 with a message otherwise).
void RunStatusSequenceAndExit() {
    int failures = 0;
    auto expect = [&](bool ok, const char* what, int frame, int status) {
        if (!ok) {
            std::fprintf(stderr, "frame %d: %s (status %d)\n", frame, what, status);
            ++failures;
        }
    };
    if (FramesSinceLoad() != 0) {
        std::fprintf(stderr, "frames counted before the sequence\n");
        std::exit(1);
    }
    Olvar a, b;
    // Frames 1 to 30 go to the two trackers in turn; a square moves across the room.
    for (int frame = 1; frame <= 30; ++frame) {
        Olvar& tracker = frame % 2 == 1 ? a : b;
        const int status = Feed(tracker, RoomWithSquare(320, 240, 20 + 6 * frame, 24));
        // Each tracker's first frame differs from its empty reference everywhere.
        const int expected = frame <= 2 ? kOlvarTooMuchMotion : kOlvarNothing;
        expect(status == expected, "warm-up", frame, status);
        expect(!LastFrameMasks(tracker.Context()).segmented, "segmented during warm-up", frame,
               status);
    }
    expect(MotionLimit() == 18000, "motion limit of a 200 x 150 working image", 30, MotionLimit());
    // Frame 31 is the first to be segmented, whichever tracker gets it; the codebook learns the
    // frame, so the small square is too little foreground.
    for (int frame = 31; frame <= 32; ++frame) {
        Olvar& tracker = frame % 2 == 1 ? a : b;
        const int status = Feed(tracker, RoomWithSquare(320, 240, 20 + 6 * frame, 24));
        expect(status == kOlvarTooLittleForeground, "small foreground", frame, status);
        expect(LastFrameMasks(tracker.Context()).segmented, "not segmented", frame, status);
        expect(tracker.Context().codebook.CellCount() == 200 * 150, "codebook size", frame, status);
    }
    // An inverted picture moves everywhere.
    cv::Mat inverted;
    cv::bitwise_not(Room(320, 240), inverted);
    int status = Feed(a, inverted);
    expect(status == kOlvarTooMuchMotion, "inverted picture", 33, status);
    // Back to the room, then a large block slides in: once it holds 400 foreground pixels the
    // frame has nothing to report (no user tracking yet) instead of too little foreground.
    Feed(a, Room(320, 240));
    bool sawEnough = false;
    for (int step = 1; step <= 6; ++step) {
        cv::Mat frame = Room(320, 240);
        cv::rectangle(frame, cv::Rect(-80 + 25 * step, 60, 80, 150), cv::Scalar(40, 40, 170),
                      cv::FILLED);
        status = Feed(a, frame);
        const int foreground = IntegralTotal(a.Context().foregroundIntegral);
        const int expected = foreground < 400 ? kOlvarTooLittleForeground : kOlvarNothing;
        expect(status == expected, "foreground rule", 34 + step, status);
        sawEnough = sawEnough || foreground >= 400;
    }
    expect(sawEnough, "the block never reached 400 foreground pixels", 40, 0);
    std::exit(failures == 0 ? 0 : 1);
}

TEST(PipelineStatusDeathTest, WarmUpCountsFramesOfAllTrackersThenSegments) {
    // The warm-up counts frames since the library was loaded, so the sequence runs in a freshly
    // started copy of this test program.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunStatusSequenceAndExit(), ::testing::ExitedWithCode(0), "");
}

// Feeds a tracker moving-square frames until one is segmented (at most 80 frames).
bool FeedUntilSegmented(Olvar& tracker, int width, int height, int& step) {
    for (int i = 0; i < 80; ++i, ++step) {
        Feed(tracker, RoomWithSquare(width, height, 10 + (step * 7) % (width / 2), width / 12));
        if (LastFrameMasks(tracker.Context()).segmented) {
            return true;
        }
    }
    return false;
}

TEST(Pipeline, TrackersOfDifferentSizesKeepTheirOwnCodebooks) {
    // 640 x 480 frames work at 200 x 150, 1280 x 720 frames at 264 x 150. Frames go to both in
    // turn; each codebook has exactly one cell per working pixel of its own tracker.
    Olvar small, wide;
    ASSERT_EQ(small.SetFrameFormat(3 * 640, 480, 640, 1, false), kOlvarOk);
    ASSERT_EQ(wide.SetFrameFormat(3 * 1280, 720, 1280, 1, false), kOlvarOk);
    int stepSmall = 0, stepWide = 0;
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(FeedUntilSegmented(small, 640, 480, stepSmall));
        ASSERT_TRUE(FeedUntilSegmented(wide, 1280, 720, stepWide));
    }
    EXPECT_EQ(small.Context().codebook.CellCount(), 200 * 150);
    EXPECT_EQ(wide.Context().codebook.CellCount(), 264 * 150);
    EXPECT_EQ(wide.Context().codebook.Width(), 264);

    // A new frame format gives the next segmented frame a codebook of the new working size,
    // even when the pixel count stays the same (120 x 250 frames work unscaled: 30 000 pixels).
    struct Case {
        int width, height;
        int workWidth, workHeight;
    };
    const Case formats[] = {{640, 480, 200, 150}, {120, 250, 120, 250}, {1280, 720, 264, 150}};
    for (const Case& k : formats) {
        SCOPED_TRACE(k.width);
        ASSERT_EQ(wide.SetFrameFormat(3 * k.width, k.height, k.width, 1, false), kOlvarOk);
        ASSERT_TRUE(FeedUntilSegmented(wide, k.width, k.height, stepWide));
        EXPECT_EQ(wide.Context().codebook.Width(), k.workWidth);
        EXPECT_EQ(wide.Context().codebook.Height(), k.workHeight);
        EXPECT_EQ(wide.Context().codebook.CellCount(), k.workWidth * k.workHeight);
        ASSERT_TRUE(FeedUntilSegmented(small, 640, 480, stepSmall));
        EXPECT_EQ(small.Context().codebook.CellCount(), 200 * 150);
    }
}

TEST(Pipeline, TrackersOnTwoThreadsCountEveryFrame) {
    // Small unscaled frames keep this quick; every frame passes the copy stage and is counted.
    constexpr int kFrames = 60;
    const int before = FramesSinceLoad();
    auto drive = [](int seed) {
        Olvar tracker;
        if (tracker.SetFrameFormat(3 * 160, 120, 160, 1, false) != kOlvarOk) {
            return;
        }
        for (int i = 0; i < kFrames; ++i) {
            Feed(tracker, RoomWithSquare(160, 120, (seed + 5 * i) % 120, 12));
        }
    };
    std::thread first(drive, 0), second(drive, 40);
    first.join();
    second.join();
    EXPECT_EQ(FramesSinceLoad(), before + 2 * kFrames);
}

TEST(Pipeline, LastFrameMasksShowTheMotionAsMeasured) {
    // On a segmented frame the context's motion mask is cleaned in place; the masks for tests
    // and tools still show the motion as it was measured.
    Olvar tracker;
    ASSERT_EQ(tracker.SetFrameFormat(3 * 640, 480, 640, 1, false), kOlvarOk);
    int step = 0;
    ASSERT_TRUE(FeedUntilSegmented(tracker, 640, 480, step));
    const FrameMasks masks = LastFrameMasks(tracker.Context());
    const TrackingContext& c = tracker.Context();
    EXPECT_EQ(cv::countNonZero(masks.motion), IntegralTotal(c.motionIntegral));
    EXPECT_EQ(cv::countNonZero(masks.difference), IntegralTotal(c.differenceIntegral));
    EXPECT_EQ(cv::countNonZero(masks.changed), IntegralTotal(c.changedIntegral));
    EXPECT_EQ(cv::countNonZero(masks.foreground), IntegralTotal(c.foregroundIntegral));
    EXPECT_EQ(masks.motion.size(), cv::Size(200, 150));
}

}  // namespace
}  // namespace olvar
