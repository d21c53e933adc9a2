// The host's view of palm tracking: the library loaded with dlopen and driven through the public
// header only, fed the rendered palm scene (the renderer stands in for a camera). A raised open
// hand gets the palm group; switching palm tracking off makes the current user's next record
// report it absent.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <olvar/olvar.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "synth/scene.h"

namespace {

using CreateFn = IOlvar* (*)();
using ReleaseFn = void (*)(IOlvar**);

bool PalmAbsent(const TrackingRecord& r) {
    bool zeros = true;
    for (int k = 0; k < 5; ++k) {
        zeros = zeros && r.fingertips[k].x == 0 && r.fingertips[k].y == 0 &&
                r.fingerBases[k].x == 0 && r.fingerBases[k].y == 0;
    }
    return r.palmRadius == 1.0 && r.fingerEvent == -1 && zeros;
}

class HostPalmSwitch : public ::testing::Test {
  protected:
    void SetUp() override {
        library = dlopen(OLVAR_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        create = reinterpret_cast<CreateFn>(dlsym(library, "CreateOlvar"));
        release = reinterpret_cast<ReleaseFn>(dlsym(library, "ReleaseOlvar"));
        ASSERT_NE(create, nullptr);
        ASSERT_NE(release, nullptr);
    }
    void TearDown() override {
        if (library != nullptr) {
            dlclose(library);
        }
    }

    void* library = nullptr;
    CreateFn create = nullptr;
    ReleaseFn release = nullptr;
};

TEST_F(HostPalmSwitch, SwitchingOffMakesTheNextRecordReportNoPalm) {
    olvar::synth::SceneConfig config;
    config.frameSize = cv::Size(320, 240);  // any size shows the switch; a small one renders fast
    config.script = olvar::synth::ScriptPalm();
    const olvar::synth::Scene scene(config);
    const cv::Size size = config.frameSize;

    IOlvar* tracker = create();
    ASSERT_NE(tracker, nullptr);
    ASSERT_EQ(tracker->SetFrameFormat(size.width * 3, size.height, size.width, kOlvarBgr24, false),
              kOlvarOk);
    tracker->EnablePalmTracking(true);

    int tracked = 0, withPalm = 0, switchedFrame = -1;
    for (int i = 0; i < scene.FrameCount(); ++i) {
        const olvar::synth::Frame frame = scene.Render(i);
        TrackingRecord records[2];
        GestureRecord gestures[2];
        int userNumber = 0;
        const int status =
            tracker->ProcessFrame(frame.image.data, static_cast<int>(frame.image.total() * 3),
                                  &userNumber, records, gestures);
        const bool open = frame.labels[0] == "open hand 1";
        if (status != kOlvarOk || records[0].torsoHalfWidth <= 0) {
            continue;
        }
        if (switchedFrame >= 0) {
            // The first tracked record after the switch.
            EXPECT_TRUE(PalmAbsent(records[0])) << "frame " << i;
            break;
        }
        if (open) {
            ++tracked;
            withPalm += PalmAbsent(records[0]) ? 0 : 1;
            if (tracked == 20) {
                tracker->EnablePalmTracking(false);
                switchedFrame = i;
            }
        }
    }
    std::printf(
        "tracked frames with the hand raised and open before the switch: %d, palm group "
        "present on %d\n",
        tracked, withPalm);
    EXPECT_GE(switchedFrame, 0) << "the user was never tracked with the hand open";
    OlvarOptions options = tracker->GetOptions();
    EXPECT_FALSE(options.palmEnabled);
    release(&tracker);
}

// The raised image-left hand, open with its fingers spread, at 640 x 480: the record carries the
// palm group on most such frames, with a palm radius near the drawn one, the palm centre on the
// palm, and tips on the drawn fingertips.
TEST_F(HostPalmSwitch, RaisedOpenRenderedHandGetsThePalmGroup) {
    olvar::synth::SceneConfig config;
    config.script = olvar::synth::ScriptPalm();
    const olvar::synth::Scene scene(config);
    const cv::Size size = config.frameSize;

    IOlvar* tracker = create();
    ASSERT_NE(tracker, nullptr);
    ASSERT_EQ(tracker->SetFrameFormat(size.width * 3, size.height, size.width, kOlvarBgr24, false),
              kOlvarOk);
    tracker->EnablePalmTracking(true);

    int raisedOpen = 0, present = 0, sensibleRadius = 0, centreOnPalm = 0;
    int drawnTips = 0, tipsFound = 0;
    for (int i = 0; i < scene.FrameCount(); ++i) {
        const olvar::synth::Frame frame = scene.Render(i);
        TrackingRecord records[2];
        GestureRecord gestures[2];
        int userNumber = 0;
        const int status =
            tracker->ProcessFrame(frame.image.data, static_cast<int>(frame.image.total() * 3),
                                  &userNumber, records, gestures);
        const olvar::synth::PalmTruth& truth = frame.people[0].palms[1];
        const olvar::synth::Action action = frame.people[0].label.action;
        if (!truth.open || truth.fist ||
            (action != olvar::synth::Action::kOpenHand &&
             action != olvar::synth::Action::kFingerTap)) {
            continue;
        }
        ++raisedOpen;
        const TrackingRecord& r = records[0];
        if (status != kOlvarOk || PalmAbsent(r) || r.fingerEvent < 0) {
            continue;
        }
        ++present;
        const double radius = truth.radius;
        sensibleRadius += r.palmRadius >= 0.5 * radius && r.palmRadius <= 2.0 * radius ? 1 : 0;
        centreOnPalm += std::hypot(r.hand1X - truth.centre.x, r.hand1Y - truth.centre.y) <= radius;
        for (const cv::Point2f& drawn : truth.tips) {
            bool found = false;
            for (const OlvarPoint& tip : r.fingertips) {
                found = found || std::hypot(tip.x - drawn.x, tip.y - drawn.y) <= 0.6 * radius;
            }
            ++drawnTips;
            tipsFound += found ? 1 : 0;
        }
    }
    release(&tracker);
    std::printf(
        "raised open frames %d: palm group on %d, radius within half to twice the drawn %d, "
        "centre within one radius %d, drawn tips found %d of %d\n",
        raisedOpen, present, sensibleRadius, centreOnPalm, tipsFound, drawnTips);
    ASSERT_GT(raisedOpen, 0) << "the scene raises and opens the hand";
    EXPECT_GE(present, raisedOpen * 8 / 10);
    EXPECT_GE(sensibleRadius, present * 9 / 10);
    EXPECT_GE(centreOnPalm, present * 9 / 10);
    EXPECT_GE(tipsFound, drawnTips * 7 / 10);
}

}  // namespace
