// Old-protocol records parsed into WAV files, read back by Python's wave module.
#include "RecordTestSupport.h"
#include "stream/FrameLayout.h"
#include "support/FrameBuilder.h"

#include <gtest/gtest.h>

namespace vintrel {

using namespace test;
using sim::SimChannel;

namespace {

sim::StreamConfig OldConfig(uint32_t startCounter = 0) {
    sim::StreamConfig c;
    c.protocol = sim::Protocol::Old;
    c.format = DataStreamFormat::Ksps16Ms4; // 64 samples a block, 250 frames a second
    c.seed = 5;
    c.startCounter = startCounter;
    return c;
}

const std::pair<const char*, SimChannel> kRawFiles[] = {{"Raw_TXOUT1", SimChannel::TxOut},
                                                        {"Raw_RXOUT1", SimChannel::RxOut},
                                                        {"Raw_TXIN1", SimChannel::Tx1In},
                                                        {"Raw_TXIN2", SimChannel::Tx2In},
                                                        {"Raw_RXIN1", SimChannel::RxIn}};
const char* const kValueFiles[] = {"MIPS", "VOL", "ND_RX1", "ND_TX1", "UF"};

std::vector<int16_t> ValueBlocks(const SimRecord& r, const char* file, size_t first, size_t count) {
    std::vector<int16_t> out;
    for (size_t i = first; i < first + count; ++i) {
        const auto& d = r.diagnostics[i];
        const std::string f = file;
        const int16_t v = f == "MIPS"     ? d.mipsCurrent
                          : f == "VOL"    ? d.volume
                          : f == "ND_RX1" ? d.ndRx
                          : f == "ND_TX1" ? d.ndTx
                                          : d.underflow;
        out.insert(out.end(), 64, v);
    }
    return out;
}

// Frames [first, first + count) of the simulator's record, as the file of `name` holds them.
std::vector<int16_t> Expected(const SimRecord& r, const std::string& name, size_t first, size_t count) {
    for (const auto& [raw, ch] : kRawFiles)
        if (name == raw) return ChannelSamples(r, ch, first, count);
    return ValueBlocks(r, name.c_str(), first, count);
}

std::vector<uint8_t> FrameBytesOf(const SimRecord& r, size_t n) {
    const size_t size = r.bytes.size() / r.emitted.size();
    return std::vector<uint8_t>(r.bytes.begin() + long(n * size), r.bytes.begin() + long((n + 1) * size));
}

} // namespace

TEST(OldProtocolParse, CleanRecordGivesChannelAndHeaderValueFiles) {
    const SimRecord rec = MakeSimRecord(OldConfig(), 1000);
    ParseRig rig(0, DataStreamFormat::Ksps16Ms4);
    const ParseOutcome o = rig.Parse(rec.bytes);
    EXPECT_EQ(o.Status, " 1 consistent fragment(s), total 4 sec recorded");
    EXPECT_EQ(o.Frames, 1000);
    EXPECT_FALSE(o.ShowDiagPanel);
    EXPECT_EQ(rig.WavNames(),
              (std::vector<std::string>{"MIPS", "ND_RX1", "ND_TX1", "Raw_RXIN1", "Raw_RXOUT1", "Raw_TXIN1",
                                        "Raw_TXIN2", "Raw_TXOUT1", "UF", "VOL"}));
    for (const std::string& name : rig.WavNames()) {
        const WavContent w = rig.Wav(name);
        ASSERT_TRUE(w.ok) << name << ": " << w.error;
        EXPECT_EQ(w.rate, 16000);
        EXPECT_EQ(w.samples, Expected(rec, name, 0, 1000)) << name;
    }
}

TEST(OldProtocolParse, DiscontinuityWritesHalfASecondOrTheMissingFramesOfSilence) {
    sim::StreamConfig c = OldConfig();
    c.damage.skipFrameEvery = 300; // frames 300 and 600 (counted from 1) are missing
    const SimRecord rec = MakeSimRecord(c, 800);
    for (GapFill mode : {GapFill::Marker, GapFill::Exact}) {
        ParseRig rig(0, DataStreamFormat::Ksps16Ms4);
        rig.request.Settings.Gaps = mode;
        const ParseOutcome o = rig.Parse(rec.bytes);
        EXPECT_EQ(o.Portion, 3);
        EXPECT_EQ(o.Frames, 798); // the frame after a gap begins the next fragment
        EXPECT_TRUE(o.ShowDiagPanel);
        const size_t silence = (mode == GapFill::Marker ? 125 : 1) * 64; // round(250) div 2 frames
        for (const std::string& name : rig.WavNames()) {
            const std::vector<int16_t> s = rig.Wav(name).samples;
            const bool value = name.rfind("Raw_", 0) != 0;
            ASSERT_EQ(s.size(), 798 * 64 + 2 * silence) << name;
            EXPECT_EQ(Slice(s, 0, 299 * 64), Expected(rec, name, 0, 299)) << name;
            EXPECT_TRUE(AllEqual(Slice(s, 299 * 64, silence), value ? kNoValue : 0)) << name;
            EXPECT_EQ(Slice(s, 299 * 64 + silence, 299 * 64), Expected(rec, name, 300, 299)) << name;
            EXPECT_TRUE(AllEqual(Slice(s, 598 * 64 + silence, silence), value ? kNoValue : 0)) << name;
            EXPECT_EQ(Slice(s, 598 * 64 + 2 * silence, 200 * 64), Expected(rec, name, 600, 200)) << name;
        }
        ASSERT_EQ(o.Notes.size(), 2u);
        EXPECT_EQ(o.Notes[0], "Gap: frames 299 to 299 missing (1 frames), " + std::to_string(silence) +
                                  " samples of silence at sample " + std::to_string(299 * 64));
    }
}

TEST(OldProtocolParse, ChannelMaskChangeBeginsAFragmentAndKeepsItsFrame) {
    // Frames 0-299 with one mask, 300-599 with another; block of channel bit b holds 1000 b + n.
    auto record = [](int first, int second) {
        std::vector<uint8_t> bytes;
        for (uint16_t n = 0; n < 600; ++n) {
            const int mask = n < 300 ? first : second;
            OldFrame f(n, 64);
            f.Key(kKeyCS, n).Key(kKeyCH, uint16_t(mask));
            for (int b = 0; b < 5; ++b)
                if (mask & (1 << b)) f.NoMaskKey(1, int16_t(1000 * b + n));
            Append(bytes, f.Bytes());
        }
        return bytes;
    };
    const char* const kChannel[5] = {"Raw_TXOUT1", "Raw_RXOUT1", "Raw_TXIN1", "Raw_TXIN2", "Raw_RXIN1"};
    struct Case {
        int first, second;
        GapFill mode;
        size_t silentFrames;
        const char* notWritten;
    };
    for (const Case& c : {Case{0x0F, 0x1F, GapFill::Marker, 125, "Raw_RXIN1"},
                          Case{0x0F, 0x1F, GapFill::Exact, 0, "Raw_RXIN1"},
                          Case{0x1F, 0x0F, GapFill::Marker, 125, nullptr}}) {
        ParseRig rig(0, DataStreamFormat::Ksps16Ms4);
        rig.request.Settings.Gaps = c.mode;
        const ParseOutcome o = rig.Parse(record(c.first, c.second));
        EXPECT_EQ(o.Portion, 2);
        EXPECT_EQ(o.Frames, 600);
        std::vector<std::string> notes = {
            "Channel mask: frame 300 from 0x" + std::string(c.first == 0x0F ? "0F" : "1F") + " to 0x" +
            (c.second == 0x0F ? "0F" : "1F") + ", " + std::to_string(c.silentFrames * 64) +
            " samples of silence at sample 19200"};
        if (c.notWritten)
            notes.push_back(std::string(c.notWritten) +
                            " from frame 300 not written: not in the record's channel table");
        EXPECT_EQ(o.Notes, notes);
        const size_t total = (600 + c.silentFrames) * 64;
        for (int b = 0; b < 5; ++b) {
            if (!(c.first & (1 << b))) {
                EXPECT_FALSE(rig.Wav(kChannel[b]).ok) << kChannel[b]; // no file
                continue;
            }
            const std::vector<int16_t> s = rig.Wav(kChannel[b]).samples;
            ASSERT_EQ(s.size(), total) << kChannel[b];
            for (size_t n = 0; n < 600; ++n) {
                const size_t at = (n + (n >= 300 ? c.silentFrames : 0)) * 64;
                const bool present = ((n < 300 ? c.first : c.second) & (1 << b)) != 0;
                ASSERT_TRUE(AllEqual(Slice(s, at, 64), present ? int16_t(1000 * b + int(n)) : 0))
                    << kChannel[b] << " frame " << n;
            }
            EXPECT_TRUE(AllEqual(Slice(s, 300 * 64, c.silentFrames * 64), 0)) << kChannel[b];
        }
        EXPECT_EQ(rig.Wav("MIPS").samples.size(), total);
    }
}

TEST(OldProtocolParse, FrameCounterThatSpellsAKeyIsNoDiscontinuity) {
    // Counters 0x4843 ("CH") and 0x5343 ("CS") pass by; a key is only looked for from word 4 on.
    const SimRecord rec = MakeSimRecord(OldConfig(0x4800), 0x5400 - 0x4800);
    ParseRig rig(0, DataStreamFormat::Ksps16Ms4);
    const ParseOutcome o = rig.Parse(rec.bytes);
    EXPECT_EQ(o.Portion, 1);
    EXPECT_EQ(o.Frames, 0x5400 - 0x4800);
    EXPECT_EQ(rig.Wav("MIPS").samples, Expected(rec, "MIPS", 0, rec.emitted.size()));
}

TEST(OldProtocolParse, DamagedFramesAreAskedAboutUnlessTheRecordingWasDropped) {
    const SimRecord rec = MakeSimRecord(OldConfig(), 600);
    std::vector<uint8_t> damaged;
    for (size_t n = 0; n < 600; ++n) {
        Append(damaged, FrameBytesOf(rec, n));
        if (n == 299 || n == 449) damaged.insert(damaged.end(), 50, uint8_t(0x33));
    }
    const std::string text = "Temp file corrupted or fragmented, or format selection is wrong: frame "
                             "300\nPress IGNORE to continue "
                             "without further warning messages,\n      RETRY to continue with warning "
                             "messages,\n      ABORT to stop "
                             "parsing";
    struct Case {
        DamageAnswer answer;
        bool wasRecording;
        size_t asked;
        int64_t frames;
    };
    for (const Case& c :
         {Case{DamageAnswer::Retry, false, 2, 600}, Case{DamageAnswer::Ignore, false, 1, 600},
          Case{DamageAnswer::Retry, true, 0, 600}, Case{DamageAnswer::Abort, false, 1, 300}}) {
        ParseRig rig(0, DataStreamFormat::Ksps16Ms4);
        rig.request.WasRecording = c.wasRecording;
        rig.questions.otherwise = c.answer;
        const ParseOutcome o = rig.Parse(damaged);
        ASSERT_EQ(rig.questions.damage.size(), c.asked);
        if (c.asked) {
            EXPECT_EQ(rig.questions.damage[0], text);
            EXPECT_EQ(rig.questions.captions[0], "Sondrel parser");
        }
        EXPECT_EQ(o.Frames, c.frames);
        EXPECT_EQ(o.Aborted, c.answer == DamageAnswer::Abort);
        // Every frame around the noise is kept; the noise itself is half a second of silence.
        const std::vector<int16_t> s = rig.Wav("Raw_RXOUT1").samples;
        EXPECT_EQ(Slice(s, 0, 300 * 64), ChannelSamples(rec, SimChannel::RxOut, 0, 300));
        if (c.frames == 600) {
            EXPECT_EQ(Slice(s, 300 * 64 + 125 * 64, 150 * 64),
                      ChannelSamples(rec, SimChannel::RxOut, 300, 150));
        }
    }
}

TEST(OldProtocolParse, ShortRecords) {
    const SimRecord rec = MakeSimRecord(OldConfig(), 100);
    ParseRig rig(0, DataStreamFormat::Ksps16Ms4);
    // Under one second: the files are kept.
    const ParseOutcome o = rig.Parse(rec.bytes);
    EXPECT_EQ(o.Portion, 1);
    EXPECT_EQ(o.Frames, 100);
    EXPECT_EQ(rig.Wav("Raw_TXIN1").samples, ChannelSamples(rec, SimChannel::Tx1In, 0, 100));
    // Shorter than the 1536 bytes the tag scan reads: wrong structure.
    ParseRig tiny(0, DataStreamFormat::Ksps16Ms4);
    EXPECT_TRUE(tiny.Parse(std::vector<uint8_t>(rec.bytes.begin(), rec.bytes.begin() + 1535)).WrongStructure);
    EXPECT_TRUE(tiny.WavNames().empty());
}

} // namespace vintrel
