// New-protocol records parsed into WAV files, read back by Python's wave module.
#include "RecordTestSupport.h"
#include "stream/FrameLayout.h"
#include "support/FrameBuilder.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vintrel {

using namespace test;
using sim::SimChannel;

namespace {

sim::StreamConfig NewConfig(DataStreamFormat f = DataStreamFormat::Ksps8Ms4, uint64_t seed = 3) {
    sim::StreamConfig c;
    c.protocol = sim::Protocol::New;
    c.format = f;
    c.seed = seed;
    return c;
}

const std::pair<const char*, SimChannel> kRawFiles[] = {{"Raw_TXIN1", SimChannel::Tx1In},
                                                        {"Raw_TXIN2", SimChannel::Tx2In},
                                                        {"Raw_RXIN1", SimChannel::RxIn},
                                                        {"Raw_TXOUT1", SimChannel::TxOut},
                                                        {"Raw_RXOUT1", SimChannel::RxOut}};

// One block per frame: the value repeated over the frame's samples.
std::vector<int16_t> Blocks(const std::vector<int16_t>& values, int blockSamples) {
    std::vector<int16_t> out;
    for (int16_t v : values) out.insert(out.end(), size_t(blockSamples), v);
    return out;
}

// Frame n of the hand-made records: TX1in and RXout samples that tell the frame apart.
NewFrame Hand(uint32_t n) {
    std::vector<int16_t> tx(32), rx(32);
    for (int i = 0; i < 32; ++i) {
        tx[size_t(i)] = int16_t(n * 7 + i);
        rx[size_t(i)] = int16_t(-int(n) - i);
    }
    NewFrame f(n);
    f.Mips(100, 50).Raw(0x0101, tx).Raw(0x0701, rx);
    return f;
}

std::vector<uint8_t> HandRecord(uint32_t frames,
                                const std::function<void(uint32_t, std::vector<uint8_t>&)>& each) {
    std::vector<uint8_t> out;
    for (uint32_t n = 0; n < frames; ++n) each(n, out);
    return out;
}

} // namespace

TEST(NewProtocolParse, CleanRecordGivesOneFilePerTagWithTheSimulatorsValues) {
    const SimRecord rec = MakeSimRecord(NewConfig(), 300);
    ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
    rig.request.Settings.ShowFiles = true;
    const ParseOutcome o = rig.Parse(rec.bytes);
    EXPECT_EQ(o.Portion, 1);
    EXPECT_EQ(o.Frames, 300);
    EXPECT_EQ(o.Status, " 1 consistent fragment(s), total 300valid frames (1 sec) recorded");
    EXPECT_EQ(rig.sink.Status(), o.Status);
    EXPECT_FALSE(o.ShowDiagPanel);
    EXPECT_TRUE(o.OpenBrowser); // 300 frames are more than one second
    EXPECT_EQ(o.Wildcard, rig.dir.File("rec-*.*"));
    EXPECT_TRUE(rig.questions.damage.empty());

    const std::vector<std::string> expected = {
        "AGCG_RXOUT1", "AGCG_TXOUT1", "Ampl_RXIN1", "Ampl_RXOUT1", "Ampl_TXIN1", "Ampl_TXIN2",
        "Ampl_TXOUT1", "MIPS",        "ND_RX1",     "ND_TX1",      "Raw_RXIN1",  "Raw_RXOUT1",
        "Raw_TXIN1",   "Raw_TXIN2",   "Raw_TXOUT1", "VAD_RX1",     "VAD_TX1"};
    EXPECT_EQ(rig.WavNames(), expected);
    EXPECT_EQ(o.WavFiles.size(), expected.size());
    for (const std::string& name : expected) {
        const WavContent w = rig.Wav(name);
        ASSERT_TRUE(w.ok) << name << ": " << w.error;
        EXPECT_EQ(w.channels, 1);
        EXPECT_EQ(w.sampleWidth, 2);
        EXPECT_EQ(w.rate, 8000);
        EXPECT_EQ(w.frames, 300 * 32) << name;
    }
    for (const auto& [name, ch] : kRawFiles)
        EXPECT_EQ(rig.Wav(name).samples, ChannelSamples(rec, ch, 0, 300)) << name;

    std::vector<int16_t> mips, ndTx, vadRx, peak;
    for (size_t i = 0; i < 300; ++i) {
        const auto& d = rec.diagnostics[i];
        mips.push_back(int16_t(d.mipsCurrent * 32767 / d.mipsMax));
        ndTx.push_back(d.ndTx);
        vadRx.push_back(d.vadRx);
        int p = 0;
        for (int16_t s : rec.samples[i][size_t(SimChannel::Tx1In)]) p = std::max(p, std::abs(int(s)));
        peak.push_back(int16_t(p));
    }
    EXPECT_EQ(rig.Wav("MIPS").samples, Blocks(mips, 32));
    EXPECT_EQ(rig.Wav("ND_TX1").samples, Blocks(ndTx, 32));
    EXPECT_EQ(rig.Wav("VAD_RX1").samples, Blocks(vadRx, 32));
    EXPECT_EQ(rig.Wav("Ampl_TXIN1").samples, Blocks(peak, 32));
}

TEST(NewProtocolParse, HeaderCarriesTheFormatsRateAndTheFileSizes) {
    const SimRecord rec = MakeSimRecord(NewConfig(DataStreamFormat::Ksps16Ms4), 400);
    ParseRig rig(1, DataStreamFormat::Ksps16Ms4);
    rig.Parse(rec.bytes);
    const std::vector<uint8_t> b = ReadBytes(rig.dir.File("rec-Raw_TXIN1.wav"));
    ASSERT_EQ(b.size(), 44u + 400 * 64 * 2);
    auto u32 = [&](size_t at) {
        return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
               uint32_t(b[at + 3]) << 24;
    };
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(u32(4), b.size() - 8);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u32(24), 16000u);
    EXPECT_EQ(u32(28), 32000u);
    EXPECT_EQ(u32(40), b.size() - 44);
    EXPECT_EQ(rig.Wav("Raw_TXIN1").rate, 16000);

    // A format with shorter blocks chosen by mistake: the frames' own sample counts set every
    // file's block, parameter files included, from the first frame on.
    ParseRig wrong(1, DataStreamFormat::Ksps8Ms4);
    wrong.Parse(rec.bytes);
    for (const std::string& name : wrong.WavNames()) EXPECT_EQ(wrong.Wav(name).frames, 400 * 64) << name;
}

TEST(NewProtocolParse, FrameNumberJumpsAreFilledWithTheMarkerOrTheMissingFramesSilence) {
    sim::StreamConfig c = NewConfig();
    c.damage.skipFrameEvery = 400; // frames 400 and 800 (counted from 1) are not sent
    const SimRecord rec = MakeSimRecord(c, 1000);
    for (GapFill mode : {GapFill::Marker, GapFill::Exact}) {
        ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
        rig.request.Settings.Gaps = mode;
        const ParseOutcome o = rig.Parse(rec.bytes);
        EXPECT_EQ(o.Portion, 3);
        EXPECT_EQ(o.Frames, 998);
        EXPECT_TRUE(o.ShowDiagPanel);
        EXPECT_EQ(o.Status, " 3 consistent fragment(s), total 998valid frames (4 sec) recorded");

        const size_t gap = (mode == GapFill::Marker ? 250 : 1) * 32;
        for (const auto& [name, ch] : kRawFiles) {
            const std::vector<int16_t> s = rig.Wav(name).samples;
            ASSERT_EQ(s.size(), 998 * 32 + 2 * gap) << name;
            EXPECT_EQ(Slice(s, 0, 399 * 32), ChannelSamples(rec, ch, 0, 399)) << name;
            EXPECT_TRUE(AllEqual(Slice(s, 399 * 32, gap), 0)) << name;
            EXPECT_EQ(Slice(s, 399 * 32 + gap, 399 * 32), ChannelSamples(rec, ch, 400, 399)) << name;
            EXPECT_TRUE(AllEqual(Slice(s, 798 * 32 + gap, gap), 0)) << name;
            EXPECT_EQ(Slice(s, 798 * 32 + 2 * gap, 200 * 32), ChannelSamples(rec, ch, 800, 200)) << name;
        }
        for (const std::string& name : rig.WavNames())
            EXPECT_EQ(rig.Wav(name).frames, long(998 * 32 + 2 * gap)) << name;
        const std::vector<std::string> lines = {
            "Gap: frames 399 to 399 missing (1 frames), " + std::to_string(gap) +
                " samples of silence at sample " + std::to_string(399 * 32),
            "Gap: frames 799 to 799 missing (1 frames), " + std::to_string(gap) +
                " samples of silence at sample " + std::to_string(798 * 32 + gap)};
        EXPECT_EQ(o.Notes, lines);
        EXPECT_EQ(o.GapsFile, rig.dir.File("rec-gaps.txt"));
        const std::vector<uint8_t> text = ReadBytes(o.GapsFile);
        EXPECT_EQ(std::string(text.begin(), text.end()), lines[0] + "\r\n" + lines[1] + "\r\n");
    }
}

TEST(NewProtocolParse, ExactFillFollowsTheNumbersUpToItsLimitAndJumpsBackGetTheMarker) {
    // Frames 0-299, 310-359, then 340-379: a gap of ten frames and a jump back.
    std::vector<uint8_t> bytes;
    for (uint32_t n = 0; n < 300; ++n) Append(bytes, Hand(n).Bytes());
    for (uint32_t n = 310; n < 360; ++n) Append(bytes, Hand(n).Bytes());
    for (uint32_t n = 340; n < 380; ++n) Append(bytes, Hand(n).Bytes());
    struct Case {
        GapFill mode;
        uint64_t cap;
        size_t gapBlocks;
        const char* cut;
    };
    for (const Case& c : {Case{GapFill::Marker, 0, 250, ""}, Case{GapFill::Exact, 0, 10, ""},
                          Case{GapFill::Exact, 4, 4, " (cut to the longest fill)"}}) {
        ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
        rig.request.Settings.Gaps = c.mode;
        rig.request.MaxGapFrames = c.cap;
        const ParseOutcome o = rig.Parse(bytes);
        EXPECT_EQ(o.Portion, 3);
        const size_t jumpAt = (300 + c.gapBlocks + 50) * 32;
        EXPECT_EQ(o.Notes,
                  (std::vector<std::string>{
                      "Gap: frames 300 to 309 missing (10 frames), " + std::to_string(c.gapBlocks * 32) +
                          " samples of silence at sample 9600" + c.cut,
                      "Jump: frame 340 follows frame 359, 8000 samples of silence at sample " +
                          std::to_string(jumpAt)}));
        const std::vector<int16_t> tx = rig.Wav("Raw_TXIN1").samples;
        ASSERT_EQ(tx.size(), jumpAt + 250 * 32 + 40 * 32);
        EXPECT_EQ(rig.Wav("MIPS").samples.size(), tx.size());
        EXPECT_EQ(tx[299 * 32], int16_t(299 * 7));
        EXPECT_TRUE(AllEqual(Slice(tx, 300 * 32, c.gapBlocks * 32), 0));
        EXPECT_EQ(tx[(300 + c.gapBlocks) * 32], int16_t(310 * 7));
        EXPECT_EQ(tx[jumpAt + 250 * 32], int16_t(340 * 7));
    }
}

TEST(NewProtocolParse, FrameWithoutAChannelsChunkGetsAZeroBlockInItsFile) {
    const auto bytes = HandRecord(300, [](uint32_t n, std::vector<uint8_t>& out) {
        if (n != 280) return Append(out, Hand(n).Bytes());
        std::vector<int16_t> tx(32, 5);
        Append(out, NewFrame(n).Mips(100, 50).Raw(0x0101, tx).Bytes());
    });
    ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
    const ParseOutcome o = rig.Parse(bytes);
    EXPECT_EQ(o.Portion, 1);
    EXPECT_EQ(rig.WavNames(), (std::vector<std::string>{"MIPS", "Raw_RXOUT1", "Raw_TXIN1"}));
    const auto rx = rig.Wav("Raw_RXOUT1").samples, tx = rig.Wav("Raw_TXIN1").samples;
    ASSERT_EQ(rx.size(), 300u * 32);
    ASSERT_EQ(tx.size(), 300u * 32);
    EXPECT_TRUE(AllEqual(Slice(rx, 280 * 32, 32), 0));
    EXPECT_EQ(rx[281 * 32], -281);
    EXPECT_EQ(tx[280 * 32], 5);
    EXPECT_TRUE(AllEqual(rig.Wav("MIPS").samples, int16_t(50 * 32767 / 100)));
}

TEST(NewProtocolParse, ChecksumErrorsAreCountedWhenVerifiedAndTheirDataKept) {
    sim::StreamConfig c = NewConfig();
    c.damage.badChecksumEvery = 50;
    const SimRecord rec = MakeSimRecord(c, 600);
    for (bool verify : {true, false}) {
        ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
        rig.request.VerifyChecksum = verify;
        const ParseOutcome o = rig.Parse(rec.bytes);
        EXPECT_EQ(o.badcs, verify ? 12 : 0);
        EXPECT_EQ(o.Portion, 1);
        EXPECT_EQ(o.ShowDiagPanel, verify);
        EXPECT_EQ(rig.Wav("Raw_RXOUT1").samples, ChannelSamples(rec, SimChannel::RxOut, 0, 600));
    }
}

TEST(NewProtocolParse, RecordsTooShortOrWithoutMarkersHaveAWrongStructure) {
    const SimRecord rec = MakeSimRecord(NewConfig(), 251);
    const size_t frameBytes = rec.bytes.size() / 251;
    {
        ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
        const ParseOutcome o =
            rig.Parse(std::vector<uint8_t>(rec.bytes.begin(), rec.bytes.end() - long(frameBytes)));
        EXPECT_TRUE(o.WrongStructure);
        ASSERT_EQ(rig.questions.errors.size(), 1u);
        EXPECT_EQ(rig.questions.errors[0], "Can't parse recorded file " + rig.dir.File("in.$$$") +
                                               " : wrong file structure.\nCheck protocol and Sampling Rate");
        EXPECT_EQ(rig.questions.captions[0], "Sondrel");
        EXPECT_TRUE(rig.WavNames().empty());
    }
    {
        ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
        EXPECT_EQ(rig.Parse(rec.bytes).Frames, 251); // one frame after the first second is enough
    }
    {
        ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
        std::vector<uint8_t> noise(100000);
        for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 37 % 200);
        EXPECT_TRUE(rig.Parse(noise).WrongStructure);
        EXPECT_TRUE(rig.Parse({}).WrongStructure); // an empty raw record
        EXPECT_TRUE(rig.WavNames().empty());
    }
    {
        ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
        const ParseOutcome o = rig.parser.ParseRecordedAudio(rig.dir.File("missing.$$$"), rig.request);
        EXPECT_FALSE(o.Opened);
        ASSERT_EQ(rig.questions.errors.size(), 1u);
        EXPECT_EQ(rig.questions.errors[0], "Can't open audio record file\n" + rig.dir.File("missing.$$$") +
                                               ": No such file or directory");
    }
    {
        // A base name whose folder is missing: that folder is named, no file is said to be in use.
        ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
        rig.request.Settings.FileNameBase = "a/b";
        rig.Parse(MakeSimRecord(NewConfig(), 300).bytes);
        ASSERT_FALSE(rig.questions.errors.empty());
        const std::string& e = rig.questions.errors[0];
        EXPECT_EQ(e.rfind("Can't open '" + rig.dir.File("a/b"), 0), 0u) << e;
        EXPECT_EQ(e.substr(e.find("' file\n")),
                  "' file\nfolder " + rig.dir.File("a") + ": No such file or directory");
    }
}

TEST(NewProtocolParse, DamageIsAskedAboutAndSkippedAndAbortEndsTheParse) {
    const SimRecord rec = MakeSimRecord(NewConfig(), 600);
    const size_t frameBytes = rec.bytes.size() / 600;
    // 40 bytes of noise after frames 400 and 500.
    std::vector<uint8_t> damaged;
    for (size_t n = 0; n < 600; ++n) {
        damaged.insert(damaged.end(), rec.bytes.begin() + long(n * frameBytes),
                       rec.bytes.begin() + long((n + 1) * frameBytes));
        if (n == 400 || n == 500) damaged.insert(damaged.end(), 40, uint8_t(0x55));
    }
    for (DamageAnswer first : {DamageAnswer::Retry, DamageAnswer::Ignore}) {
        ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
        rig.questions.answers = {first, first};
        const ParseOutcome o = rig.Parse(damaged);
        ASSERT_EQ(rig.questions.damage.size(), first == DamageAnswer::Retry ? 2u : 1u);
        EXPECT_EQ(rig.questions.damage[0],
                  "Temp file is corrupted: wrong frame format : frame 400. Continue?");
        EXPECT_EQ(rig.questions.captions[0], "Sondrel offline parser");
        // The noise is skipped: every frame is there, in one fragment.
        EXPECT_EQ(o.Frames, 600);
        EXPECT_EQ(o.Portion, 1);
        EXPECT_EQ(rig.Wav("Raw_TXIN1").samples, ChannelSamples(rec, SimChannel::Tx1In, 0, 600));
    }
    ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
    rig.questions.answers = {DamageAnswer::Abort};
    const ParseOutcome o = rig.Parse(damaged);
    EXPECT_TRUE(o.Aborted);
    EXPECT_EQ(rig.questions.damage.size(), 1u);
    EXPECT_EQ(o.Frames, 401); // what came before the damage stays
    EXPECT_EQ(o.Portion, 1);
    EXPECT_EQ(rig.Wav("Raw_TXIN1").samples, ChannelSamples(rec, SimChannel::Tx1In, 0, 401));

    // A tag no frame may carry, in the first frame: ABORT leaves nothing, and the status says so.
    ParseRig none(1, DataStreamFormat::Ksps8Ms4);
    none.questions.answers = {DamageAnswer::Abort};
    const ParseOutcome n = none.Parse(HandRecord(300, [](uint32_t k, std::vector<uint8_t>& out) {
        Append(out, k == 0 ? NewFrame(0).Chunk4(0x0103, 1, 2, 3).Bytes() : Hand(k).Bytes());
    }));
    EXPECT_EQ(
        none.questions.damage,
        std::vector<std::string>{"Temp file is corrupted: inconsistent frequency : frame 0. Continue?"});
    EXPECT_TRUE(none.WavNames().empty());
    EXPECT_TRUE(n.Failed());
    EXPECT_EQ(n.Status,
              " 0 consistent fragment(s), total 0valid frames (0 sec) recorded; no WAV file was written");
}

TEST(NewProtocolParse, ChunksOutsideTheChannelTableAreSteppedOverAndNamed) {
    ParseRig plain(1, DataStreamFormat::Ksps8Ms4);
    plain.Parse(HandRecord(600, [](uint32_t n, std::vector<uint8_t>& out) { Append(out, Hand(n).Bytes()); }));
    const std::vector<int16_t> rx9(32, 9);
    struct Case {
        const char* what;
        std::function<NewFrame(uint32_t)> frame;
        std::vector<std::string> notes;
    };
    const std::string rxin2 = "Raw_RXIN2 from frame 400 not written: not in the record's channel table";
    const Case cases[] = {
        // An unnamed tag ends the frame's chunks, as the live decoder takes it: what follows it is
        // not read as chunks.
        {"0x2300 last",
         [](uint32_t n) {
             return Hand(n).Chunk4(0x2300, 0xFFFF, 0x0101, 7).Words({0x0101, 3});
         },
         {}},
        // A channel that appears after the frame the table was made from.
        {"late channel first",
         [&](uint32_t n) {
             if (n < 400) return Hand(n);
             std::vector<int16_t> tx(32), rx(32);
             for (int i = 0; i < 32; ++i)
                 tx[size_t(i)] = int16_t(n * 7 + i), rx[size_t(i)] = int16_t(-int(n) - i);
             NewFrame f(n);
             f.Raw(0x0502, rx9).Mips(100, 50).Raw(0x0101, tx).Raw(0x0701, rx);
             return f;
         },
         {rxin2}},
        {"late channel last",
         [&](uint32_t n) { return n < 400 ? Hand(n) : Hand(n).Raw(0x0502, rx9); },
         {rxin2}},
        {"channel and diagnostic",
         [&](uint32_t n) { return n < 400 ? Hand(n) : Hand(n).Raw(0x0502, rx9).Diag(0x1101, 4); },
         {rxin2, "ND_TX1 from frame 400 not written: not in the record's channel table"}},
    };
    for (const Case& c : cases) {
        ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
        const ParseOutcome o = rig.Parse(
            HandRecord(600, [&](uint32_t n, std::vector<uint8_t>& out) { Append(out, c.frame(n).Bytes()); }));
        EXPECT_TRUE(rig.questions.damage.empty()) << c.what;
        EXPECT_EQ(o.Frames, 600) << c.what;
        EXPECT_EQ(o.Notes, c.notes) << c.what;
        EXPECT_EQ(rig.WavNames(), plain.WavNames()) << c.what;
        for (const std::string& name : plain.WavNames())
            EXPECT_EQ(rig.Wav(name).samples, plain.Wav(name).samples) << c.what << " " << name;
    }
}

TEST(NewProtocolParse, CutAndOverlongFramesKeepEveryFileAligned) {
    auto frames = [](uint32_t count, const std::function<void(uint32_t, std::vector<uint8_t>&)>& each) {
        return HandRecord(count, each);
    };
    // A frame cut short by the next one is left out whole: the next frame's marker is no data.
    {
        ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
        const ParseOutcome o = rig.Parse(frames(400, [](uint32_t n, std::vector<uint8_t>& out) {
            std::vector<uint8_t> b = Hand(n).Bytes();
            if (n == 350) b.resize(b.size() - 20);
            Append(out, b);
        }));
        EXPECT_EQ(
            rig.questions.damage,
            std::vector<std::string>{"Temp file is corrupted: wrong frame format : frame 350. Continue?"});
        EXPECT_EQ(o.Frames, 399);
        const auto rx = rig.Wav("Raw_RXOUT1").samples;
        ASSERT_EQ(rx.size(), 399u * 32);
        EXPECT_EQ(rx[349 * 32 + 31], -349 - 31);
        EXPECT_EQ(rx[350 * 32], -351);
        EXPECT_TRUE(AllEqual(rig.Wav("MIPS").samples, int16_t(50 * 32767 / 100)));
    }
    // A raw chunk that runs past its frame: the samples inside it, padded to the stated count.
    {
        ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
        const ParseOutcome o = rig.Parse(frames(400, [](uint32_t n, std::vector<uint8_t>& out) {
            if (n != 350) return Append(out, Hand(n).Bytes());
            Append(out, NewFrame(n)
                            .Mips(100, 50)
                            .Raw(0x0101, std::vector<int16_t>(32, 5))
                            .RawCount(0x0701, 32, std::vector<int16_t>(20, 6))
                            .Bytes());
        }));
        EXPECT_TRUE(rig.questions.damage.empty());
        EXPECT_EQ(o.Frames, 400);
        const auto rx = rig.Wav("Raw_RXOUT1").samples;
        ASSERT_EQ(rx.size(), 400u * 32);
        EXPECT_TRUE(AllEqual(Slice(rx, 350 * 32, 20), 6));
        EXPECT_TRUE(AllEqual(Slice(rx, 350 * 32 + 20, 12), 0));
        EXPECT_EQ(rx[351 * 32], -351);
    }
    // The record ends 1 to 15 bytes into the next frame: the last whole frame is kept.
    for (size_t extra : {size_t(1), size_t(9), size_t(15)}) {
        ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
        std::vector<uint8_t> bytes =
            frames(300, [](uint32_t n, std::vector<uint8_t>& out) { Append(out, Hand(n).Bytes()); });
        const std::vector<uint8_t> next = Hand(300).Bytes();
        bytes.insert(bytes.end(), next.begin(), next.begin() + long(extra));
        const ParseOutcome o = rig.Parse(bytes);
        EXPECT_TRUE(rig.questions.damage.empty()) << extra;
        EXPECT_EQ(o.Frames, 300) << extra;
    }
}

TEST(NewProtocolParse, LengthWordsThatCannotBeFramesAreSkipped) {
    for (uint16_t bad : {uint16_t(0), uint16_t(10), uint16_t(17), uint16_t(61)}) {
        const auto bytes = HandRecord(320, [bad](uint32_t n, std::vector<uint8_t>& out) {
            NewFrame f = Hand(n);
            if (n == 300) f.LengthWord(bad);
            Append(out, f.Bytes());
        });
        ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
        rig.questions.answers = {DamageAnswer::Retry};
        const ParseOutcome o = rig.Parse(bytes);
        EXPECT_EQ(rig.questions.damage.size(), 1u) << bad;
        EXPECT_EQ(o.Frames, 319) << bad; // only the frame with the impossible length is lost
        EXPECT_EQ(rig.Wav("Raw_TXIN1").samples[300 * 32], int16_t(301 * 7)) << bad;
    }
}

TEST(NewProtocolParse, FilesStopAtTheirSizeLimitOnAFrameBoundary) {
    sim::StreamConfig c = NewConfig();
    c.damage.skipFrameEvery = 700;
    const SimRecord rec = MakeSimRecord(c, 1000);
    for (uint64_t limit : {uint64_t(64 * 500 + 10), uint64_t(64 * (699 + 100))}) {
        ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
        rig.request.MaxWavDataBytes = limit;
        const ParseOutcome o = rig.Parse(rec.bytes);
        EXPECT_TRUE(o.LimitReached);
        EXPECT_NE(o.Status.find("WAV files reached their 4 GiB size limit"), std::string::npos) << o.Status;
        const long expected = limit < 64 * 699 ? 500 * 32 : 699 * 32; // the gap that does not fit is left out
        for (const std::string& name : rig.WavNames()) {
            const WavContent w = rig.Wav(name);
            ASSERT_TRUE(w.ok) << name << w.error;
            EXPECT_EQ(w.frames, expected) << name;
        }
        EXPECT_EQ(rig.Wav("Raw_TXIN1").samples,
                  ChannelSamples(rec, SimChannel::Tx1In, 0, size_t(expected / 32)));
    }
}

namespace {
// Frames 0-399 numbered with 200-209 missing, RXout, TX1in and TX2in in that order (frame 100
// without TX2in), and the mono files the parse wrote for them.
std::vector<uint8_t> ThreeChannelRecord() {
    return HandRecord(400, [](uint32_t i, std::vector<uint8_t>& out) {
        const uint32_t n = i < 200 ? i : i + 10;
        NewFrame f(n);
        f.Raw(0x0701, Blocks({int16_t(-int(n))}, 32)).Mips(100, 50).Raw(0x0101, Blocks({int16_t(n * 7)}, 32));
        if (i != 100) f.Raw(0x0102, Blocks({int16_t(1000 + n)}, 32));
        Append(out, f.Bytes());
    });
}

// Sample k of channel c of `multi` is sample k of mono file c, for every sample of the files.
void ExpectInterleaved(const ParseRig& rig, const WavContent& multi, const std::vector<std::string>& mono) {
    ASSERT_TRUE(multi.ok) << multi.error;
    ASSERT_EQ(multi.channels, int(mono.size()));
    EXPECT_EQ(multi.sampleWidth, 2);
    EXPECT_EQ(multi.rate, 8000);
    for (size_t c = 0; c < mono.size(); ++c) {
        const WavContent w = rig.Wav(mono[c]);
        ASSERT_TRUE(w.ok) << w.error;
        ASSERT_EQ(multi.frames, w.frames) << mono[c];
        std::vector<int16_t> channel;
        for (size_t k = c; k < multi.samples.size(); k += mono.size()) channel.push_back(multi.samples[k]);
        EXPECT_EQ(channel, w.samples) << mono[c];
    }
}
} // namespace

TEST(NewProtocolParse, MultichannelFileInterleavesTheRawFilesInTableOrderWithTheirSilence) {
    for (GapFill gaps : {GapFill::Marker, GapFill::Exact}) {
        ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
        rig.request.Settings.WriteMultichannel = true;
        rig.request.Settings.Gaps = gaps;
        const ParseOutcome o = rig.Parse(ThreeChannelRecord());
        ASSERT_FALSE(o.Failed()) << o.Status;
        EXPECT_EQ(o.MultichannelFile, rig.dir.File("rec-multichannel.wav"));
        EXPECT_EQ(o.WavFiles.size(), 4u); // the mono files stay as they are, MIPS included
        const long silence = gaps == GapFill::Exact ? 10 * 32 : kNewGapBlocks * 32;
        EXPECT_EQ(rig.Wav("Raw_TXIN2").frames, 400 * 32 + silence);
        EXPECT_TRUE(AllEqual(Slice(rig.Wav("Raw_TXIN2").samples, 100 * 32, 32), 0));
        const WavContent multi = ReadWavSox(o.MultichannelFile);
        if (multi.error == "no sox") GTEST_SKIP() << "sox is not installed";
        ExpectInterleaved(rig, multi, {"Raw_RXOUT1", "Raw_TXIN1", "Raw_TXIN2"});

        // More than two channels: WAVE_FORMAT_EXTENSIBLE, 16 valid bits, no channel mask, PCM.
        const std::vector<uint8_t> b = ReadBytes(o.MultichannelFile);
        ASSERT_EQ(b.size(), 68 + size_t(multi.frames) * 6);
        auto u16 = [&](size_t at) { return unsigned(b[at]) | unsigned(b[at + 1]) << 8; };
        auto u32 = [&](size_t at) { return u16(at) | uint32_t(u16(at + 2)) << 16; };
        EXPECT_EQ(u32(4), b.size() - 8);
        EXPECT_EQ(u32(16), 40u);
        EXPECT_EQ(u16(20), 0xFFFEu);
        EXPECT_EQ(u16(32), 6u);  // block align
        EXPECT_EQ(u16(36), 22u); // extension size
        EXPECT_EQ(u16(38), 16u);
        EXPECT_EQ(u32(40), 0u);
        EXPECT_EQ(u32(44), 1u); // the PCM sub-format
        EXPECT_EQ(std::string(b.begin() + 60, b.begin() + 64), "data");
        EXPECT_EQ(u32(64), b.size() - 68);
    }
}

TEST(NewProtocolParse, MultichannelFileOfTwoChannelsIsPlainPcmAndStopsAtItsLimit) {
    ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
    rig.request.Settings.WriteMultichannel = true;
    const ParseOutcome o = rig.Parse(
        HandRecord(300, [](uint32_t n, std::vector<uint8_t>& out) { Append(out, Hand(n).Bytes()); }));
    ExpectInterleaved(rig, ReadWav(o.MultichannelFile), {"Raw_TXIN1", "Raw_RXOUT1"});
    EXPECT_FALSE(o.LimitReached);

    // The mono files fit, the multichannel file is full first: it stops on a whole sample frame.
    ParseRig small(1, DataStreamFormat::Ksps8Ms4);
    small.request.Settings.WriteMultichannel = true;
    small.request.MaxWavDataBytes = 300 * 64 + 3;
    const ParseOutcome full = small.Parse(
        HandRecord(300, [](uint32_t n, std::vector<uint8_t>& out) { Append(out, Hand(n).Bytes()); }));
    EXPECT_TRUE(full.LimitReached);
    EXPECT_NE(full.Status.find("WAV files reached their 4 GiB size limit"), std::string::npos) << full.Status;
    EXPECT_EQ(small.Wav("Raw_TXIN1").frames, 300 * 32);
    const WavContent multi = ReadWav(full.MultichannelFile);
    ASSERT_TRUE(multi.ok) << multi.error;
    EXPECT_EQ(multi.frames, (300 * 64 + 3) / 4);
    EXPECT_EQ(Slice(multi.samples, 0, 100), Slice(rig.Wav("multichannel").samples, 0, 100));
}

TEST(NewProtocolParse, ChannelsOfDifferentLengthsGetNoMultichannelFile) {
    ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
    rig.request.Settings.WriteMultichannel = true;
    const ParseOutcome o = rig.Parse(HandRecord(300, [](uint32_t n, std::vector<uint8_t>& out) {
        Append(out, NewFrame(n).Raw(0x0101, Blocks({1}, 64)).Raw(0x0701, Blocks({2}, 32)).Bytes());
    }));
    EXPECT_FALSE(o.Failed()) << o.Status;
    EXPECT_EQ(o.MultichannelRefused, "Stereo impossible: incompatible frequencies/sizes (Raw_TXIN1 64 "
                                     "samples, Raw_RXOUT1 32 samples per frame)");
    EXPECT_TRUE(o.MultichannelFile.empty());
    EXPECT_EQ(rig.WavNames(), (std::vector<std::string>{"Raw_RXOUT1", "Raw_TXIN1"}));
}

} // namespace vintrel
