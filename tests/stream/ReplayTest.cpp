#include "stream/Replay.h"
#include "stream/ReplayTransport.h"
#include "support/FrameBuilder.h"

#include <gtest/gtest.h>

#include <random>

namespace vintrel {

using test::Append;
using test::NewFrame;
using test::OldFrame;

namespace {

struct Collected : FrameConsumer {
    std::vector<DecodedFrame> frames;
    void OnFrame(const DecodedFrame& f) override { frames.push_back(f); }
};

std::vector<uint8_t> NewStream(int frames, bool be, uint32_t first = 0) {
    std::vector<uint8_t> out;
    for (int i = 0; i < frames; ++i)
        Append(out, NewFrame(first + i)
                        .Raw(0x0101, {int16_t(i), 2, 3, 4})
                        .Raw(0x0701, {9, 9})
                        .Mips(100, 40)
                        .Bytes(be));
    return out;
}

struct PlayResult {
    ReplayTotals totals;
    std::vector<DecodedFrame> frames;
    std::vector<QueuedMessage> messages;
};

PlayResult Play(const std::vector<uint8_t>& bytes, ReplayOptions o = {}, uint32_t maxRead = 0xFFFFFFFF) {
    MemoryTransport t(bytes, maxRead);
    Replay replay(
        t, [&t] { return t.Exhausted(); }, o);
    Collected c;
    replay.AddConsumer(&c);
    PlayResult r;
    r.totals = replay.Run([&r](const QueuedMessage& m) { r.messages.push_back(m); });
    r.frames = c.frames;
    return r;
}

int Count(const PlayResult& r, uint32_t msg, uintptr_t w) {
    int n = 0;
    for (const auto& m : r.messages) n += m.Msg == msg && m.WParam == w;
    return n;
}

} // namespace

TEST(Replay, CleanStreamsInBothProtocolsAndByteOrders) {
    for (bool be : {false, true}) {
        const PlayResult n = Play(NewStream(600, be), {.BigEndian = be});
        EXPECT_EQ(n.totals.Frames, 600u) << be;
        EXPECT_EQ(n.totals.ChecksumErrors + n.totals.Inconsistent + n.totals.LostSync, 0u) << be;
        ASSERT_EQ(n.frames.size(), 600u);
        EXPECT_EQ(n.frames[599].FrameNum, 599);

        std::vector<uint8_t> old;
        for (int i = 0; i < 600; ++i)
            Append(old, OldFrame(uint16_t(i), 64).Psk(uint16_t(i)).Channels(0x0007).Bytes(be));
        const PlayResult o = Play(old, {.Format = DataStreamFormat::Ksps16Ms4, .BigEndian = be});
        EXPECT_EQ(o.totals.Frames, 600u) << be;
        EXPECT_EQ(o.totals.Inconsistent, 0u);
        EXPECT_EQ(o.frames[10].Protocol, 0);
        EXPECT_EQ(o.frames[10].Bytes, 4u * 128);
    }
}

TEST(Replay, ArbitraryReadSizesAndRingWrapsLoseNothing) {
    // About 2.5 MB: the ring wraps several times; reads come in odd pieces.
    const auto bytes = NewStream(60000, false);
    for (uint32_t piece : {1u, 7u, 333u, 4099u}) {
        const PlayResult r = Play(bytes, {}, piece);
        EXPECT_EQ(r.totals.Frames, 60000u) << piece;
        EXPECT_EQ(r.totals.Inconsistent + r.totals.ChecksumErrors, 0u) << piece;
    }
}

TEST(Replay, BatchesCoverEveryBufferEvenWhenTheBatchDoesNotDivide48) {
    const PlayResult r =
        Play(NewStream(96, false), {.Format = DataStreamFormat::Ksps24Ms2_67}); // batches of 18
    std::vector<int> drawn(96, 0);
    int pass = 0, last = -1;
    for (const auto& m : r.messages) {
        if (m.Msg != WM_FRAMES_READY) continue;
        if (int(m.WParam) <= last) ++pass;
        last = int(m.WParam);
        for (int i = int(m.WParam) - int(m.LParam) + 1; i <= int(m.WParam); ++i) drawn[pass * 48 + i]++;
    }
    for (int i = 0; i < 96; ++i) EXPECT_EQ(drawn[i], 1) << i;
}

TEST(Replay, ChecksumErrorsAndUnknownTagsAreCountedOnce) {
    std::vector<uint8_t> bytes;
    int bad = 0, unknown = 0, both = 0, longSamples = 0, longSamplesBad = 0;
    for (int i = 0; i < 1000; ++i) {
        NewFrame f(i);
        f.Raw(0x0101, {1, 2, 3});
        if (i % 97 == 5) {
            f.BadChecksum();
            ++bad;
        } else if (i % 131 == 7) {
            f.Chunk4(0x8005, 0, 0, 0);
            ++unknown;
        } else if (i % 211 == 9) {
            f.Chunk4(0x8005, 0, 0, 0).BadChecksum();
            ++both;
        } else if (i % 151 == 11) {
            f.RawCount(0x0701, 300, {4, 5}); // runs past the frame
            ++longSamples;
        } else if (i % 173 == 13) {
            f.RawCount(0x0701, 300, {4, 5}).BadChecksum();
            ++longSamplesBad;
        }
        Append(bytes, f.Bytes());
    }
    const PlayResult r = Play(bytes);
    EXPECT_EQ(r.totals.Frames, 1000u);
    EXPECT_EQ(r.totals.ChecksumErrors, uint64_t(bad + unknown + both + longSamplesBad));
    EXPECT_EQ(r.totals.MalformedChunks, uint64_t(longSamples + longSamplesBad));
    int notRecorded = 0, forgiven = 0;
    for (const auto& f : r.frames) {
        notRecorded += !f.Record;
        forgiven += f.Result == kDecodeBadChecksum && f.Record;
    }
    // Unknown tags are not recorded, with a good checksum or a bad one: the record parser would
    // meet them as damage. Plain checksum errors are recorded and shown, and so are sample chunks
    // longer than their frame, which are no damage to it.
    EXPECT_EQ(notRecorded, unknown + both);
    EXPECT_EQ(forgiven, bad + longSamplesBad);
    // Without verification only the unknown tags count.
    const PlayResult unverified = Play(bytes, {.VerifyChecksum = false});
    EXPECT_EQ(unverified.totals.ChecksumErrors, uint64_t(unknown + both));
    EXPECT_EQ(unverified.totals.MalformedChunks, uint64_t(longSamples + longSamplesBad));
}

TEST(Replay, GarbageAndTruncatedFramesResynchronise) {
    std::mt19937 rng(3);
    std::vector<uint8_t> bytes;
    int dropped = 0;
    for (int i = 0; i < 3000; ++i) {
        auto f = NewFrame(i).Raw(0x0101, {1, 2, 3, 4, 5, 6}).Bytes();
        if (i > 300 && i % 400 == 0) {
            f.resize(f.size() / 2); // the target was cut off mid-frame
            ++dropped;
        }
        Append(bytes, f);
        if (i % 250 == 17)
            for (int g = 0; g < 37; ++g) bytes.push_back(uint8_t(rng() | 1)); // odd bytes: never a marker
    }
    const PlayResult r = Play(bytes);
    EXPECT_EQ(r.totals.Frames, uint64_t(3000 - dropped));
    EXPECT_EQ(r.totals.ChecksumErrors, 0u);
    // Every cut frame leaves a gap in the numbers that is reported.
    EXPECT_EQ(Count(r, WM_FRAME_REPORT, kReportInconsistent), dropped);
    EXPECT_EQ(r.totals.Inconsistent, uint64_t(dropped));
}

TEST(Replay, FrameCutShortAnywhereCostsOnlyItself) {
    // The next frame can begin right behind the first byte of the cut one or in its last bytes,
    // where its marker and length word run past the cut frame's stated length. Delivered whole
    // or a few bytes per read (so the bytes behind the frame come late), the cut frame is dropped
    // without a checksum error and every other frame is taken. (A stump of 8 to 13 bytes reads
    // its length word from the next frame's marker and claims about 60 KB: enough frames follow.)
    const auto frame = NewFrame(0).Raw(0x0101, {1, 2, 3, 4, 5, 6, 7, 8}).Bytes();
    for (size_t kept :
         {size_t(1), size_t(8), size_t(16), frame.size() / 2, frame.size() - 18, frame.size() - 17,
          frame.size() - 14, frame.size() - 9, frame.size() - 8, frame.size() - 2, frame.size() - 1}) {
        std::vector<uint8_t> bytes;
        for (int i = 0; i < 2000; ++i) {
            auto f = NewFrame(i).Raw(0x0101, {1, 2, 3, 4, 5, 6, 7, 8}).Bytes();
            if (i == 300) f.resize(kept);
            Append(bytes, f);
        }
        for (uint32_t maxRead : {0xFFFFFFFFu, 5u}) {
            SCOPED_TRACE("kept " + std::to_string(kept) + " of " + std::to_string(frame.size()) +
                         ", reads of " + std::to_string(maxRead));
            const PlayResult r = Play(bytes, {}, maxRead);
            EXPECT_EQ(r.totals.Frames, 1999u);
            EXPECT_EQ(r.totals.ChecksumErrors, 0u);
            EXPECT_EQ(r.totals.Inconsistent, 1u);
            ASSERT_EQ(r.frames.size(), 1999u);
            EXPECT_EQ(r.frames[300].FrameNum, 301);
        }
    }
}

TEST(Replay, DamagedLastFrameEndingLikeAMarkerIsStillTaken) {
    // Nothing follows to tell whether the frame's end starts another one: at the end of the
    // stream it is taken, with its checksum error.
    std::vector<uint8_t> bytes = NewStream(300, false);
    auto last = NewFrame(300).Raw(0x0101, {1, 2, 3}).Bytes();
    last[last.size() - 2] = 0xFF; // the checksum word reads like the start of a marker
    last[last.size() - 1] = 0xFF;
    Append(bytes, last);
    const PlayResult r = Play(bytes);
    EXPECT_EQ(r.totals.Frames, 301u);
    EXPECT_EQ(r.totals.ChecksumErrors, 1u);
}

TEST(Replay, FrameNumberJumpsAfterTheFirst251Frames) {
    std::vector<uint8_t> bytes;
    uint32_t n = 0;
    for (int i = 0; i < 1200; ++i) {
        if (i == 100 || i == 400 || i == 700 || i == 1000) n += 5; // skipped frames
        Append(bytes, NewFrame(n++).Raw(0x0101, {1}).Bytes());
    }
    const PlayResult r = Play(bytes);
    EXPECT_EQ(Count(r, WM_FRAME_REPORT, kReportInconsistent), 3); // the jump at 100 is in the quiet start
    EXPECT_EQ(r.totals.Inconsistent, 3u);                         // far apart, each counted
    EXPECT_EQ(r.totals.Reconnects, 0u);
}

TEST(Replay, FourthCloseInconsistentFrameReconnectsAndFramesFlowAgain) {
    std::vector<uint8_t> bytes;
    uint32_t n = 0;
    for (int i = 0; i < 1500; ++i) {
        if (i >= 400 && i < 440 && i % 10 == 0) n += 2; // four jumps ten frames apart
        Append(bytes, NewFrame(n++).Raw(0x0101, {1, 2}).Bytes());
    }
    const PlayResult r = Play(bytes);
    EXPECT_EQ(r.totals.Reconnects, 1u);
    EXPECT_EQ(r.totals.Inconsistent, 4u);
    EXPECT_GT(r.totals.Frames, 1400u); // the frames after the reconnect are taken again
    EXPECT_LT(r.totals.Frames, 1500u);

    const PlayResult off = Play(bytes, {.InconsistFramesThresh = 0});
    EXPECT_EQ(off.totals.Reconnects, 0u);
    EXPECT_EQ(off.totals.Inconsistent, 4u);
    EXPECT_EQ(off.totals.Frames, 1500u);
}

TEST(Replay, ZeroLengthFrameDoesNotStopTheParser) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 500; ++i) {
        NewFrame f(i);
        f.Raw(0x0101, {1, 2, 3});
        if (i == 300) f.LengthWord(0);
        if (i == 350) f.LengthWord(2);
        if (i == 351) f.LengthWord(41);
        Append(bytes, f.Bytes());
    }
    const PlayResult r = Play(bytes);
    EXPECT_EQ(r.totals.Frames, 497u);
    EXPECT_EQ(r.totals.Inconsistent, 2u); // two gaps in the numbers
}

TEST(Replay, StreamWithoutAnyMarkerReportsLostSync) {
    std::vector<uint8_t> bytes(200000, 0x55);
    auto tail = NewStream(300, false);
    Append(bytes, tail);
    const PlayResult r = Play(bytes);
    EXPECT_EQ(r.totals.Frames, 300u);
    EXPECT_GE(r.totals.LostSync, 1u);
}

} // namespace vintrel
