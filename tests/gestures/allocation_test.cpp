// Steady-state recognition allocates nothing: the motion history reuses its four samples and
// every mode object exists from the start.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "gesture_script.h"

namespace {
std::atomic<long> gAllocations{0};
}  // namespace

// Counting replacements for the global allocation functions of this test program; malloc and
// free underneath, so every pair stays matched. (With the sanitizers' inlining g++ sees the
// free of a pointer that came from operator new and warns; the pairs are ours and matched.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace olvar {
namespace {

using testing::FakeClock;
using testing::MakeRecord;
using testing::Pose;
using testing::Rest;

TEST(Allocation, RecognizeAllocatesNothingPerFrame) {
    FakeClock clock;
    ZykGR recognizer;
    // A busy scene: hands sweeping through every region, the head leaning and crouching.
    std::vector<TrackingRecord> frames;
    for (int i = 0; i < 64; ++i) {
        const float t = static_cast<float>(i % 16);
        Pose pose = Rest()
                        .Left(180 + 6 * t, 60 + 9 * t)
                        .Right(120 - 5 * t, 200 - 10 * t)
                        .Head(150 + 2 * t, 60 + (i % 32 < 16 ? 0 : 25));
        frames.push_back(MakeRecord(pose));
    }
    const int modes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, -1};
    // Every mode sees its first frames (history filling) before counting starts.
    for (int mode : modes) {
        recognizer.SetMode(&mode);
        for (int i = 0; i < 8; ++i) {
            GestureRecord gesture{-1, 0, 0};
            recognizer.Recognize(&frames[i], &gesture);
        }
    }
    const long before = gAllocations.load();
    long frameCount = 0;
    for (int round = 0; round < 4; ++round) {
        for (int mode : modes) {
            recognizer.SetMode(&mode);
            for (const TrackingRecord& record : frames) {
                FakeClock::Advance(150);
                GestureRecord gesture{-1, 0, 0};
                recognizer.Recognize(&record, &gesture);
                ++frameCount;
            }
        }
    }
    EXPECT_EQ(gAllocations.load() - before, 0) << "over " << frameCount << " frames";
}

// The counter itself works (guards against a silently bypassed replacement).
TEST(Allocation, CounterSeesAllocations) {
    const long before = gAllocations.load();
    auto* recognizer = new ZykGR;
    delete recognizer;
    EXPECT_GE(gAllocations.load() - before, 12);  // the recognizer and its eleven modes
}

}  // namespace
}  // namespace olvar
