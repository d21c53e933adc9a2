// Cycle-counter timer.
//
// HPTimer measures intervals with the processor's time-stamp counter and converts them to
// milliseconds with one rate calibrated when the library is loaded (cycles per millisecond,
// measured against the monotonic clock over 125 ms). The gesture logic times dwell and hold
// periods with it.
//
// Tests replace the cycle source with a fake one so that timed gestures can be driven without
// sleeping (ScopedCycleSource).
#ifndef OLVAR_LIBRARY_TIMER_H
#define OLVAR_LIBRARY_TIMER_H

#include <cstdint>

namespace olvar {

// Reads the cycle counter: the time-stamp counter fenced by serialising instructions where the
// processor has one, the monotonic clock in nanoseconds elsewhere.
uint64_t ReadCycleCounter();

// The process-wide calibrated rate in cycles per millisecond.
uint32_t CalibratedCyclesPerMs();

// Replaces the cycle source and the calibrated rate while it lives (tests only).
class ScopedCycleSource {
  public:
    using Source = uint64_t (*)();
    ScopedCycleSource(Source source, uint32_t cyclesPerMs);
    ~ScopedCycleSource();
    ScopedCycleSource(const ScopedCycleSource&) = delete;
    ScopedCycleSource& operator=(const ScopedCycleSource&) = delete;

  private:
    Source previousSource_;
    uint32_t previousRate_;
};

class HPTimer {
  public:
    HPTimer() = default;
    ~HPTimer();
    HPTimer(const HPTimer&) = delete;
    HPTimer& operator=(const HPTimer&) = delete;

    // Stores name and tag, clears the counts and copies the calibrated rate. A tag whose low
    // byte is non-zero makes the timer print its report when it is destroyed.
    void Initialize(const char* name, uint32_t tag);
    void Start();
    // Ends the interval begun by Start and adds it to the total.
    void Stop();
    // The most recent Start/Stop interval in milliseconds (divides by the process-wide rate).
    float LastIntervalMs() const;
    // All measured intervals in milliseconds (divides by the rate copied at initialisation).
    float TotalMs() const;
    int Count() const { return count_; }
    // Formats the report line (at most 255 characters) into buffer.
    void FormatReport(char (&buffer)[256]) const;
    // Writes the report line to standard output.
    void Report() const;

  private:
    const char* name_ = "HPTimer";
    uint32_t tag_ = 0;
    uint64_t start_ = 0;
    uint64_t stop_ = 0;
    uint64_t accumulated_ = 0;
    uint64_t rate_ = 0;
    int32_t count_ = 0;
};

}  // namespace olvar

#endif  // OLVAR_LIBRARY_TIMER_H
