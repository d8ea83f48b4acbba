#include "DecoderFixture.h"
#include "stream/Tags.h"
#include "support/FrameBuilder.h"

#include <gtest/gtest.h>

namespace vintrel {

using test::NewFrame;
using test::OldFrame;

class FrameDecoderTest : public ::testing::Test, public test::DecoderFixture {};

TEST_F(FrameDecoderTest, NewProtocolChannelsDiagnosticsAndLoad) {
    // Default charts: TXIN1, TXIN2, TXOUT1, RXIN1, RXOUT1.
    const auto bytes = NewFrame(7)
                           .Raw(0x0101, {5, -9, 3})
                           .Ampl(0x0901, 700)
                           .Raw(0x0701, {-4, 8, 2, 1})
                           .Diag(0x1101, 1)      // ND TX -> chart of TXIN1
                           .Diag(0x1401, 32000)  // VAD RX -> chart of RXOUT1
                           .Diag(0x1801, 0x2A00) // AGC RXOUT
                           .Mips(120, 66)
                           .Bytes();
    ASSERT_EQ(DecodeNew(bytes, 3), kDecodeOk);
    const auto& r = Rec(3);
    EXPECT_EQ(r.FrameLen[CHART11], 3);
    EXPECT_EQ(r.SampleIndInBuf[CHART11], 12);
    EXPECT_EQ(r.SamplesPtr[CHART11][1], -9);
    EXPECT_EQ(r.ChannMax[CHART11], kNotAvailable); // the amplitude goes to a chart showing Ampl_TXIN1 only
    EXPECT_EQ(r.FrameLen[CHART22], 4);
    EXPECT_EQ(r.NoiseDetect[CHART11], 1);
    EXPECT_EQ(r.VadStatus[CHART22], 32000);
    EXPECT_EQ(r.AGC[CHART22], 0x2A00);
    EXPECT_EQ(r.FrameLen[CHART12], 0);
    EXPECT_EQ(r.SamplesPtr[CHART12], nullptr);
    EXPECT_EQ(r.MIPS, 66);
    EXPECT_EQ(r.maxMIPS, 120);
    EXPECT_EQ(tags.CollectMIPS.load(), int16_t(0x8002));
    EXPECT_EQ(r.TXINmaxForDelay, 5);
    EXPECT_EQ(r.RXOUTmaxForDelay, 8);
    EXPECT_TRUE(dec.CanCalculateDelay.load());
    EXPECT_EQ(tags.CollectPlottableTags[TagSlot(0x0101)], 0x0101);
    EXPECT_EQ(tags.CollectPlottableTags[TagSlot(0x0901)], 0x0901);
    EXPECT_EQ(tags.CollectableTagsChanged.load(), 1);
}

TEST_F(FrameDecoderTest, AmplitudeGoesToTheChartShowingIt) {
    tags.ChartTag[2] = 0x0901;
    ASSERT_EQ(DecodeNew(NewFrame(1).Raw(0x0101, {5}).Ampl(0x0901, 700).Bytes()), kDecodeOk);
    EXPECT_EQ(Rec().ChannMax[CHART12], 700);
    EXPECT_EQ(Rec().FrameLen[CHART12], 0);
    EXPECT_EQ(Rec().FrameLen[CHART11], 1);
}

TEST_F(FrameDecoderTest, InvalidChannelTagEndsTheWalk) {
    const auto bytes = NewFrame(1).Raw(0x0103, {1, 2}).Raw(0x0101, {3}).Bytes();
    EXPECT_EQ(DecodeNew(bytes), kDecodeBadTag);
    for (int16_t t : tags.CollectPlottableTags) EXPECT_EQ(t, 0);
    for (int k = 1; k <= 5; ++k) EXPECT_EQ(Rec().FrameLen[k], 0);
    // The checksum is still checked and outranks the tag error.
    EXPECT_EQ(DecodeNew(NewFrame(1).Raw(0x0103, {1}).BadChecksum().Bytes()), kDecodeBadChecksum);
}

TEST_F(FrameDecoderTest, UnnamedTagRangeEndsTheWalkWithoutError) {
    const auto bytes =
        NewFrame(1).Raw(0x0101, {1}).Raw(0x0102, {2}).Chunk4(0x2300, 9, 9, 9).Raw(0x0601, {3}).Bytes();
    EXPECT_EQ(DecodeNew(bytes), kDecodeOk);
    EXPECT_EQ(Rec().FrameLen[CHART11], 1);
    EXPECT_EQ(Rec().FrameLen[CHART12], 1);
    EXPECT_EQ(Rec().FrameLen[CHART13], 0);
}

TEST_F(FrameDecoderTest, UnknownControlTagIsReported) {
    EXPECT_EQ(DecodeNew(NewFrame(1).Raw(0x0101, {1}).Chunk4(0x8005, 0, 0, 0).Bytes()), kDecodeBadTag);
    EXPECT_EQ(Rec().FrameLen[CHART11], 1);
}

TEST_F(FrameDecoderTest, DiagnosticForAnUnshownChannelIsSkipped) {
    const auto bytes = NewFrame(1).Diag(0x1104, 5).Raw(0x0101, {1, 2}).Diag(0x1101, 3).Bytes();
    EXPECT_EQ(DecodeNew(bytes), kDecodeOk);
    EXPECT_EQ(Rec().NoiseDetect[CHART11], 3);
    EXPECT_EQ(Rec().FrameLen[CHART11], 2);
}

TEST_F(FrameDecoderTest, ChecksumOnlyWhenVerifying) {
    const auto bad = NewFrame(1).Raw(0x0101, {1, 2}).BadChecksum().Bytes();
    EXPECT_EQ(DecodeNew(bad), kDecodeBadChecksum);
    settings.VerifyChecksum = false;
    EXPECT_EQ(DecodeNew(bad), kDecodeOk);
    EXPECT_EQ(Rec().FrameLen[CHART11], 2);
}

TEST_F(FrameDecoderTest, BigEndianFramesDecodeTheSame) {
    const auto f = NewFrame(0x12345).Raw(0x0101, {-300, 2}).Mips(100, 50);
    settings.BigEndian = true;
    ASSERT_EQ(DecodeNew(f.Bytes(true), 0, kRingSize - 5), kDecodeOk); // also split at the ring's end
    EXPECT_EQ(Rec().SamplesPtr[CHART11][0], -300);
    EXPECT_EQ(Rec().MIPS, 50);
    EXPECT_EQ(dec.Word(0, 4), 0x2345);
    EXPECT_EQ(dec.Word(0, 5), 0x0001);
}

TEST_F(FrameDecoderTest, SampleCountPastTheFrameIsBounded) {
    // Chunks that run into the checksum word, each behind one good sample of TXIN1. A raw-sample
    // chunk is kept with the samples that lie before the checksum word and counted as malformed;
    // the walk ends there. Any other chunk is damage and is not read.
    struct Case {
        const char* what;
        NewFrame frame;
        int result;
        bool malformed;
        int rxoutSamples;
    };
    const Case cases[] = {
        {"samples (the count says 500)", NewFrame(1).Raw(0x0101, {1}).RawCount(0x0701, 500, {7, 9, -2}),
         kDecodeOk, true, 3},
        {"samples with a chunk behind them",
         NewFrame(1).Raw(0x0101, {1}).RawCount(0x0701, 500, {7, 9, -2}).Mips(1, 2), kDecodeOk, true, 7},
        {"samples in a frame that fails its checksum",
         NewFrame(1).Raw(0x0101, {1}).RawCount(0x0701, 500, {7, 9, -2}).BadChecksum(), kDecodeBadChecksum,
         true, 3},
        {"samples of an unassigned tag", NewFrame(1).Raw(0x0101, {1}).RawCount(0x0001, 500, {7}),
         kDecodeBadTag, false, 0},
        {"amplitude", NewFrame(1).Raw(0x0101, {1}).Words({0x0901, 0}), kDecodeBadTag, false, 0},
        {"processor load", NewFrame(1).Raw(0x0101, {1}).Words({0x8002, 100}), kDecodeBadTag, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DecodeNew(c.frame.Bytes()), c.result);
        EXPECT_EQ(dec.LastFrameHadMalformedChunk(), c.malformed);
        EXPECT_EQ(dec.LastFrameHadBadTag(), !c.malformed);
        EXPECT_EQ(Rec().FrameLen[CHART11], 1);
        EXPECT_EQ(Rec().FrameLen[CHART22], c.rxoutSamples);
        EXPECT_EQ(Rec().MIPS, kNotAvailable);
        if (c.rxoutSamples > 0) {
            EXPECT_EQ(Rec().RXOUTmaxForDelay, 9);
        }
    }
    EXPECT_EQ(DecodeNew(NewFrame(2).Raw(0x0101, {1}).Bytes()), kDecodeOk);
    EXPECT_FALSE(dec.LastFrameHadMalformedChunk());
}

TEST_F(FrameDecoderTest, ProfileAssemblyCountsOnlyTheWordsLeft) {
    std::vector<uint16_t> words(100);
    for (int i = 0; i < 100; ++i) words[i] = uint16_t(i + 1);
    ASSERT_EQ(DecodeNew(NewFrame(1).Profile(0, 150, words).Bytes()), 0);
    EXPECT_EQ(dec.NewProtHeaderScarceData.ProfileWordsAlreadyRecorded, 100);
    ASSERT_EQ(DecodeNew(NewFrame(2).Profile(1, 50, words).Bytes()), 0);
    EXPECT_EQ(dec.CheckPsk.load(), 0);
    ASSERT_EQ(DecodeNew(NewFrame(3).Profile(2, 0, words).Bytes()), 0);
    EXPECT_EQ(dec.CheckPsk.load(), 2);
    EXPECT_EQ(dec.NewProtHeaderScarceData.FullProfileWords, 250);
    EXPECT_EQ(dec.LastPsk[0].load(), 1);
    EXPECT_EQ(dec.LastPsk[249].load(), 50);
    EXPECT_EQ(dec.ScarceDataCopy().FullProfileWords, 250);
    EXPECT_EQ(dec.NewProtHeaderScarceData.CurrentChunkNo, -1);
}

TEST_F(FrameDecoderTest, ProfileOutOfOrderRestarts) {
    // Ten-word chunks (ChunkNo, WordsLeftToSend) after the target information, each case from a
    // fresh start. After a restart
    // only a chunk 0 is taken: a profile is published only when collected from its chunk 0 on,
    // and in these cases never before their last chunk.
    struct Chunk {
        uint16_t no, left;
    };
    struct Case {
        const char* what;
        std::vector<Chunk> chunks;
        int published;  // FullProfileWords at the end; 0: no profile
        int collecting; // words collected towards the next one
    };
    const Case cases[] = {
        {"in order", {{0, 20}, {1, 10}, {2, 0}}, 30, 0},
        {"joined in the middle", {{3, 10}, {4, 0}}, 0, 0},
        {"joined in the middle, then a whole transmission",
         {{3, 10}, {4, 0}, {0, 20}, {1, 10}, {2, 0}},
         30,
         0},
        {"chunk 1 lost", {{0, 20}, {2, 0}}, 0, 0},
        {"chunk 1 lost, then chunk 0 again", {{0, 20}, {2, 0}, {0, 10}}, 0, 10},
        {"counts that disagree", {{0, 20}, {1, 15}}, 0, 0},
        {"a new transmission in the middle of one", {{0, 20}, {1, 10}, {0, 10}, {1, 0}}, 20, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dec.NewProtHeaderScarceDataInit();
        uint32_t n = 0;
        for (const Chunk& k : c.chunks) {
            EXPECT_EQ(dec.CheckPsk.load(), 0) << "before chunk " << n;
            std::vector<uint16_t> words(10);
            for (int j = 0; j < 10; ++j) words[j] = uint16_t(100 * k.no + j + 1);
            ASSERT_EQ(DecodeNew(NewFrame(n++).Info(0x0904, -3).Profile(k.no, k.left, words).Bytes()),
                      kDecodeOk);
        }
        // A restarted profile leaves the target information that every frame carries.
        EXPECT_EQ(dec.StatString(), "Platform: Kalimba, Profile ver: 9, Vexil revision: -3");
        EXPECT_EQ(dec.CheckPsk.load(), c.published ? 2 : 0);
        EXPECT_EQ(dec.NewProtHeaderScarceData.FullProfileWords, c.published);
        if (c.published) {
            EXPECT_EQ(dec.LastPsk[0].load(), 1); // the first word of chunk 0
            EXPECT_EQ(dec.LastPsk[c.published - 1].load(), 100 * c.chunks.back().no + 10);
        }
        EXPECT_EQ(dec.NewProtHeaderScarceData.ProfileWordsAlreadyRecorded, c.collecting);
    }
}

TEST_F(FrameDecoderTest, ProfileLongerThanTheTableIsRefused) {
    std::vector<uint16_t> words(300, 1);
    int left = 1200;
    for (int c = 0; c < 4; ++c) {
        left -= 300;
        DecodeNew(NewFrame(c).Profile(uint16_t(c), uint16_t(left), words).Bytes());
    }
    EXPECT_EQ(dec.CheckPsk.load(), 0);
    EXPECT_LE(dec.NewProtHeaderScarceData.ProfileWordsAlreadyRecorded, kPskTabWords);
    // A profile chunk whose length runs past the frame is not taken at all.
    EXPECT_EQ(DecodeNew(NewFrame(9).Profile(0, 0, {1, 2}, uint16_t(4000)).Bytes()), kDecodeBadTag);
    EXPECT_EQ(dec.CheckPsk.load(), 0);
}

TEST_F(FrameDecoderTest, TargetInformation) {
    DecodeNew(NewFrame(1).Info(0x0904, -3).Bytes());
    auto s = dec.ScarceDataCopy();
    EXPECT_EQ(s.PlatformID, "Kalimba");
    EXPECT_EQ(s.VexilprofileNum, "9");
    EXPECT_EQ(s.Vexilrevision, "-3");
    EXPECT_EQ(sink.Status(), "Platform: Kalimba, Profile ver: 9, Vexil revision: -3");
    EXPECT_EQ(sink.StatusKind(), StatKind::OnChange);
    // The same information again is not posted again: the status line changes once per change.
    const uint64_t posted = sink.StatusChanges();
    for (uint16_t n = 2; n < 10; ++n) DecodeNew(NewFrame(n).Info(0x0904, -3).Bytes());
    EXPECT_EQ(sink.StatusChanges(), posted);
    DecodeNew(NewFrame(2).Info(0x0A0C, 1).Bytes());
    EXPECT_EQ(sink.StatusChanges(), posted + 1);
    s = dec.ScarceDataCopy();
    EXPECT_EQ(s.PlatformID, "unknown (12)");
    EXPECT_EQ(s.VexilprofileNum, "10");
    dec.RequestScarceDataInit();
    DecodeNew(NewFrame(3).Raw(0x0101, {1}).Bytes());
    EXPECT_EQ(dec.ScarceDataCopy().PlatformID, "");
    EXPECT_EQ(dec.StatString(), "");
    // After the reset the same information is taken again but not posted again.
    DecodeNew(NewFrame(4).Info(0x0A0C, 1).Bytes());
    EXPECT_EQ(dec.ScarceDataCopy().PlatformID, "unknown (12)");
    EXPECT_EQ(sink.StatusChanges(), posted + 1);
}

TEST_F(FrameDecoderTest, OldProtocolFrame) {
    const auto bytes = OldFrame(0x0300, 32)
                           .Psk(0x5350)
                           .Key(0x5343, 77)  // CS
                           .Key(0x4C56, 12)  // VL
                           .Key(0x4655, 1)   // UF
                           .Key(0x544E, 500) // NT
                           .Key(0x524E, 600) // NR
                           .Channels(0x001F, 100)
                           .Bytes();
    ASSERT_EQ(DecodeOld(bytes, 31, 2), 0);
    const auto& r = Rec(2);
    EXPECT_EQ(dec.CheckPsk.load(), 1);
    EXPECT_EQ(dec.PskTab[0].load(), 0x5350);
    EXPECT_EQ(r.MIPS, 77);
    EXPECT_EQ(r.maxMIPS, 0);
    EXPECT_EQ(r.Volume, 12);
    EXPECT_EQ(r.UF, 1);
    EXPECT_EQ(r.NoiseDetect[CHART11], 500);
    EXPECT_EQ(r.NoiseDetect[CHART12], 500);
    EXPECT_EQ(r.NoiseDetect[CHART21], 600);
    EXPECT_EQ(tags.CollectMIPS.load(), int16_t(0x5343));
    // Blocks in mask-bit order: TXOUT, RXOUT, TXIN1, TXIN2, RXIN filled 100..104.
    EXPECT_EQ(r.SamplesPtr[CHART13][0], 100);
    EXPECT_EQ(r.SamplesPtr[CHART22][0], 101);
    EXPECT_EQ(r.SamplesPtr[CHART11][0], 102);
    EXPECT_EQ(r.SamplesPtr[CHART12][0], 103);
    EXPECT_EQ(r.SamplesPtr[CHART21][0], 104);
    EXPECT_EQ(r.SampleIndInBuf[CHART13], 32);
    EXPECT_EQ(r.RXOUTmaxForDelay, 101);
    EXPECT_EQ(r.TXINmaxForDelay, 102);
    EXPECT_EQ(tags.CollectPlottableTags[32], 0x0601);
    EXPECT_EQ(tags.CollectPlottableTags[40], 0x0501);

    // Mask 5: TXOUT then TXIN1.
    ASSERT_EQ(DecodeOld(OldFrame(1, 32).Channels(0x0005, 10).Bytes(), 5, 3), 0);
    EXPECT_EQ(Rec(3).SamplesPtr[CHART13][0], 10);
    EXPECT_EQ(Rec(3).SamplesPtr[CHART11][0], 11);
    EXPECT_EQ(Rec(3).FrameLen[CHART22], 0);
    EXPECT_FALSE(dec.CanCalculateDelay.load());
}

TEST_F(FrameDecoderTest, OldProtocolMaskWithBitFifteenStaysInsideTheFrame) {
    const auto bytes = OldFrame(1, 32).Channels(0x801F, 10).Bytes();
    ASSERT_EQ(DecodeOld(bytes, int16_t(0x801F), 0), 0);
    EXPECT_EQ(Rec().SamplesPtr[CHART21][0], 14);
    // A mask that claims more blocks than the frame holds takes only what is there.
    const auto shortFrame = OldFrame(1, 32).Channels(0x0001, 10).Bytes();
    ASSERT_EQ(DecodeOld(shortFrame, 31, 1), 0);
    EXPECT_EQ(Rec(1).FrameLen[CHART13], 32);
    EXPECT_EQ(Rec(1).FrameLen[CHART22], 0);
}

} // namespace vintrel
