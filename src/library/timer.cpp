#include "library/timer.h"

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define OLVAR_HAVE_TSC 1
#endif

namespace olvar {
namespace {

uint64_t SteadyNanoseconds() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

uint64_t HardwareCycles() {
#ifdef OLVAR_HAVE_TSC
    // The processor-identification instruction serialises execution, so the counter read can
    // not move before or after the measured code.
    unsigned a, b, c, d;
    __cpuid(0, a, b, c, d);
    const uint64_t cycles = __rdtsc();
    __cpuid(0, a, b, c, d);
    return cycles;
#else
    return SteadyNanoseconds();
#endif
}

// Spins for one eighth of a second on the monotonic clock and counts the cycles that pass.
uint32_t Calibrate() {
    const uint64_t target = SteadyNanoseconds() + 125000000ull;
    const uint64_t c0 = HardwareCycles();
    while (SteadyNanoseconds() < target) {
    }
    const uint64_t c1 = HardwareCycles();
    const uint64_t rate = (c1 - c0) / 125;
    return rate == 0 ? 1u : static_cast<uint32_t>(rate);
}

std::atomic<ScopedCycleSource::Source> gSource{&HardwareCycles};

// The calibration runs once, when the library is loaded, before any tracker exists.
std::atomic<uint32_t> gRate{Calibrate()};

}  // namespace

uint64_t ReadCycleCounter() {
    return gSource.load(std::memory_order_relaxed)();
}

uint32_t CalibratedCyclesPerMs() {
    return gRate.load(std::memory_order_relaxed);
}

ScopedCycleSource::ScopedCycleSource(Source source, uint32_t cyclesPerMs)
    : previousSource_(gSource.exchange(source)),
      previousRate_(gRate.exchange(cyclesPerMs == 0 ? 1u : cyclesPerMs)) {}

ScopedCycleSource::~ScopedCycleSource() {
    gSource.store(previousSource_);
    gRate.store(previousRate_);
}

HPTimer::~HPTimer() {
    if (static_cast<uint8_t>(tag_) != 0) {
        Report();
    }
}

void HPTimer::Initialize(const char* name, uint32_t tag) {
    name_ = name;
    tag_ = tag;
    count_ = 0;
    stop_ = 0;
    accumulated_ = 0;
    rate_ = CalibratedCyclesPerMs();
}

void HPTimer::Start() {
    start_ = ReadCycleCounter();
}

void HPTimer::Stop() {
    stop_ = ReadCycleCounter();
    accumulated_ += stop_ - start_;
    count_ += 1;
}

float HPTimer::LastIntervalMs() const {
    return static_cast<float>(static_cast<long double>(stop_ - start_) /
                              static_cast<long double>(CalibratedCyclesPerMs()));
}

float HPTimer::TotalMs() const {
    if (rate_ == 0) {
        return 0.0f;
    }
    return static_cast<float>(static_cast<long double>(accumulated_) /
                              static_cast<long double>(rate_));
}

void HPTimer::FormatReport(char (&buffer)[256]) const {
    const char* name = name_ != nullptr ? name_ : "";
    if (count_ > 0) {
        const float total = TotalMs();
        std::snprintf(
            buffer, sizeof buffer,
            ">>> %s: %1.3fms, \t%d times, \t%1.3fms/call, %" PRIu64 " CPU circles/call.\n", name,
            total, count_, total / count_, accumulated_ / static_cast<uint64_t>(count_));
    } else {
        std::snprintf(buffer, sizeof buffer, ">>> %s: No be executed!\n", name);
    }
}

void HPTimer::Report() const {
    char line[256];
    FormatReport(line);
    std::fputs(line, stdout);
}

}  // namespace olvar
