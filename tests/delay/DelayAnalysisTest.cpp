// The delay analysis model: decimation and feeding, the estimate cadence, the judging rules,
// the warning hold, the figures shown and the show/hide/scale life cycle; and synthetic echoes
// through the real estimator at each rate and range.
#include "delay/DelayAnalysis.h"
#include "delay/ScriptedEstimator.h"
#include "delay/SignalsForTests.h"
#include "quendel/QuendelImage.h"
#include "stream/Clock.h"
#include "stream/QueueSink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

namespace vintrel::test {
namespace {

class DelayAnalysisTest : public ::testing::Test {
protected:
    QueueSink sink_;
    ManualClock clock_;
    StreamState state_{sink_, clock_};
    CorrEntryPoints entries_ = ScriptedEstimator::Start();
    ScriptedEstimator& script_ = ScriptedEstimator::Current();

    // Frames of `format` whose RXout samples count up from rxStart and TX1in samples from txStart.
    struct Frames {
        StreamFormat format;
        std::vector<int16_t> rx, tx;
    };
    Frames Make(DataStreamFormat f) {
        Frames fr{GetStreamFormat(f), {}, {}};
        fr.rx.resize(size_t(fr.format.ChannLenWords));
        fr.tx.resize(size_t(fr.format.ChannLenWords));
        return fr;
    }
    void Feed(DelayAnalysis& a, const Frames& fr, int frames, int16_t txPeak = 5000, int16_t rxPeak = 5000) {
        for (int i = 0; i < frames; ++i) {
            a.SetFramePeaks(txPeak, rxPeak);
            ASSERT_TRUE(a.Prot1AddFrame(fr.rx.data(), fr.tx.data(), fr.format.ChannLenWords,
                                        fr.format.SamplingRateFromSettings));
        }
    }
    // Feeds until one more estimate has been made and returns what is shown then.
    DelayView NextEstimate(DelayAnalysis& a, const Frames& fr, const TCorrRes& result, int16_t txPeak = 5000,
                           int16_t rxPeak = 5000) {
        script_.next = result;
        const uint64_t before = a.View().Estimates;
        while (a.View().Estimates == before) Feed(a, fr, 1, txPeak, rxPeak);
        return a.View();
    }
};

TCorrRes Result(int delay, double max = 0.9) {
    TCorrRes r{};
    r.delay = delay;
    r.max = max;
    return r;
}

TEST_F(DelayAnalysisTest, EstimatesEvery32StepFramesAndFeedsTx1inAsSignalA) {
    struct Case {
        DataStreamFormat format;
        int framesPerEstimate, perFrame;
    } cases[] = {
        {DataStreamFormat::Ksps8Ms4, 32, 32},   {DataStreamFormat::Ksps16Ms2, 64, 16},
        {DataStreamFormat::Ksps16Ms4, 64, 32},  {DataStreamFormat::Ksps16Ms16, 64, 128},
        {DataStreamFormat::Ksps8Ms16, 32, 128}, {DataStreamFormat::Ksps24Ms2_67, 96, -1},
    };
    for (const Case& c : cases) {
        entries_ = ScriptedEstimator::Start();
        ScriptedEstimator& s = ScriptedEstimator::Current();
        DelayAnalysis a(entries_, state_, 1000);
        Frames fr = Make(c.format);
        for (size_t i = 0; i < fr.rx.size(); ++i) {
            fr.rx[i] = int16_t(i);
            fr.tx[i] = int16_t(1000 + i);
        }
        ASSERT_EQ(a.FormShow(fr.format), DelayAnalysis::ShowResult::Shown);
        EXPECT_TRUE(state_.Has(StreamState::Corr));
        Feed(a, fr, c.framesPerEstimate - 1);
        EXPECT_EQ(s.states, 0) << FormatCaption(c.format);
        Feed(a, fr, 1);
        EXPECT_EQ(s.states, 1) << FormatCaption(c.format);
        Feed(a, fr, c.framesPerEstimate);
        EXPECT_EQ(s.states, 2) << FormatCaption(c.format);
        if (c.perFrame > 0) {
            // Every step-th sample, all of them kept (the 16-ms formats stage 128 per signal).
            ASSERT_EQ(s.fedA.size(), size_t(c.perFrame) * 2 * c.framesPerEstimate);
            const int step = fr.format.SamplingRateFromSettings / 8000;
            for (int k = 0; k < c.perFrame; ++k) {
                EXPECT_EQ(s.fedA[size_t(k)], 1000 + k * step);
                EXPECT_EQ(s.fedB[size_t(k)], k * step);
            }
        }
        a.FormHide();
        EXPECT_FALSE(state_.Has(StreamState::Corr));
        EXPECT_EQ(s.destroyed, 1);
    }
}

TEST_F(DelayAnalysisTest, TwentyFourKiloHertzKeepsEveryThirdSampleAcrossFrames) {
    // 32 samples a frame do not divide by 3: the picking phase runs on from frame to frame, so
    // the estimator gets exactly 8000 samples a second, evenly spaced.
    DelayAnalysis a(entries_, state_, 1000);
    Frames fr = Make(DataStreamFormat::Ksps24Ms1_33);
    ASSERT_EQ(a.FormShow(fr.format), DelayAnalysis::ShowResult::Shown);
    int16_t next = 0;
    for (int frame = 0; frame < 750; ++frame) { // one second
        for (size_t i = 0; i < fr.rx.size(); ++i) fr.rx[i] = fr.tx[i] = next++;
        Feed(a, fr, 1);
    }
    ASSERT_EQ(script_.fedB.size(), 8000u);
    for (size_t k = 0; k < script_.fedB.size(); ++k) ASSERT_EQ(script_.fedB[k], int16_t(3 * k)) << k;
    EXPECT_EQ(script_.fedA, script_.fedB);
}

TEST_F(DelayAnalysisTest, FiguresShownForAnEstimate) {
    DelayAnalysis a(entries_, state_, 1000);
    const Frames fr8 = Make(DataStreamFormat::Ksps8Ms4);
    ASSERT_EQ(a.FormShow(fr8.format), DelayAnalysis::ShowResult::Shown);
    NextEstimate(a, fr8, Result(100)); // the first is unstable (the previous delay was 0)
    DelayView v = NextEstimate(a, fr8, Result(100, 0.87));
    EXPECT_EQ(v.DelaySamples, 100);
    EXPECT_EQ(v.DelayMs, 13); // (100 + 4) / 8
    EXPECT_TRUE(v.RpdAvailable);
    EXPECT_EQ(v.Rpd, 5); // (13 - 7) / 5 = 1.2 -> 1 -> 5
    EXPECT_STREQ(v.RpdText.data(), "5");
    EXPECT_STREQ(v.Reliability.data(), "0.90");
    EXPECT_EQ(v.Series[255], 13);
    EXPECT_EQ(v.Series[254], 13);
    EXPECT_EQ(v.Series[253], 0);
    // -3 samples is 0 ms.
    NextEstimate(a, fr8, Result(-3));
    v = NextEstimate(a, fr8, Result(-3, 0.05));
    EXPECT_EQ(v.DelayMs, 0);
    EXPECT_STREQ(v.Reliability.data(), "0.05");
    EXPECT_STREQ(v.RpdText.data(), "N/A"); // 0.05 is unreliable
    // 5 ms recommends 0; 4 ms, steady and without a warning, would be -5: no setting.
    for (int i = 0; i < 10; ++i) NextEstimate(a, fr8, Result(40));
    EXPECT_STREQ(NextEstimate(a, fr8, Result(40)).RpdText.data(), "0");
    EXPECT_FALSE(NextEstimate(a, fr8, Result(32)).RpdAvailable);
    a.FormHide();

    // At 16 kHz the samples figure is at the stream's own rate.
    const Frames fr16 = Make(DataStreamFormat::Ksps16Ms4);
    ASSERT_EQ(a.FormShow(fr16.format), DelayAnalysis::ShowResult::Shown);
    NextEstimate(a, fr16, Result(100));
    v = NextEstimate(a, fr16, Result(100, 0.996));
    EXPECT_EQ(v.DelaySamples, 200);
    EXPECT_EQ(v.DelayMs, 13);
    EXPECT_STREQ(v.Reliability.data(), "1.00");
    EXPECT_EQ(v.Series[255], 13); // the chart goes on from the earlier showing
    EXPECT_EQ(v.Estimates, 2u);

    EXPECT_EQ(delay_rules::RecommendedRpd(300), 295);
    EXPECT_EQ(delay_rules::RecommendedRpd(100), 95);
    EXPECT_EQ(delay_rules::RecommendedRpd(20), 15);
    EXPECT_EQ(delay_rules::RecommendedRpd(9), 0);   // 0.4 -> 0
    EXPECT_EQ(delay_rules::RecommendedRpd(19), 10); // 2.4 -> 2
    EXPECT_EQ(delay_rules::RecommendedRpd(0), -5);
    EXPECT_EQ(delay_rules::DelayMs(-20), -2);
    EXPECT_EQ(delay_rules::DelayMs(-4), 0);
    EXPECT_EQ(delay_rules::DelayMs(-12), -1);
}

TEST_F(DelayAnalysisTest, JudgingRulesInTheirOrder) {
    DelayAnalysis a(entries_, state_, 1000);
    const Frames fr = Make(DataStreamFormat::Ksps8Ms4);
    // A fresh run whose every estimate has the same result and levels: what it is judged.
    auto warningAfter = [&](double max, int16_t tx, int16_t rx, int delay = 60) {
        a.FormShow(fr.format);
        script_.next = Result(delay, max);
        Feed(a, fr, 400, tx, rx); // past the hold of the first estimate's "Delay is unstable"
        const DelayView v = NextEstimate(a, fr, Result(delay, max), tx, rx);
        return std::string(v.Warning.data()) + (v.RpdAvailable ? "" : " [N/A]");
    };
    EXPECT_EQ(warningAfter(0.9, 5000, 5000), "");
    // A negative delay with a real peak comes before every other rule; the peak of noise does not.
    EXPECT_EQ(warningAfter(0.35, 30000, 100, -3000), std::string(DelayAnalysis::kEchoLongerText) + " [N/A]");
    EXPECT_EQ(warningAfter(0.34, 5000, 100, -3000), "RXout signal is too low [N/A]");
    EXPECT_EQ(warningAfter(0.9, 100, 1035), "RXout signal is too low [N/A]");
    EXPECT_EQ(warningAfter(0.9, 1035, 1036), "TX1in signal is too low [N/A]");
    // No RXout level known (negative peaks): never "too low" for RXout; a negative TX1in is.
    EXPECT_EQ(warningAfter(0.9, 5000, -5), "");
    EXPECT_EQ(warningAfter(0.9, -5, -5), "TX1in signal is too low [N/A]");
    EXPECT_EQ(warningAfter(0.9, 23171, 5000), "TX1in signal is clipped [N/A]");
    EXPECT_EQ(warningAfter(0.9, 23170, 5000), "");
    EXPECT_EQ(warningAfter(0.34, 5000, 5000), "Unreliable [N/A]");
    EXPECT_EQ(warningAfter(0.35, 5000, 5000), "");

    // Stability: more than 8 samples (1 ms) from the previous estimate.
    a.FormShow(fr.format);
    script_.next = Result(40);
    Feed(a, fr, 250);
    EXPECT_TRUE(NextEstimate(a, fr, Result(48)).RpdAvailable);
    EXPECT_TRUE(NextEstimate(a, fr, Result(40)).RpdAvailable);
    const DelayView v = NextEstimate(a, fr, Result(49));
    EXPECT_FALSE(v.RpdAvailable);
    EXPECT_STREQ(v.Warning.data(), "Delay is unstable");
}

TEST_F(DelayAnalysisTest, LevelsAreThePeaksOfTheLastSecond) {
    DelayAnalysis a(entries_, state_, 1000);
    const Frames fr = Make(DataStreamFormat::Ksps8Ms4); // 250 frames a second
    a.FormShow(fr.format);
    Feed(a, fr, 250);
    NextEstimate(a, fr, Result(40));
    Feed(a, fr, 1, 30000, 5000); // one clipped frame
    // The estimates within the next 249 frames still see it (and hold the warning on).
    int clippedEstimates = 0;
    for (int i = 0; i < 20; ++i) {
        const DelayView v = NextEstimate(a, fr, Result(40));
        if (!v.RpdAvailable) ++clippedEstimates;
    }
    // Frames fed after the loud one before each estimate: 31 (first), 63, ..., 223: 7 estimates
    // inside the window, and from the 8th on it has slid out.
    EXPECT_EQ(clippedEstimates, 7);
}

TEST_F(DelayAnalysisTest, WarningsShowAtOnceAndAreHeld) {
    DelayAnalysis a(entries_, state_, 1000);
    const Frames fr = Make(DataStreamFormat::Ksps8Ms4); // hold = 250 / 32 + 2 = 9 estimates
    a.FormShow(fr.format);
    Feed(a, fr, 250);
    NextEstimate(a, fr, Result(40));
    EXPECT_STREQ(NextEstimate(a, fr, Result(40, 0.1)).Warning.data(), "Unreliable");
    for (int i = 0; i < 8; ++i) {
        const DelayView v = NextEstimate(a, fr, Result(40));
        EXPECT_STREQ(v.Warning.data(), "Unreliable") << i;
        EXPECT_TRUE(v.RpdAvailable); // the recommendation follows the estimate itself
    }
    EXPECT_STREQ(NextEstimate(a, fr, Result(40)).Warning.data(), "");
    // A different warning replaces the shown one at once.
    EXPECT_STREQ(NextEstimate(a, fr, Result(40, 0.1)).Warning.data(), "Unreliable");
    EXPECT_STREQ(NextEstimate(a, fr, Result(40), 30000).Warning.data(), "TX1in signal is clipped");
    // A new showing starts with an empty warning line.
    a.FormShow(fr.format);
    EXPECT_STREQ(a.View().Warning.data(), "");
}

TEST_F(DelayAnalysisTest, MissingRawDataStopsTheFeed) {
    DelayAnalysis a(entries_, state_, 1000);
    const Frames fr = Make(DataStreamFormat::Ksps8Ms4);
    a.FormShow(fr.format);
    EXPECT_FALSE(a.Prot1AddFrame(nullptr, fr.tx.data(), 32, 8000));
    DelayView v = a.View();
    EXPECT_STREQ(v.Warning.data(), "Raw data is not available");
    EXPECT_TRUE(v.HideRequested);
    EXPECT_FALSE(a.Prot1AddFrame(fr.rx.data(), nullptr, 32, 8000));
    EXPECT_EQ(script_.puts, 0);
}

TEST_F(DelayAnalysisTest, ShowHideAndScaleLifeCycle) {
    DelayAnalysis a(entries_, state_, 1000);
    const Frames fr = Make(DataStreamFormat::Ksps8Ms4);
    // Hidden: the scale is only stored; the next showing uses it.
    a.ChangeScale(2000);
    EXPECT_EQ(script_.created, 0);
    ASSERT_EQ(a.FormShow(fr.format), DelayAnalysis::ShowResult::Shown);
    EXPECT_EQ(script_.lastLength, 16000);
    EXPECT_TRUE(a.IsOnScreen());
    // Shown: a new estimator with the new history, the feed flag as it was.
    EXPECT_EQ(a.ChangeScale(4000), DelayAnalysis::ShowResult::Shown);
    EXPECT_EQ(script_.lastLength, 32000);
    EXPECT_EQ(script_.created, 2);
    EXPECT_EQ(script_.destroyed, 1);
    EXPECT_TRUE(state_.Has(StreamState::Corr));
    state_.Remove(StreamState::Corr); // e.g. not connected
    a.ChangeScale(1000);
    EXPECT_FALSE(state_.Has(StreamState::Corr));
    EXPECT_EQ(script_.lastLength, 8000);
    // Hiding twice frees once; frames fed while hidden reach nobody.
    a.FormHide();
    a.FormHide();
    EXPECT_EQ(script_.destroyed, 3);
    EXPECT_FALSE(a.IsOnScreen());
    const int puts = script_.puts;
    Feed(a, fr, 40);
    EXPECT_EQ(script_.puts, puts);

    // The estimator cannot be had: the window hides, the feed stays off.
    script_.initStatus = -1;
    EXPECT_EQ(a.FormShow(fr.format), DelayAnalysis::ShowResult::NoMemory);
    EXPECT_FALSE(a.IsOnScreen());
    EXPECT_FALSE(state_.Has(StreamState::Corr));
    EXPECT_STREQ(DelayAnalysis::kNoMemoryText, "Error memory allocation\rDelay analysis is impossible");
    script_.initStatus = -2;
    EXPECT_EQ(a.FormShow(fr.format), DelayAnalysis::ShowResult::Refused);

    // Without every entry point the analysis never calls the library.
    CorrEntryPoints partial = entries_;
    partial.GetCorr = nullptr;
    DelayAnalysis b(partial, state_, 1000);
    EXPECT_EQ(b.FormShow(fr.format), DelayAnalysis::ShowResult::NoEntryPoints);
    EXPECT_FALSE(state_.Has(StreamState::Corr));
}

TEST_F(DelayAnalysisTest, SyntheticEchoesAtEachRateAndRange) {
    // The real estimator. RXout noise (or a tone) at the stream's rate, TX1in its echo at half level
    // plus room noise, fed for the history, the echo and half a second more: the last estimate.
    static CorrLibrary library;
    static const LoadDllStatus loaded = library.LoadDll(QuendelImage());
    ASSERT_EQ(loaded, LoadDllStatus::Loaded);
    enum Kind { InRange, Longer, Zero, ToneEcho };
    for (DataStreamFormat f :
         {DataStreamFormat::Ksps8Ms4, DataStreamFormat::Ksps16Ms4, DataStreamFormat::Ksps24Ms2_67}) {
        const StreamFormat format = GetStreamFormat(f);
        const int rate = format.SamplingRateFromSettings;
        for (int scale : {1000, 2000, 4000}) {
            const int n8 = delay_rules::HistoryLength(scale); // 1024, 2048, 4096 ms
            for (Kind kind : {InRange, Longer, Zero, ToneEcho}) {
                const int echoMs = kind == InRange ? scale * 9 / 20 : kind == Longer ? n8 / 16 + 100 : 0;
                SCOPED_TRACE(std::string(FormatShortName(f)) + " max " + std::to_string(scale) + " echo " +
                             std::to_string(echoMs) + (kind == ToneEcho ? " tone" : ""));
                const size_t total = size_t(rate) * size_t(n8 / 8 + echoMs + 500) / 1000;
                const auto rx = kind == ToneEcho ? Tone(total, 437.0, 8000, rate) : Noise(total, scale, 8000);
                std::vector<int16_t> tx = Delayed(rx, echoMs * rate / 1000), room = Noise(total, 99, 200);
                for (size_t i = 0; i < total; ++i) tx[i] = int16_t(tx[i] / 2 + room[i]);
                DelayAnalysis a(library.Entries(), state_, scale);
                ASSERT_EQ(a.FormShow(format), DelayAnalysis::ShowResult::Shown);
                const size_t n = size_t(format.ChannLenWords);
                for (size_t at = 0; at + n <= total; at += n) {
                    a.SetFramePeaks(*std::max_element(&tx[at], &tx[at] + n),
                                    *std::max_element(&rx[at], &rx[at] + n));
                    ASSERT_TRUE(a.Prot1AddFrame(&rx[at], &tx[at], int(n), rate));
                }
                const DelayView v = a.View();
                // Wrapped round to delay - N, warned with the echo it likely is; a tone is unreliable
                // however sure the estimator is; 0 ms would recommend -5.
                EXPECT_EQ(v.DelayMs, kind == Longer ? delay_rules::DelayMs(echoMs * 8 - n8) : echoMs);
                EXPECT_GT(v.CorrRes.max, kind == ToneEcho ? 0.9 : 0.35);
                EXPECT_EQ(v.EstimateWarned, kind == Longer || kind == ToneEcho);
                EXPECT_EQ(v.LikelyEchoShown ? v.LikelyEchoMs : 0, kind == Longer ? echoMs : 0);
                EXPECT_EQ(std::string(v.RpdText.data()),
                          kind == InRange ? std::to_string(delay_rules::RecommendedRpd(echoMs)) : "N/A");
                if (kind == ToneEcho) {
                    EXPECT_STREQ(v.Warning.data(), "Unreliable");
                }
            }
        }
    }
}

TEST_F(DelayAnalysisTest, WindowThreadNeverFreesTheEstimatorUnderAFrame) {
    // The parsing thread feeds as fast as it can while the window shows, hides and rescales.
    DelayAnalysis a(entries_, state_, 1000);
    const Frames fr = Make(DataStreamFormat::Ksps8Ms4);
    std::atomic<bool> stop{false};
    std::thread parser([&] {
        while (!stop.load()) {
            if (!state_.Has(StreamState::Corr)) continue;
            a.SetFramePeaks(5000, 5000);
            a.Prot1AddFrame(fr.rx.data(), fr.tx.data(), 32, 8000);
            (void)a.View();
        }
    });
    for (int i = 0; i < 300; ++i) {
        if (i % 3 == 0)
            a.FormShow(fr.format);
        else if (i % 3 == 1)
            a.ChangeScale(i % 2 ? 2000 : 1000);
        else
            a.FormHide();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    stop = true;
    parser.join();
    a.FormHide();
    EXPECT_EQ(script_.callsOnDeadObjects, 0);
    EXPECT_EQ(script_.created, script_.destroyed);
    EXPECT_GT(script_.puts, 0);
}

} // namespace
} // namespace vintrel::test
