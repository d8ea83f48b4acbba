// Noise level, held level and SNR, the MIPS peak and median, and the folding of frames into columns.
#include "monitor/ChartStatistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace vintrel {

namespace {
constexpr int16_t kQuiet = 0;      // a voice indicator below the default threshold
constexpr int16_t kVoiced = 30000; // above it

// Fills the window of `frames` unvoiced frames with `level`.
void FillWithNoise(ChartStatistics& s, int frames, int16_t level) {
    for (int i = 0; i < frames; ++i) s.GetNoiseLevel(level, kQuiet, 0);
}
} // namespace

TEST(ChartStatistics, SnrAgainstDigitalSilenceReads66) {
    ChartStatistics s;
    s.InitNoiseLevelCalc(10);
    FillWithNoise(s, 10, 0);
    ASSERT_TRUE(s.BufFilled);
    ASSERT_EQ(s.Median, 0);
    s.GetNoiseLevel(1000, kVoiced, 0); // 8.66 x ln 1000 + 6.0 = 65.8
    EXPECT_EQ(s.SNRstr, "SNR=66");
    EXPECT_EQ(s.held_sl_current, 1000);
}

TEST(ChartStatistics, HeldLevelHoldsForOneAndAHalfSecondsThenFollows) {
    ChartStatistics s;
    s.InitNoiseLevelCalc(1200); // 4.8 s of 4-ms frames: the hold is 375 frames
    FillWithNoise(s, 1200, 100);
    ASSERT_EQ(s.Median, 100);
    s.GetNoiseLevel(2000, kVoiced, 0);
    EXPECT_EQ(s.SNRstr, "SNR=26"); // 8.66 x (ln 2000 - ln 100) = 25.9
    for (int i = 0; i < 375; ++i) {
        s.GetNoiseLevel(1000, kVoiced, 0);
        ASSERT_EQ(s.SNRstr, "SNR=26") << i;
        ASSERT_EQ(s.held_sl_current, 2000);
    }
    s.GetNoiseLevel(1000, kVoiced, 0);
    EXPECT_EQ(s.SNRstr, "SNR=20"); // 8.66 x (ln 1000 - ln 100) = 19.9
    EXPECT_EQ(s.held_sl_current, 1000);
    // Voiced frames kept the noise level where it was.
    EXPECT_EQ(s.Median, 100);
}

TEST(ChartStatistics, AlwaysVoicedNeverFillsAndShowsNoSnr) {
    ChartStatistics s;
    s.InitNoiseLevelCalc(50);
    for (int i = 0; i < 500; ++i) EXPECT_EQ(s.GetNoiseLevel(int16_t(500 + i), kVoiced, 0), -2);
    EXPECT_FALSE(s.BufFilled);
    EXPECT_EQ(s.Median, -2);
    EXPECT_EQ(s.SNRstr, "");
}

TEST(ChartStatistics, SwitchingBetweenFramesWithAndWithoutIndicatorRestarts) {
    ChartStatistics s;
    s.InitNoiseLevelCalc(4);
    FillWithNoise(s, 4, 300);
    ASSERT_TRUE(s.BufFilled);
    for (int i = 0; i < 20; ++i) {
        const bool withIndicator = i % 2 == 1;
        s.GetNoiseLevel(300, withIndicator ? kQuiet : -2, 0);
        EXPECT_EQ(s.NoVadFactor, withIndicator ? 1 : 3);
        EXPECT_FALSE(s.BufFilled);
        EXPECT_EQ(s.Ncyc, 1); // restarted, then this frame went in
        EXPECT_EQ(s.Median, -2);
    }
}

TEST(ChartStatistics, NoiseLevelIsAPercentileOfTheSlidingWindow) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> level(0, 4000);
    for (bool indicator : {true, false}) {
        SCOPED_TRACE(indicator ? "with indicator: 45th percentile of Nsamples"
                               : "without: 33rd of 3 x Nsamples");
        ChartStatistics s;
        s.InitNoiseLevelCalc(40);
        const size_t window = indicator ? 40 : 120;
        std::vector<int16_t> unvoiced;
        for (int i = 0; i < 2000; ++i) {
            const int16_t v = int16_t(level(rng));
            const bool voiced = indicator && i % 3 == 0;
            const int16_t vad = indicator ? (voiced ? kVoiced : kQuiet) : int16_t(-2);
            const int16_t before = s.Median;
            s.GetNoiseLevel(v, vad, 0);
            // A voiced frame is skipped while filling and counts as the current level afterwards.
            if (!voiced)
                unvoiced.push_back(v);
            else if (unvoiced.size() >= window)
                unvoiced.push_back(before);
            if (unvoiced.size() < window) {
                ASSERT_EQ(s.Median, -2);
                continue;
            }
            std::vector<int16_t> last(unvoiced.end() - long(window), unvoiced.end());
            std::sort(last.begin(), last.end());
            const size_t at = indicator ? 18 : 39; // Round(39 x 0.45) = 17.55, Round(119 x 0.33) = 39.27
            ASSERT_EQ(s.Median, last[at]) << "frame " << i;
        }
    }
}

TEST(ChartStatistics, MipsPeakAndMedianSlideOver250Frames) {
    ChartStatistics s;
    s.InitExternalSettings(250, false, false);
    std::vector<int16_t> window(250, 0); // the window starts as 250 zeros
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> load(0, 32767);
    for (int i = 0; i < 1500; ++i) {
        const int16_t m = int16_t(load(rng));
        window[size_t(i % 250)] = m;
        std::vector<int16_t> sorted = window;
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(s.GetMax(m), sorted.back()) << i;
        ASSERT_EQ(s.GetMedian(), sorted[124]) << i; // round half to even: element 124 of 250
        // The MIPS chart's frames (nl = -2) never touch the window.
        ASSERT_EQ(s.GetNoiseLevel(m, -2, -2), -2);
    }
}

TEST(ChartStatistics, ColumnsFoldFramesAndARateChangeCompletesTheCurrentColumn) {
    ChartStatistics s;
    s.SetRate(2); // 4 frames a column
    s.InitNoiseLevelCalc(0);
    const int16_t peaks[] = {10, 40, 20, 30};
    int due = 0;
    for (int16_t p : peaks) due += s.SumUpEveryFrame(p, -2, 0, -2);
    EXPECT_EQ(due, 1);
    EXPECT_EQ(s.SumPeak, 40);
    // Changed after one frame of the next column: that column still takes 4 frames.
    EXPECT_FALSE(s.SumUpEveryFrame(5, -2, 0, 100));
    s.SetRate(0);
    EXPECT_FALSE(s.SumUpEveryFrame(6, -2, 0, 50));
    EXPECT_FALSE(s.SumUpEveryFrame(7, -2, 0, -2));
    EXPECT_TRUE(s.SumUpEveryFrame(8, -2, 0, -2));
    EXPECT_EQ(s.SumPeak, 8);
    EXPECT_EQ(s.SumVol, 100);
    // From now on every frame is a column; one without data stays without.
    EXPECT_TRUE(s.SumUpEveryFrame(-2, -2, 0, -2));
    EXPECT_EQ(s.SumPeak, -2);
}

TEST(ChartStatistics, ARestartInsideTheStatisticsBeginsTheColumnAfresh) {
    ChartStatistics s;
    s.SetRate(1); // 2 frames a column
    s.InitNoiseLevelCalc(0);
    EXPECT_FALSE(s.SumUpEveryFrame(2000, -2, 0, -2));
    // The first frame with an indicator after frames without one restarts the statistics; the column
    // then holds this frame only, not the 2000 before it nor a made-up zero.
    EXPECT_FALSE(s.SumUpEveryFrame(3, kVoiced, 0, -2));
    EXPECT_EQ(s.RateCounter, 1);
    EXPECT_TRUE(s.SumUpEveryFrame(4, kVoiced, 0, -2));
    EXPECT_EQ(s.SumPeak, 4);
    // A chart fed no data at all never gets a zero peak from the restart of its first frame.
    ChartStatistics empty;
    empty.SetRate(0);
    empty.InitNoiseLevelCalc(0);
    EXPECT_TRUE(empty.SumUpEveryFrame(-2, -2, 0, -2));
    EXPECT_EQ(empty.SumPeak, -2);
}

TEST(ChartStatistics, ThresholdTableAndWindowLimit) {
    EXPECT_EQ(VadThrFR[0], 0);
    EXPECT_EQ(VadThrFR[kVadThrDefaultItem], 16383);
    EXPECT_EQ(VadThrFR[20], 32767);
    for (size_t i = 1; i < VadThrFR.size(); ++i) EXPECT_NEAR(VadThrFR[i], i * 32767.0 / 20, 1.0);
    ChartStatistics s;
    s.SetVadThr(VadThrFR[3]);
    EXPECT_EQ(s.VADthr, 4915);
    // 1.33-ms frames give 3609 frames in 4.8 s, three windows of which still fit; more is capped.
    s.InitNoiseLevelCalc(3609);
    EXPECT_EQ(s.Nsamples, 3609);
    s.InitNoiseLevelCalc(100000);
    EXPECT_EQ(s.Nsamples, ChartStatistics::kMaxNsamples);
    for (int i = 0; i < 3 * ChartStatistics::kMaxNsamples + 10; ++i)
        s.GetNoiseLevel(int16_t(i % 1000), -2, 0);
    EXPECT_TRUE(s.BufFilled);
}

} // namespace vintrel
