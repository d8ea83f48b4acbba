// The real-time frame schedule, run on an invented clock.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>
#include <vector>

#include "sim/Pacer.h"
#include "stream/StreamFormat.h"

namespace vintrel::sim {
namespace {

using namespace std::chrono_literals;
using TimePoint = Pacer::TimePoint;
const TimePoint kStart = TimePoint{} + 1000s;

struct Wake {
    TimePoint at;
    uint64_t frames;
};

// What a sender does with the schedule: send what is due, otherwise sleep until NextWake, waking
// up `lateness` too late each time. Records the time each frame went out.
std::vector<TimePoint> RunSender(Pacer& pacer, uint64_t frames, std::vector<Wake>* wakes,
                                 std::chrono::nanoseconds maxLateness = 0ns, uint32_t seed = 1) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int64_t> late(0, maxLateness.count());
    std::vector<TimePoint> sentAt;
    TimePoint now = kStart;
    pacer.Start(now);
    while (sentAt.size() < frames) {
        const uint64_t due = std::min<uint64_t>(pacer.DueCount(now), frames - sentAt.size());
        if (due == 0) {
            EXPECT_GT(pacer.NextWake(), now) << "a wake-up that finds nothing due would spin";
            now = pacer.NextWake() + std::chrono::nanoseconds(late(rng));
            continue;
        }
        if (wakes) wakes->push_back({now, due});
        sentAt.insert(sentAt.end(), due, now);
        pacer.MarkSent(due);
    }
    return sentAt;
}

TEST(SimPacer, FrameNIsDueAtStartPlusNPeriodsInSinglePrecision) {
    Pacer p(GetStreamFormat(DataStreamFormat::Ksps8Ms4).MsPerFrame);
    p.Start(kStart);
    EXPECT_EQ(p.DueTime(0), kStart);
    EXPECT_EQ(p.DueTime(250), kStart + 1s);
    EXPECT_EQ(p.DueCount(kStart - 1ns), 0u);
    EXPECT_EQ(p.DueCount(kStart), 1u);
    EXPECT_EQ(p.DueCount(kStart + 4ms - 1ns), 1u);
    EXPECT_EQ(p.DueCount(kStart + 4ms), 2u);
    p.MarkSent(2);
    EXPECT_EQ(p.DueCount(kStart + 4ms), 0u);
    EXPECT_EQ(p.NextWake(), kStart + 8ms);

    // 1.3333334f is 1.33333337306976... ms: the target's own rounding, kept over the long run.
    Pacer q(GetStreamFormat(DataStreamFormat::Ksps24Ms1_33).MsPerFrame);
    q.Start(kStart);
    EXPECT_EQ(q.DueTime(3), kStart + 4000000ns);
    EXPECT_EQ(q.DueTime(750000), kStart + 1000000029802ns);
    for (uint64_t n : {1u, 2u, 3u, 7u, 1000u, 99999u}) {
        EXPECT_EQ(q.DueCount(q.DueTime(n)), n + 1) << n;
        EXPECT_EQ(q.DueCount(q.DueTime(n) - 1ns), n) << n;
    }
}

TEST(SimPacer, NoDriftOver10000FramesDespiteLateWakeUps) {
    for (int f = 0; f < kFormatCount; ++f) {
        const auto format = static_cast<DataStreamFormat>(f);
        SCOPED_TRACE(FormatCaption(format));
        Pacer p(GetStreamFormat(format).MsPerFrame);
        const auto maxLate = 300us;
        const std::vector<TimePoint> sentAt = RunSender(p, 10001, nullptr, maxLate, 7 + f);
        const auto burstSpan = std::chrono::nanoseconds(std::llround(p.PeriodNs() * p.FramesPerBurst()));
        for (uint64_t n = 0; n < sentAt.size(); ++n) {
            ASSERT_GE(sentAt[n], p.DueTime(n)) << "frame " << n << " went out early";
            ASSERT_LE(sentAt[n], p.DueTime(n) + burstSpan + maxLate) << "frame " << n << " is late";
        }
        const auto exact = std::chrono::nanoseconds(std::llround(10000 * p.PeriodNs()));
        EXPECT_EQ(p.DueTime(10000) - kStart, exact);
        EXPECT_LE(sentAt[10000] - kStart, exact + burstSpan + maxLate);
    }
}

TEST(SimPacer, PeriodsUnderTwoMillisecondsGoOutInBursts) {
    EXPECT_EQ(Pacer(GetStreamFormat(DataStreamFormat::Ksps16Ms2).MsPerFrame).FramesPerBurst(), 1u);
    EXPECT_EQ(Pacer(GetStreamFormat(DataStreamFormat::Ksps24Ms2_67).MsPerFrame).FramesPerBurst(), 1u);

    Pacer p(GetStreamFormat(DataStreamFormat::Ksps24Ms1_33).MsPerFrame);
    ASSERT_EQ(p.FramesPerBurst(), 2u);
    std::vector<Wake> wakes;
    const std::vector<TimePoint> sentAt = RunSender(p, 7501, &wakes);
    // Frame 0 goes out at the start, then two frames per wake-up, 2.67 ms apart.
    ASSERT_EQ(wakes.size(), 3751u);
    EXPECT_EQ(wakes[0].frames, 1u);
    for (size_t i = 1; i < wakes.size(); ++i) {
        ASSERT_EQ(wakes[i].frames, 2u) << i;
        ASSERT_GE(wakes[i].at - wakes[i - 1].at, Pacer::kMinWakeInterval) << i;
    }
    // The average rate is exact: 7500 frames after the first take 10 s.
    EXPECT_EQ(sentAt[7500] - kStart, std::chrono::nanoseconds(std::llround(7500 * p.PeriodNs())));
}

TEST(SimPacer, LateFramesAreDueAtOnceButALongStallRestartsTheSchedule) {
    Pacer p(GetStreamFormat(DataStreamFormat::Ksps8Ms4).MsPerFrame);
    p.Start(kStart);
    p.MarkSent(1);
    // A 100 ms hiccup: the 25 frames missed are all due now, and the schedule stands.
    const TimePoint hiccup = kStart + 100ms;
    EXPECT_FALSE(p.LimitLag(hiccup));
    EXPECT_EQ(p.DueCount(hiccup), 25u);
    p.MarkSent(25);
    EXPECT_EQ(p.NextWake(), kStart + 104ms);

    // A receiver that stopped reading for 3 s: no 750-frame flood afterwards.
    const TimePoint stall = kStart + 3104ms;
    EXPECT_TRUE(p.LimitLag(stall));
    EXPECT_EQ(p.DueCount(stall), 1u);
    EXPECT_EQ(p.DueTime(27), stall + 4ms);
}

} // namespace
} // namespace vintrel::sim
