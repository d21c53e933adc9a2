// A tracker in steady operation holds no more memory as frames go by: after the first few
// hundred frames of a rendered person (height, legs and palm on), neither the number of live
// allocations through operator new nor the bytes in use on the C heap (OpenCV's images) keep
// growing.
#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "library/olvar_object.h"
#include "scene_run.h"
#include "synth/scene.h"

namespace {
std::atomic<long> gLive{0};
}  // namespace

// Counting replacements for the global allocation functions of this test program; malloc and
// free underneath, so every pair stays matched. (With the sanitizers' inlining g++ sees the
// free of a pointer that came from operator new and warns; the pairs are ours and matched.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        gLive.fetch_add(1, std::memory_order_relaxed);
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    if (p != nullptr) {
        gLive.fetch_sub(1, std::memory_order_relaxed);
        std::free(p);
    }
}
void operator delete[](void* p) noexcept {
    operator delete(p);
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    operator delete(p);
}
// The library's temporary buffers (std::stable_sort) come from the nothrow forms: they must
// allocate where the plain delete frees.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        gLive.fetch_add(1, std::memory_order_relaxed);
        return p;
    }
    return nullptr;
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    operator delete(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    operator delete(p);
}
#pragma GCC diagnostic pop

namespace olvar {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kHeapFigures = false;  // the sanitizer's allocator keeps its own books
#else
constexpr bool kHeapFigures = true;
#endif

struct Sample {
    int frame;
    long live;
    size_t heapBytes;
};

TEST(SteadyMemory, LiveAllocationsStopGrowingAfterTheFirstFrames) {
    synth::SceneConfig config;
    config.frameSize = cv::Size(320, 240);
    config.script = synth::ScriptDemo();
    const synth::Scene scene(config);
    std::vector<cv::Mat> images;
    for (int i = 0; i < scene.FrameCount(); ++i) {
        images.push_back(scene.Render(i).image);
    }
    Olvar tracker;
    ASSERT_EQ(scenes::SetFormatFor(tracker, config.frameSize), kOlvarOk);
    const OlvarOptions options = {true, false, true, true, true, true};
    ASSERT_EQ(tracker.SetOptions(&options), kOlvarOk);

    // The scene loops: walk in, gestures, rest, then the person is gone at once and walks in
    // again, so every stage is started and lost many times.
    constexpr int kFrames = 1600, kSettle = 400, kEvery = 100;
    constexpr size_t kCapacitySteps = 1024 * 1024;  // a few work stores re-sized to a new pose
    std::vector<Sample> samples;
    int tracked = 0;
    for (int i = 1; i <= kFrames; ++i) {
        const scenes::CallResult r =
            scenes::Feed(tracker, images[static_cast<size_t>(i - 1) % images.size()]);
        tracked += r.status == kOlvarOk && scenes::Tracked(r.records[0]) ? 1 : 0;
        if (i >= kSettle && i % kEvery == 0) {
            samples.push_back({i, gLive.load(), kHeapFigures ? mallinfo2().uordblks : 0});
        }
    }
    for (const Sample& s : samples) {
        std::printf("frame %4d: %ld live allocations, %zu heap bytes in use\n", s.frame, s.live,
                    s.heapBytes);
    }
    ASSERT_GT(tracked, kFrames / 4);
    // A leak of even one allocation per frame would put the last samples hundreds above every
    // earlier one. Steady operation returns to the same count give or take the churn of one
    // frame (the analyses' temporary images come and go with the pose), which the early samples
    // show by their own spread. Heap bytes may still step up when work stores (the palm's
    // region images, the leg windows) reach a new size; a leaked working image (30,000 bytes or
    // more) per frame would add three megabytes between two samples.
    const size_t half = samples.size() / 2;
    long earlyLive = 0, earlyLowest = samples[0].live;
    size_t earlyBytes = 0;
    for (size_t k = 0; k < half; ++k) {
        earlyLive = std::max(earlyLive, samples[k].live);
        earlyLowest = std::min(earlyLowest, samples[k].live);
        earlyBytes = std::max(earlyBytes, samples[k].heapBytes);
    }
    const long churn = std::max(earlyLive - earlyLowest, 32L);
    for (size_t k = half; k < samples.size(); ++k) {
        SCOPED_TRACE(samples[k].frame);
        EXPECT_LE(samples[k].live, earlyLive + churn);
        EXPECT_LE(samples[k].heapBytes, earlyBytes + kCapacitySteps);
    }
}

}  // namespace
}  // namespace olvar
