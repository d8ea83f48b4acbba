// The simulator's streams, damage included, through the receiver: its counters must equal
// what was injected.
#include "sim/StreamGenerator.h"
#include "stream/Replay.h"
#include "stream/ReplayTransport.h"

#include <gtest/gtest.h>

namespace vintrel {

namespace {

struct Seen : FrameConsumer {
    uint64_t recordable = 0;
    void OnFrame(const DecodedFrame& f) override { recordable += f.Record; }
};

} // namespace

TEST(SimReplay, CountersEqualTheInjectedDamage) {
    struct Case {
        sim::Protocol protocol;
        DataStreamFormat format;
        bool be;
    };
    const Case cases[] = {
        {sim::Protocol::New, DataStreamFormat::Ksps8Ms4, false},
        {sim::Protocol::New, DataStreamFormat::Ksps24Ms1_33, true},
        {sim::Protocol::New, DataStreamFormat::Ksps16Ms16, false},
        {sim::Protocol::Old, DataStreamFormat::Ksps16Ms4, false},
        {sim::Protocol::Old, DataStreamFormat::Ksps8Ms16, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(FormatCaption(c.format)) + (c.be ? " big-endian" : "") +
                     (c.protocol == sim::Protocol::New ? " new" : " old"));
        sim::StreamConfig cfg;
        cfg.protocol = c.protocol;
        cfg.format = c.format;
        cfg.bigEndian = c.be;
        cfg.seed = 11;
        // Skips 300 frames apart: each one a run of its own, so no reconnect.
        cfg.damage = {.badChecksumEvery = c.protocol == sim::Protocol::New ? 97u : 0u,
                      .skipFrameEvery = 300,
                      .garbageEvery = 41,
                      .unknownTagEvery = c.protocol == sim::Protocol::New ? 133u : 0u};
        sim::DamageCounts counts;
        const auto bytes = sim::GenerateStream(cfg, 3000, &counts);

        MemoryTransport t(bytes, 1000); // reads shorter than most frames
        Replay replay(t, [&t] { return t.Exhausted(); }, {.Format = c.format, .BigEndian = c.be});
        Seen seen;
        replay.AddConsumer(&seen);
        const ReplayTotals r = replay.Run();

        EXPECT_EQ(r.Frames, counts.framesEmitted);
        EXPECT_EQ(r.ChecksumErrors, counts.damagedFrames);
        // The skip at frame 300 falls in the quiet first 251 frames taken, the others are reported.
        EXPECT_EQ(r.Inconsistent, counts.skippedFrames - 1);
        EXPECT_EQ(r.Reconnects, 0u);
        EXPECT_EQ(r.LostSync, 0u);
        EXPECT_EQ(seen.recordable, counts.framesEmitted - counts.unknownTags);
        EXPECT_GT(counts.garbageBursts, 50u);
    }
}

TEST(SimReplay, ProfileAndTargetInformationArrive) {
    for (auto platform : {sim::TargetPlatform::General, sim::TargetPlatform::Kalimba}) {
        sim::StreamConfig cfg;
        cfg.platform = platform;
        const auto bytes = sim::GenerateStream(cfg, 200);
        sim::StreamGenerator g(cfg);
        MemoryTransport t(bytes);
        Replay replay(t, [&t] { return t.Exhausted(); }, {});
        replay.Run();
        const FrameDecoder& d = replay.State().Decoder;
        EXPECT_EQ(d.CheckPsk.load(), 2);
        const auto& profile = g.Profile();
        const auto scarce = d.ScarceDataCopy();
        ASSERT_EQ(scarce.FullProfileWords, int(profile.words.size()));
        for (size_t i = 0; i < profile.words.size(); ++i)
            EXPECT_EQ(uint16_t(d.LastPsk[i].load()), profile.words[i]) << i;
        EXPECT_EQ(scarce.PlatformID, platform == sim::TargetPlatform::Kalimba ? "Kalimba" : "General");
    }
}

} // namespace vintrel
