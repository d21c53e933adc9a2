// The host's view of the palm switch: the library loaded with dlopen and driven through the
// public header only, fed the rendered palm scene (the renderer stands in for a camera).
// Switching palm tracking off makes the current user's next record report the palm group absent.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <olvar/olvar.h>

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

TEST(HostPalmSwitch, SwitchingOffMakesTheNextRecordReportNoPalm) {
    void* library = dlopen(OLVAR_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto create = reinterpret_cast<CreateFn>(dlsym(library, "CreateOlvar"));
    const auto release = reinterpret_cast<ReleaseFn>(dlsym(library, "ReleaseOlvar"));
    ASSERT_NE(create, nullptr);
    ASSERT_NE(release, nullptr);

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
    dlclose(library);
}

}  // namespace
