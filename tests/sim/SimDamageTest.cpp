// Injected damage: the counts the generator reports must equal what the stream contains, and
// damage must not disturb the rest of the stream.
#include <gtest/gtest.h>

#include "sim/DamageInjector.h"
#include "sim/SimStreamScan.h"
#include "sim/StreamGenerator.h"
#include "stream/FrameLayout.h"

namespace vintrel::sim {
namespace {

struct Observed {
    uint64_t frames = 0, badChecksums = 0, skipped = 0, garbageBursts = 0, garbageBytes = 0, unknownTags = 0,
             damaged = 0;
};

Observed ObserveNew(const test::StreamScan& scan, uint32_t startCounter) {
    Observed o;
    uint32_t expected = startCounter;
    for (const auto& f : scan.frames) {
        ++o.frames;
        if (f.bytesSkippedBefore) {
            ++o.garbageBursts;
            o.garbageBytes += f.bytesSkippedBefore;
        }
        o.skipped += test::NewCounter(f.words) - expected;
        expected = test::NewCounter(f.words) + 1;
        const bool bad = f.words.back() != FrameChecksum(f.words.data(), f.words.size());
        size_t end = 0;
        const auto chunks = test::WalkChunks(f.words, end);
        const bool unknown = !chunks.empty() && chunks.back().tag == 0x8005;
        const size_t checksumWord = f.words.size() - 1;
        EXPECT_EQ(end, unknown ? checksumWord - 4 : checksumWord)
            << "an unknown chunk sits just before the checksum";
        o.badChecksums += bad;
        o.unknownTags += unknown;
        o.damaged += bad || unknown;
    }
    return o;
}

TEST(SimDamage, NewProtocolCountsMatchTheStream) {
    StreamConfig cfg;
    cfg.startCounter = 500;
    cfg.damage = {.badChecksumEvery = 7, .skipFrameEvery = 11, .garbageEvery = 13, .unknownTagEvery = 5};
    for (bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
        cfg.bigEndian = bigEndian;
        StreamGenerator gen(cfg);
        std::vector<uint8_t> bytes;
        gen.AppendFrames(
            bytes, 1000); // frame 1000 is neither skipped nor preceded by garbage, so every injection shows
        const DamageCounts& c = gen.Counts();
        const Observed o = ObserveNew(test::ScanStream(bytes, true, bigEndian, 32), cfg.startCounter);

        EXPECT_EQ(c.framesGenerated, 1000u);
        EXPECT_EQ(c.skippedFrames, 1000u / 11);
        EXPECT_EQ(c.garbageBursts, 1000u / 13);
        // Frames 77, 154, ... are both skipped and due a checksum error: skipping wins.
        EXPECT_EQ(c.badChecksums, 1000u / 7 - 1000u / 77);
        EXPECT_EQ(c.framesEmitted, o.frames);
        EXPECT_EQ(c.badChecksums, o.badChecksums);
        EXPECT_EQ(c.skippedFrames, o.skipped);
        EXPECT_EQ(c.garbageBursts, o.garbageBursts);
        EXPECT_EQ(c.garbageBytes, o.garbageBytes);
        EXPECT_EQ(c.unknownTags, o.unknownTags);
        EXPECT_EQ(c.damagedFrames, o.damaged);
        EXPECT_EQ(gen.NextCounter(), cfg.startCounter + 1000);
    }
}

TEST(SimDamage, GarbageHoldsNoMarkerByte) {
    DamageInjector inj({.garbageEvery = 1}, true, 99);
    for (int i = 0; i < 2000; ++i) {
        const FrameDamage& d = inj.NextFrame();
        ASSERT_GE(d.garbage.size(), static_cast<size_t>(DamageInjector::kGarbageMinBytes));
        ASSERT_LE(d.garbage.size(), static_cast<size_t>(DamageInjector::kGarbageMaxBytes));
        for (uint8_t b : d.garbage)
            ASSERT_TRUE(b != 0xFF && b != 0xEE && b != 0xFE && b != 0x7F && b != 0x01 && b != 0x80);
    }
}

// Removing what was injected must give back the undamaged stream exactly: a skipped frame uses up
// its counter, samples and profile chunk; garbage and the other damage change nothing else; the
// old protocol ignores checksum and tag damage.
TEST(SimDamage, DamageLeavesTheRestOfTheStreamAlone) {
    for (Protocol protocol : {Protocol::New, Protocol::Old}) {
        SCOPED_TRACE(protocol == Protocol::New ? "new" : "old");
        StreamConfig clean;
        clean.protocol = protocol;
        StreamGenerator reference(clean);
        StreamConfig damaged = clean;
        damaged.damage = {
            .badChecksumEvery = 6, .skipFrameEvery = 5, .garbageEvery = 3, .unknownTagEvery = 4};
        StreamGenerator gen(damaged);

        for (int n = 1; n <= 300; ++n) {
            std::vector<uint8_t> expect, got;
            reference.AppendNextFrame(expect);
            gen.AppendNextFrame(got);
            const FrameRecord& r = gen.LastFrame();
            ASSERT_EQ(r.emitted, n % 5 != 0);
            ASSERT_EQ(r.garbageBytes != 0, n % 3 == 0);
            got.erase(got.begin(), got.begin() + static_cast<long>(r.garbageBytes));
            if (!r.emitted) {
                ASSERT_TRUE(got.empty());
                continue;
            }
            if (protocol == Protocol::Old) {
                ASSERT_EQ(got, expect) << n;
                continue;
            }
            if (r.unknownTag) {
                // Drop the four-word chunk before the checksum and mend length and checksum.
                ASSERT_EQ(got.size(), expect.size() + 8);
                got.erase(got.end() - 10, got.end() - 2);
            }
            ASSERT_EQ(r.badChecksum, n % 6 == 0);
            ASSERT_EQ(got.size(), expect.size()) << n;
            // Everything but the length (bytes 12-13) and the checksum must match.
            for (size_t i = 0; i + 2 < got.size(); ++i) {
                if (i != 12 && i != 13) {
                    ASSERT_EQ(got[i], expect[i]) << "frame " << n << " byte " << i;
                }
            }
            if (!r.badChecksum && !r.unknownTag) {
                ASSERT_EQ(got, expect);
            }
        }
    }
}

} // namespace
} // namespace vintrel::sim
