// The cycle-counter timer, driven by a substituted clock.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "library/timer.h"

namespace olvar {
namespace {

uint64_t gFakeCycles = 0;
uint64_t FakeCycles() {
    return gFakeCycles;
}

class Timer : public ::testing::Test {
  protected:
    // 1000 cycles per millisecond.
    Timer() : clock_(&FakeCycles, 1000) { gFakeCycles = 5000000; }

    static void Measure(HPTimer& timer, uint64_t cycles) {
        timer.Start();
        gFakeCycles += cycles;
        timer.Stop();
        gFakeCycles += 12345;  // time passes between intervals
    }

    static std::string ReportOf(const HPTimer& timer) {
        char line[256];
        timer.FormatReport(line);
        return line;
    }

  private:
    ScopedCycleSource clock_;
};

TEST_F(Timer, LastIntervalIsTheMostRecentPairWhileTotalAndCountAccumulate) {
    HPTimer timer;
    timer.Initialize("HPTimer", 0);
    EXPECT_EQ(timer.Count(), 0);
    EXPECT_EQ(timer.TotalMs(), 0.0f);

    Measure(timer, 2000);
    EXPECT_FLOAT_EQ(timer.LastIntervalMs(), 2.0f);
    Measure(timer, 500);
    EXPECT_FLOAT_EQ(timer.LastIntervalMs(), 0.5f);
    Measure(timer, 250);
    EXPECT_FLOAT_EQ(timer.LastIntervalMs(), 0.25f);
    EXPECT_FLOAT_EQ(timer.TotalMs(), 2.75f);
    EXPECT_EQ(timer.Count(), 3);

    // Initialising again starts a new record.
    timer.Initialize("HPTimer", 0);
    EXPECT_EQ(timer.Count(), 0);
    EXPECT_EQ(timer.TotalMs(), 0.0f);
    Measure(timer, 1500);
    EXPECT_FLOAT_EQ(timer.TotalMs(), 1.5f);
}

TEST_F(Timer, LastIntervalUsesTheProcessRateAndTotalTheRateCopiedAtInitialisation) {
    HPTimer timer;
    timer.Initialize("rates", 0);  // copies 1000 cycles per millisecond
    Measure(timer, 4000);
    {
        ScopedCycleSource faster(&FakeCycles, 2000);
        EXPECT_FLOAT_EQ(timer.LastIntervalMs(), 2.0f);
        EXPECT_FLOAT_EQ(timer.TotalMs(), 4.0f);
    }
    EXPECT_FLOAT_EQ(timer.LastIntervalMs(), 4.0f);
}

TEST_F(Timer, ReportLineGivesTotalCountMeanAndCyclesPerCall) {
    HPTimer timer;
    timer.Initialize("Swipe", 1);
    Measure(timer, 2000);
    Measure(timer, 500);
    EXPECT_EQ(ReportOf(timer),
              ">>> Swipe: 2.500ms, \t2 times, \t1.250ms/call, 1250 CPU circles/call.\n");
    timer.Initialize(nullptr, 0);  // silence the destructor; a missing name prints as empty
    EXPECT_EQ(ReportOf(timer), ">>> : No be executed!\n");
}

TEST_F(Timer, ReportLineIsCutToTheBuffer) {
    const std::string longName(400, 'n');
    HPTimer timer;
    timer.Initialize(longName.c_str(), 0);
    Measure(timer, 1000);
    const std::string line = ReportOf(timer);
    EXPECT_EQ(line.size(), 255u);
    EXPECT_EQ(line.substr(0, 8), ">>> nnnn");
}

TEST_F(Timer, DestructionReportsOnlyForANonZeroTagByte) {
    struct Case {
        const char* name;
        uint32_t tag;
        int intervals;
        const char* expected;
    };
    const Case cases[] = {
        {"Hold", 1, 0, ">>> Hold: No be executed!\n"},
        {"Dwell", 0x80, 1,
         ">>> Dwell: 3.000ms, \t1 times, \t3.000ms/call, 3000 CPU circles/call.\n"},
        {"HPTimer", 0, 0, ""},
        {"HPTimer", 0, 2, ""},
        {"HighBitsOnly", 0x100, 0, ""},  // only the low byte decides
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStdout();
        {
            HPTimer timer;
            timer.Initialize(c.name, c.tag);
            for (int i = 0; i < c.intervals; ++i) {
                Measure(timer, 3000);
            }
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.expected);
    }
}

TEST(TimerClock, TheRealCounterAdvancesAndIsCalibrated) {
    EXPECT_GT(CalibratedCyclesPerMs(), 0u);
    const uint64_t first = ReadCycleCounter();
    const uint64_t second = ReadCycleCounter();
    EXPECT_GE(second, first);
}

TEST(TimerClock, ASubstitutedClockIsRestoredAfterwards) {
    const uint32_t rate = CalibratedCyclesPerMs();
    {
        ScopedCycleSource fake(&FakeCycles, 7);
        gFakeCycles = 42;
        EXPECT_EQ(ReadCycleCounter(), 42u);
        EXPECT_EQ(CalibratedCyclesPerMs(), 7u);
    }
    EXPECT_EQ(CalibratedCyclesPerMs(), rate);
    EXPECT_NE(ReadCycleCounter(), 42u);
}

}  // namespace
}  // namespace olvar
