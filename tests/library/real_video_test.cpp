// The whole pipeline on real webcam clips (people facing a static camera in an office). Each clip
// comes with a plate of the empty room, fed first as the warm-up, as a host would see the room
// before anyone steps in. The clips are not part of the repository: the tests skip when their
// folder is absent.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "library/olvar_object.h"

namespace olvar {
namespace {

constexpr int kPlateFrames = 40;
constexpr double kPlateNoise = 1.0;  // the clips' own sensor noise, in grey levels

struct ClipRun {
    int clipFrames = 0;
    int trackedFrames = 0;
    std::vector<int> statuses;
    std::vector<TrackingRecord> tracked;  // records of the frames with status 0
};

std::string ClipPath(const std::string& file) {
    return std::string(OLVAR_VIDEO_DIR) + "/" + file;
}

bool ClipsAvailable() {
    return cv::haveImageReader(ClipPath("asl_learn_plate.png")) &&
           !cv::imread(ClipPath("asl_learn_plate.png")).empty();
}

int Feed(Olvar& tracker, const cv::Mat& frame, TrackingRecord* records) {
    GestureRecord gestures[2];
    int userNumber = 0;
    return tracker.ProcessFrame(frame.data, static_cast<int>(frame.total() * frame.elemSize()),
                                &userNumber, records, gestures);
}

ClipRun RunClip(const std::string& name) {
    ClipRun run;
    const cv::Mat plate = cv::imread(ClipPath(name + "_plate.png"), cv::IMREAD_COLOR);
    cv::VideoCapture clip(ClipPath(name + ".mkv"));
    if (plate.empty() || !clip.isOpened()) {
        ADD_FAILURE() << "cannot read clip " << name;
        return run;
    }
    Olvar tracker;
    EXPECT_EQ(tracker.SetFrameFormat(3 * plate.cols, plate.rows, plate.cols, kOlvarBgr24, false),
              kOlvarOk);
    TrackingRecord records[2];
    cv::RNG rng(7);
    for (int i = 0; i < kPlateFrames; ++i) {
        cv::Mat noise(plate.size(), CV_16SC3), frame;
        rng.fill(noise, cv::RNG::NORMAL, 0, kPlateNoise);
        plate.convertTo(frame, CV_16SC3);
        frame += noise;
        frame.convertTo(frame, CV_8UC3);
        run.statuses.push_back(Feed(tracker, frame, records));
    }
    cv::Mat frame;
    while (clip.read(frame)) {
        EXPECT_EQ(frame.size(), plate.size());
        const int status = Feed(tracker, frame, records);
        run.statuses.push_back(status);
        ++run.clipFrames;
        if (status == kOlvarOk) {
            ++run.trackedFrames;
            run.tracked.push_back(records[0]);
        }
    }
    return run;
}

bool InsideFrame(float x, float y) {
    return std::isfinite(x) && std::isfinite(y) && x >= 0 && x < 640 && y >= 0 && y < 480;
}

class RealClip : public testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        if (!ClipsAvailable()) {
            GTEST_SKIP() << "real clips not found in " << OLVAR_VIDEO_DIR;
        }
    }
};

// Every clip runs through without a fault; the plate is the warm-up and never holds a user;
// every record the library calls tracked places the person inside the picture, the face above
// the hips and the torso at a plausible size.
TEST_P(RealClip, RecordsOfTrackedFramesAreInsideThePicture) {
    const ClipRun run = RunClip(GetParam());
    ASSERT_GT(run.clipFrames, 40);
    for (int i = 0; i < kPlateFrames; ++i) {
        EXPECT_NE(run.statuses[static_cast<size_t>(i)], kOlvarOk) << "plate frame " << i;
    }
    for (const TrackingRecord& r : run.tracked) {
        EXPECT_GT(r.torsoHalfWidth, 0);
        EXPECT_LT(r.torsoHalfWidth, 320);
        EXPECT_TRUE(InsideFrame(r.faceX, r.faceY));
        EXPECT_TRUE(InsideFrame(r.torsoX, r.torsoY));
        EXPECT_TRUE(InsideFrame(r.hand0X, r.hand0Y));
        EXPECT_TRUE(InsideFrame(r.hand1X, r.hand1Y));
        EXPECT_LT(r.faceY, r.joints[kJointHipCentre].y);
    }
}

INSTANTIATE_TEST_SUITE_P(Clips, RealClip,
                         testing::Values("asl_bird", "asl_milk", "asl_brother", "asl_help",
                                         "asl_eat", "asl_hungry", "asl_learn", "asl_school"));

// The woman in the orange hoodie is followed through most of her clip once her silhouette has
// built up (she is in view from the first frame, so the segmentation learns her from motion).
TEST(RealClipTracking, OrangeHoodieIsTrackedOnMostFrames) {
    if (!ClipsAvailable()) {
        GTEST_SKIP() << "real clips not found in " << OLVAR_VIDEO_DIR;
    }
    const ClipRun run = RunClip("asl_learn");
    EXPECT_GE(run.trackedFrames * 2, run.clipFrames)
        << run.trackedFrames << " of " << run.clipFrames << " frames tracked";
}

}  // namespace
}  // namespace olvar
