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
#include "olvar/colour_gain.h"

namespace olvar {
namespace {

constexpr int kPlateFrames = 40;
constexpr double kPlateNoise = 1.0;  // the clips' own sensor noise, in grey levels

struct ClipRun {
    float gain = 1.0f;
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

// Feeds the plate (with sensor noise) and then the clip. With `colourGain` the frames are
// conditioned by the host-side colour gain, chosen from the plate frames.
ClipRun RunClip(const std::string& name, bool colourGain = false) {
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
    OlvarColourGain gain;
    EXPECT_EQ(gain.SetFrameFormat(3 * plate.cols, plate.rows, plate.cols, kOlvarBgr24, false),
              kOlvarOk);
    if (!colourGain) {
        gain.SetGain(1.0f);
    }
    const int frameBytes = static_cast<int>(plate.total() * plate.elemSize());
    TrackingRecord records[2];
    cv::RNG rng(7);
    std::vector<cv::Mat> plateFrames;
    for (int i = 0; i < kPlateFrames; ++i) {
        cv::Mat noise(plate.size(), CV_16SC3), frame;
        rng.fill(noise, cv::RNG::NORMAL, 0, kPlateNoise);
        plate.convertTo(frame, CV_16SC3);
        frame += noise;
        frame.convertTo(frame, CV_8UC3);
        gain.Observe(frame.data, frameBytes);
        plateFrames.push_back(frame);
    }
    run.gain = gain.Choose();
    for (cv::Mat& frame : plateFrames) {
        gain.ApplyInPlace(frame.data, frameBytes);
        run.statuses.push_back(Feed(tracker, frame, records));
    }
    cv::Mat frame;
    while (clip.read(frame)) {
        EXPECT_EQ(frame.size(), plate.size());
        if (frame.size() == plate.size()) {
            gain.ApplyInPlace(frame.data, frameBytes);
        }
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

// The office webcam of these clips renders faces so pale (R, G, B about 146, 130, 121) that the
// skin rules reject them. With the host-side colour gain (chosen from the plate) every clip whose
// only trouble is the pale face is tracked on nearly every frame; no clip gets much worse.
TEST(RealClipTracking, ColourGainRescuesPaleFaces) {
    if (!ClipsAvailable()) {
        GTEST_SKIP() << "real clips not found in " << OLVAR_VIDEO_DIR;
    }
    struct Case {
        const char* clip;
        double minimumWithGain;  // share of the clip's frames
    };
    // asl_eat stays hard: the face is found, but the hand at the mouth and the arm over the
    // dark sweater never start the hands.
    const Case cases[] = {{"asl_bird", 0.9},  {"asl_milk", 0.9},  {"asl_brother", 0.9},
                          {"asl_help", 0.85}, {"asl_eat", 0.0},   {"asl_hungry", 0.9},
                          {"asl_learn", 0.9}, {"asl_school", 0.9}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.clip);
        const ClipRun without = RunClip(k.clip, false);
        const ClipRun with = RunClip(k.clip, true);
        std::printf("%-12s frames %3d  tracked without the gain %3d  with gain %.2f %3d\n", k.clip,
                    with.clipFrames, without.trackedFrames, with.gain, with.trackedFrames);
        EXPECT_EQ(with.clipFrames, without.clipFrames);
        EXPECT_GE(with.trackedFrames, k.minimumWithGain * with.clipFrames);
        EXPECT_GE(with.trackedFrames, without.trackedFrames - with.clipFrames / 10);
        EXPECT_GE(with.gain, 1.0f);
        EXPECT_LE(with.gain, OlvarColourGain::kMaxGain);
    }
}

}  // namespace
}  // namespace olvar
