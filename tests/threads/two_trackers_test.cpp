// A host with two cameras drives one tracker per camera, each on its own thread. The trackers
// share the process-wide values (warm-up count, motion limit, height memory, learning counter,
// the face colour trackers' random stream, the timer rate); under ThreadSanitizer this test
// shows that sharing them is free of data races.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "host/record_checks.h"
#include "library/olvar_object.h"
#include "synth/scene.h"

namespace olvar {
namespace {

std::vector<cv::Mat> RenderAll(const synth::Script& script, cv::Size size) {
    synth::SceneConfig config;
    config.frameSize = size;
    config.script = script;
    const synth::Scene scene(config);
    std::vector<cv::Mat> images;
    for (int i = 0; i < scene.FrameCount(); ++i) {
        images.push_back(scene.Render(i).image);
    }
    return images;
}

struct Camera {
    const char* name;
    cv::Size size;
    int userCount;
    std::vector<cv::Mat> frames;
    // Filled by the camera's thread.
    int tracked = 0;
    int undocumented = 0;
    int notFinite = 0;
};

void Drive(Camera& camera) {
    Olvar tracker;
    if (tracker.SetFrameFormat(3 * camera.size.width, camera.size.height, camera.size.width,
                               kOlvarBgr24, false) != kOlvarOk) {
        return;
    }
    const OlvarOptions options = {true, false, true, true, true, true};
    tracker.SetOptions(&options);
    const UserMode mode{camera.userCount, 0};
    tracker.SetUserMode(&mode);
    for (const cv::Mat& image : camera.frames) {
        TrackingRecord records[2];
        GestureRecord gestures[2];
        int userNumber = 0;
        const int status = tracker.ProcessFrame(image.data, static_cast<int>(image.total() * 3),
                                                &userNumber, records, gestures);
        camera.undocumented += checks::DocumentedFrameStatus(status) ? 0 : 1;
        if (status != kOlvarOk) {
            continue;
        }
        for (int k = 0; k < camera.userCount; ++k) {
            if (records[k].torsoHalfWidth > 0) {
                ++camera.tracked;
                camera.notFinite += checks::Finite(records[k]) ? 0 : 1;
            }
        }
    }
}

TEST(TwoThreads, TwoTrackersOnTwoThreadsBothTrackTheirPeople) {
    Camera cameras[2] = {
        {"one person, 320 x 240", {320, 240}, 1, {}},
        {"two people, 352 x 288", {352, 288}, 2, {}},
    };
    cameras[0].frames = RenderAll(synth::ScriptSwipes(), cameras[0].size);
    cameras[1].frames = RenderAll(synth::ScriptTwoPeople(), cameras[1].size);
    std::thread first(Drive, std::ref(cameras[0]));
    std::thread second(Drive, std::ref(cameras[1]));
    first.join();
    second.join();
    for (const Camera& c : cameras) {
        SCOPED_TRACE(c.name);
        std::printf("%s: %zu frames, %d tracked user records\n", c.name, c.frames.size(),
                    c.tracked);
        EXPECT_EQ(c.undocumented, 0);
        EXPECT_EQ(c.notFinite, 0);
        // Each camera shows its people for most of its frames.
        EXPECT_GT(c.tracked, static_cast<int>(c.frames.size()) / 2);
    }
}

}  // namespace
}  // namespace olvar
