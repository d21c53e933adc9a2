// The finger-tap detector: warm-up, press after two short inputs, held, release on the third
// long input, reset after it; and the one shared instance.
#include <gtest/gtest.h>

#include <vector>

#include "palm/finger_events.h"

namespace olvar {
namespace {

struct Script {
    const char* name;
    std::vector<double> inputs;
    std::vector<int> events;
};

TEST(CFingerEvents, EventSequences) {
    const Script scripts[] = {
        {"tap: press, held, release, reset",
         {0.5, 0.5, 0.5, 0.5, 0.5, 0.3, 0.3, 0.5, 0.5, 0.5, 0.5},
         {0, 0, 0, 0, 0, 0, 1, 2, 2, 3, 0}},
        {"one short frame is no press",
         {0.5, 0.5, 0.5, 0.5, 0.5, 0.3, 0.5, 0.5},
         {0, 0, 0, 0, 0, 0, 0, 0}},
        {"held while short, release after three long frames",
         {0.5, 0.5, 0.5, 0.5, 0.5, 0.3, 0.3, 0.2, 0.15, 0.5, 0.5, 0.5, 0.5},
         {0, 0, 0, 0, 0, 0, 1, 2, 2, 2, 2, 3, 0}},
        {"short again right after a release ends the latch",
         {0.5, 0.5, 0.5, 0.5, 0.5, 0.3, 0.3, 0.5, 0.5, 0.5, 0.1},
         {0, 0, 0, 0, 0, 0, 1, 2, 2, 3, 0}},
        {"a slow decline follows the baseline",
         {0.5, 0.5, 0.5, 0.5, 0.5, 0.48, 0.46, 0.44, 0.42},
         {0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Script& s : scripts) {
        CFingerEvents detector;
        std::vector<int> events;
        for (double x : s.inputs) {
            events.push_back(detector.Update(x));
        }
        EXPECT_EQ(events, s.events) << s.name;
    }
}

TEST(CFingerEvents, WarmUpAveragesFiveInputs) {
    CFingerEvents detector;
    for (double x : {0.2, 0.4, 0.6, 0.8}) {
        detector.Update(x);
        EXPECT_FALSE(detector.ready);
    }
    detector.Update(1.0);
    EXPECT_TRUE(detector.ready);
    EXPECT_DOUBLE_EQ(detector.average, 0.6);
    detector.Update(0.6);
    EXPECT_DOUBLE_EQ(detector.lastDrop, 0.6 - 0.048);
    EXPECT_DOUBLE_EQ(detector.last, 0.6);
}

TEST(CFingerEvents, OneSharedDetector) {
    CFingerEvents& a = SharedFingerEvents();
    CFingerEvents& b = SharedFingerEvents();
    EXPECT_EQ(&a, &b);
}

}  // namespace
}  // namespace olvar
