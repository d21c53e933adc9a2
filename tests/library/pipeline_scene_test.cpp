// The frame pipeline on rendered 640 x 480 sequences with camera noise: the foreground mask
// against the person's silhouette, and an empty room under noise and a slow light change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "library/frame_preparation.h"
#include "library/olvar.h"
#include "pipeline_scene.h"

namespace olvar {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr double kNoise = 4.0;  // camera noise, grey levels per channel

class RenderedSequence : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(tracker_.SetFrameFormat(3 * kWidth, kHeight, kWidth, kOlvarBgr24, false),
                  kOlvarOk);
        room_ = scene::Room(kWidth, kHeight);
    }

    int Process(Olvar& tracker, const cv::Mat& clean) {
        const std::vector<unsigned char> bytes =
            scene::HostBytes(scene::WithNoise(clean, noise_, rng_));
        TrackingRecord records[2];
        GestureRecord gestures[2];
        int userNumber = 0;
        return tracker.ProcessFrame(bytes.data(), static_cast<int>(bytes.size()), &userNumber,
                                    records, gestures);
    }
    int Process(const cv::Mat& clean) { return Process(tracker_, clean); }

    // Feeds the empty room for as long as the process-wide warm-up lasts (at least that many
    // frames, so the tracker's history does not depend on what ran before), then lets the
    // curtain move once: that first moving frame after the warm-up is segmented and the
    // codebook learns the room from it.
    void WarmUpAndLearnRoom(Olvar& tracker) {
        for (int own = 0; own < kWarmUpFrames + 2 || FramesSinceLoad() <= kWarmUpFrames; ++own) {
            Process(tracker, room_);
        }
        room_ = scene::Room(kWidth, kHeight, 12);
        Process(tracker, room_);
        ASSERT_TRUE(LastFrameMasks(tracker.Context()).segmented);
        ASSERT_EQ(tracker.Context().codebook.CellCount(), 200 * 150);
    }
    void WarmUpAndLearnRoom() { WarmUpAndLearnRoom(tracker_); }

    cv::Mat WithPerson(const scene::Pose& pose) const {
        cv::Mat frame = room_.clone();
        scene::DrawPerson(frame, pose);
        return frame;
    }

    cv::Mat Silhouette(const scene::Pose& pose) const {
        cv::Mat full = cv::Mat::zeros(kHeight, kWidth, CV_8UC1);
        scene::DrawPerson(full, pose);
        return scene::WorkingSilhouette(full, cv::Size(200, 150));
    }

    static double ForegroundShare(Olvar& tracker) {
        const cv::Mat& fg = tracker.Context().foreground;
        return static_cast<double>(cv::countNonZero(fg)) / static_cast<double>(fg.total());
    }

    Olvar tracker_;
    cv::RNG rng_{802163120};
    double noise_ = kNoise;
    cv::Mat room_;
};

TEST_F(RenderedSequence, PersonWalkingInIsSegmentedLikeTheSilhouetteAndLeavesNoTrace) {
    WarmUpAndLearnRoom();
    // The person walks in from the left edge, 35 frame pixels per frame, then stands at the
    // middle swaying and moving the forearms.
    scene::Pose pose;
    for (int k = 0; k <= 12; ++k) {
        pose.centreX = -90 + 35 * k;
        Process(WithPerson(pose));
    }
    std::vector<double> ious;
    for (int k = 0; k < 30; ++k) {
        pose.centreX = 330 + 6 * std::sin(0.7 * k);
        pose.armLift = 0.5 + 0.5 * std::sin(0.5 * k);
        const int status = Process(WithPerson(pose));
        EXPECT_TRUE(status == kOlvarNothing || status == kOlvarTooLittleForeground) << status;
        const TrackingContext& c = tracker_.Context();
        // A mask, not counts: the integral's total is the number of foreground pixels.
        EXPECT_EQ(IntegralTotal(c.foregroundIntegral), cv::countNonZero(c.foreground));
        if (k >= 3) {
            ious.push_back(scene::IntersectionOverUnion(c.foreground, Silhouette(pose)));
        }
    }
    const double worst = *std::min_element(ious.begin(), ious.end());
    double mean = 0;
    for (double v : ious) {
        mean += v / ious.size();
    }
    std::printf("foreground vs silhouette IoU over %zu frames in place: mean %.3f, worst %.3f\n",
                ious.size(), mean, worst);
    EXPECT_GE(worst, 0.8);

    // The person walks out to the right; the room they leave behind is background again.
    for (int k = 1; k <= 12; ++k) {
        pose.centreX = 330 + 35 * k;
        Process(WithPerson(pose));
    }
    for (int k = 0; k < 3; ++k) {
        Process(room_);
    }
    std::printf("after the person left: foreground share %.3f %%\n",
                100 * ForegroundShare(tracker_));
    EXPECT_LT(ForegroundShare(tracker_), 0.005);
}

TEST_F(RenderedSequence, EmptyRoomStaysBackgroundUnderNoiseAndSlowLightChange) {
    // After the room is learned, each condition runs on its own tracker. The light change grows
    // from the right, by 0.05 % of the brightness per frame, to 10 % at the right edge after
    // 200 frames: the right part of the room crosses the difference thresholds block by block
    // while the left stays as it was, and some frames get segmented.
    struct Case {
        const char* name;
        double noise;
        double gainPerFrame;
        int frames;
    };
    const Case cases[] = {
        {"camera noise", kNoise, 0, 60},
        {"twice the camera noise", 2 * kNoise, 0, 60},
        {"camera noise and a slow light change", kNoise, 0.0005, 200},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Olvar tracker;
        ASSERT_EQ(tracker.SetFrameFormat(3 * kWidth, kHeight, kWidth, kOlvarBgr24, false),
                  kOlvarOk);
        noise_ = kNoise;
        room_ = scene::Room(kWidth, kHeight);
        WarmUpAndLearnRoom(tracker);
        noise_ = k.noise;
        int segmented = 0;
        double worst = 0;
        for (int f = 1; f <= k.frames; ++f) {
            const double gain = 1.0 + k.gainPerFrame * f;
            EXPECT_NE(Process(tracker, scene::WithLightGain(room_, 1.0, gain)), kOlvarOk);
            segmented += LastFrameMasks(tracker.Context()).segmented ? 1 : 0;
            worst = std::max(worst, ForegroundShare(tracker));
        }
        std::printf("empty room, %s: %d of %d frames segmented, largest foreground share %.3f %%\n",
                    k.name, segmented, k.frames, 100 * worst);
        EXPECT_LT(worst, 0.005);
        if (k.gainPerFrame > 0) {
            EXPECT_GT(segmented, 0) << "the light change never reached the segmentation";
        }
    }
}

}  // namespace
}  // namespace olvar
