// The option bytes as a host sets them: any non-zero byte switches an option on, and
// GetOptions gives back exactly the bytes that were set.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "library/olvar_object.h"
#include "scene_run.h"
#include "synth/scene.h"

namespace olvar {
namespace {

TEST(OptionBytes, AnyNonZeroByteIsOnAndEveryByteComesBackAsSet) {
    // A C host or a binding may write 2, 97 or 255 for "true". Such a byte is no valid bool:
    // loading it as one is undefined behaviour, which the sanitizer build reports.
    struct Case {
        const char* name;
        unsigned char bytes[6];
        bool heightOn;
        bool gesturesOn;
    };
    const Case cases[] = {
        {"bytes other than 1", {97, 2, 255, 2, 0, 0}, true, true},
        {"all off", {0, 0, 0, 0, 0, 0}, false, false},
    };
    // Rendered once at 320 x 240 (working 200 x 150): enough for the tracker, cheap to make.
    synth::SceneConfig config;
    config.frameSize = cv::Size(320, 240);
    config.script = synth::ScriptWalkInAndRaise();
    const synth::Scene scene(config);
    std::vector<cv::Mat> images;
    for (int i = 0; i < scene.FrameCount(); ++i) {
        images.push_back(scene.Render(i).image);
    }
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Olvar tracker;
        ASSERT_EQ(scenes::SetFormatFor(tracker, config.frameSize), kOlvarOk);
        OlvarOptions options;
        std::memcpy(&options, k.bytes, sizeof options);
        ASSERT_EQ(tracker.SetOptions(&options), kOlvarOk);
        const OlvarOptions back = tracker.GetOptions();
        EXPECT_EQ(std::memcmp(&back, k.bytes, sizeof back), 0);

        int tracked = 0, withHeight = 0, recognized = 0;
        for (const cv::Mat& image : images) {
            const scenes::CallResult r = scenes::Feed(tracker, image);
            if (r.status != kOlvarOk || !scenes::Tracked(r.records[0])) {
                continue;
            }
            ++tracked;
            withHeight += r.records[0].heightEstimate != 0 ? 1 : 0;
            recognized += r.gestures[0].gesture != gesUndefined ? 1 : 0;
        }
        std::printf("%s: %d tracked frames, %d with a height, %d with a gesture id\n", k.name,
                    tracked, withHeight, recognized);
        ASSERT_GT(tracked, 20);
        EXPECT_EQ(withHeight > 0, k.heightOn);
        EXPECT_EQ(recognized > 0, k.gesturesOn);
    }
}

}  // namespace
}  // namespace olvar
