// The parsing thread's delay step on real decoded frames: simulated target streams replayed
// through the receiver, fed to the analysis and the library loaded from memory.
#include "delay/DelayFeed.h"
#include "delay/CorrLibrary.h"
#include "delay/DelayAnalysis.h"
#include "quendel/QuendelImage.h"
#include "sim/StreamGenerator.h"
#include "stream/Replay.h"
#include "stream/ReplayTransport.h"

#include <gtest/gtest.h>

namespace vintrel::test {
namespace {

struct FeedRun {
    DelayView last;
    uint64_t estimates = 0;
    bool corrAfter = false;
};

// Replays `bytes` with the delay window shown (or not) and collects what it showed.
FeedRun ReplayWithDelayWindow(const std::vector<uint8_t>& bytes, DataStreamFormat format, bool show,
                              bool bigEndian = false) {
    static CorrLibrary library;
    static const bool loaded = library.LoadDll(QuendelImage()) == LoadDllStatus::Loaded;
    EXPECT_TRUE(loaded);
    MemoryTransport t(bytes);
    ReplayOptions o;
    o.Format = format;
    o.BigEndian = bigEndian;
    Replay replay(
        t, [&t] { return t.Exhausted(); }, o);
    DelayAnalysis analysis(library.Entries(), replay.State(), 1000);
    DelayFeed feed(replay.State(), analysis);
    replay.AddConsumer(&feed);
    if (show) {
        EXPECT_EQ(analysis.FormShow(replay.State().Format()), DelayAnalysis::ShowResult::Shown);
    }
    replay.Run();
    FeedRun r;
    r.last = analysis.View();
    if (r.last.HideRequested) analysis.FormHide(); // as the window does at its next refresh
    r.estimates = r.last.Estimates;
    r.corrAfter = replay.State().Has(StreamState::Corr);
    return r;
}

std::vector<uint8_t> Stream(sim::Protocol protocol, DataStreamFormat format, int echoMs, double seconds,
                            int channels = 5, bool bigEndian = false) {
    sim::StreamConfig c;
    c.protocol = protocol;
    c.format = format;
    c.echoDelayMs = echoMs;
    c.channels = channels;
    c.bigEndian = bigEndian;
    return sim::GenerateStream(c, sim::FramesForSeconds(GetStreamFormat(format), seconds));
}

TEST(DelayFeed, FeedsDecodedFramesOfBothProtocols) {
    struct Case {
        sim::Protocol protocol;
        DataStreamFormat format;
        bool bigEndian;
    } cases[] = {{sim::Protocol::New, DataStreamFormat::Ksps8Ms4, false},
                 {sim::Protocol::Old, DataStreamFormat::Ksps16Ms4, false},
                 {sim::Protocol::New, DataStreamFormat::Ksps24Ms2_67, true},
                 {sim::Protocol::New, DataStreamFormat::Ksps16Ms16, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(FormatCaption(c.format));
        const auto bytes = Stream(c.protocol, c.format, 100, 6, 5, c.bigEndian);
        const FeedRun r = ReplayWithDelayWindow(bytes, c.format, true, c.bigEndian);
        // An estimate per 32 x step frames.
        const StreamFormat f = GetStreamFormat(c.format);
        const uint64_t frames = sim::FramesForSeconds(f, 6);
        EXPECT_EQ(r.estimates, frames / (32 * (f.SamplingRateFromSettings / 8000)));
        EXPECT_EQ(r.last.DelayMs, 100);
        EXPECT_EQ(r.last.DelaySamples, 800 * (GetStreamFormat(c.format).SamplingRateFromSettings / 8000));
        EXPECT_TRUE(r.corrAfter);
    }
}

TEST(DelayFeed, NothingIsFedWithoutTheFeedFlag) {
    const FeedRun r = ReplayWithDelayWindow(Stream(sim::Protocol::New, DataStreamFormat::Ksps8Ms4, 100, 2),
                                            DataStreamFormat::Ksps8Ms4, false);
    EXPECT_EQ(r.estimates, 0u);
    EXPECT_FALSE(r.corrAfter);
}

TEST(DelayFeed, AStreamWithoutTx1inStopsTheFeed) {
    // One channel: RXout only.
    const FeedRun r = ReplayWithDelayWindow(Stream(sim::Protocol::New, DataStreamFormat::Ksps8Ms4, 100, 2, 1),
                                            DataStreamFormat::Ksps8Ms4, true);
    EXPECT_FALSE(r.corrAfter);
    EXPECT_TRUE(r.last.HideRequested);
    EXPECT_STREQ(r.last.Warning.data(), "Raw data is not available");
    EXPECT_EQ(r.estimates, 0u);
}

} // namespace
} // namespace vintrel::test
