#include "stream/StreamFormat.h"
#include "stream/FormatCheck.h"
#include "stream/FrameLayout.h"
#include "stream/LiveFormatCheck.h"
#include "support/FrameBuilder.h"

#include <gtest/gtest.h>

namespace vintrel {

TEST(StreamFormat, DerivedValuesOfEveryFormat) {
    struct Row {
        DataStreamFormat f;
        int rate, chanLen, batch;
        float ms;
    };
    const Row rows[] = {
        {DataStreamFormat::Ksps8Ms4, 8000, 32, 12, 4.0f},
        {DataStreamFormat::Ksps16Ms2, 16000, 32, 24, 2.0f},
        {DataStreamFormat::Ksps16Ms4, 16000, 64, 12, 4.0f},
        {DataStreamFormat::Ksps16Ms16, 16000, 256, 3, 16.0f},
        {DataStreamFormat::Ksps8Ms16, 8000, 128, 3, 16.0f},
        {DataStreamFormat::Ksps24Ms1_33, 24000, 32, 24, 4.0f / 3},
        {DataStreamFormat::Ksps24Ms2_67, 24000, 64, 18, 8.0f / 3},
    };
    for (const Row& r : rows) {
        const StreamFormat s = GetStreamFormat(r.f);
        SCOPED_TRACE(FormatCaption(r.f));
        EXPECT_EQ(s.SamplingRateFromSettings, r.rate);
        EXPECT_EQ(s.ChannLenWords, r.chanLen);
        EXPECT_EQ(s.ChannSizeBytes, 2 * r.chanLen);
        EXPECT_EQ(s.BuffersToSendWithWinMsg, r.batch);
        EXPECT_FLOAT_EQ(s.MsPerFrame, r.ms);
        // Samples per frame period agree with the rate: the frame carries exactly ChannLenWords.
        EXPECT_NEAR(s.SamplingRateFromSettings * s.MsPerFrame / 1000.0, r.chanLen, 1e-3);
    }
    EXPECT_NEAR(GetStreamFormat(DataStreamFormat::Ksps24Ms1_33).FramesPerSec, 750.0, 0.01);
    EXPECT_NEAR(GetStreamFormat(DataStreamFormat::Ksps16Ms16).FramesPerSec, 62.5, 1e-6);
}

TEST(StreamFormat, NamesAndShortForms) {
    EXPECT_EQ(ParseFormatName("8 Ksps, 4 ms"), DataStreamFormat::Ksps8Ms4);
    EXPECT_EQ(ParseFormatName("24 Ksps, 1.33ms"), DataStreamFormat::Ksps24Ms1_33);
    EXPECT_EQ(ParseFormatName("24k2.67"), DataStreamFormat::Ksps24Ms2_67);
    EXPECT_EQ(ParseFormatName("16K16"), DataStreamFormat::Ksps16Ms16);
    EXPECT_EQ(ParseFormatName("8k16"), DataStreamFormat::Ksps8Ms16);
    EXPECT_FALSE(ParseFormatName("8k8"));
    EXPECT_FALSE(ParseFormatName(""));
    for (int i = 0; i < kFormatCount; ++i) {
        const auto f = static_cast<DataStreamFormat>(i);
        EXPECT_EQ(ParseFormatName(FormatCaption(f)), f);
        EXPECT_EQ(ParseFormatName(FormatShortName(f)), f);
        EXPECT_NE(ValidFormatList().find(FormatCaption(f)), std::string::npos);
    }
}

TEST(StreamFormat, RoundingIsHalfToEven) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.6), 3);
}

TEST(FrameLayout, AgcGainEncoding) {
    EXPECT_EQ(ConvertAGC(0x2A00), 4096);
    EXPECT_EQ(ConvertAGC(0x0400), -256);
    EXPECT_EQ(ConvertAGC(0x1000), 0);            // e = 0, m = 0
    EXPECT_EQ(ConvertAGC(0x1000 | 0x3FF), 1023); // e = 0: the mantissa itself
    EXPECT_EQ(ConvertAGC(0x7BFF), 32767);        // e = 13: limited from above
    EXPECT_EQ(ConvertAGC(0x0803), 1);            // e = -1: 3 / 2 truncated
    EXPECT_EQ(ConvertAGC(int16_t(0x8000)), 0);   // e = -18
}

TEST(FrameLayout, OldProtocolLengthsAndMasks) {
    EXPECT_EQ(OldProtFrameBytes(31, 256), 3072);
    EXPECT_EQ(OldProtFrameBytes(0x23, 32), 6 * 64); // above 31 counts as all five
    EXPECT_EQ(OldProtFrameBytes(0x0005, 32), 3 * 64);
    EXPECT_EQ(OldProtFrameBytes(0, 32), 64);
    // Bit 15 set: all five channels, the same as the decoder takes, never 32 blocks.
    EXPECT_EQ(OldProtFrameBytes(int16_t(0x8001), 32), 6 * 64);
}

TEST(FrameLayout, BitNumbersChecksumAndPlatforms) {
    for (int b = 0; b < 8; ++b) EXPECT_EQ(BitToNum(1 << b), b);
    for (int v : {0, 3, 5, 129, 256, -1}) EXPECT_EQ(BitToNum(v), -1) << v;
    const uint16_t w[] = {0xFFFF, 0xFFFF, 0xEEEE, 0xEEEE, 0x0001, 0x0000, 0x0014, 0x0000, 0x1234, 0};
    EXPECT_EQ(FrameChecksum(w, 10), 0x0001 ^ 0x0014 ^ 0x1234);
    EXPECT_EQ(PlatformName(4), "Kalimba");
    EXPECT_EQ(PlatformName(7), "PC");
    EXPECT_EQ(PlatformName(12), "unknown (12)");
}

namespace {

constexpr auto k8k4 = DataStreamFormat::Ksps8Ms4;
constexpr auto k16k2 = DataStreamFormat::Ksps16Ms2;
constexpr auto k16k4 = DataStreamFormat::Ksps16Ms4;

// Frames of one protocol, format and byte order. The samples are a small noise around 0, so
// 0xFFFF words (marker bytes) fill the audio as they do in real streams; old-protocol frames
// change their channel mask from frame to frame.
std::vector<uint8_t> StreamOf(bool newProtocol, DataStreamFormat f, bool bigEndian, int frames = 30) {
    const int n = GetStreamFormat(f).ChannLenWords;
    uint32_t seed = 7;
    auto noise = [&](int count) {
        std::vector<int16_t> v(size_t(count), 0);
        for (int16_t& x : v) {
            seed = seed * 1103515245u + 12345u;
            x = int16_t(int((seed >> 16) % 7) - 3);
        }
        return v;
    };
    std::vector<uint8_t> out;
    for (int i = 0; i < frames; ++i) {
        if (newProtocol) {
            test::Append(out, test::NewFrame(uint32_t(i))
                                  .Raw(0x0101, noise(n))
                                  .Raw(0x0701, noise(n))
                                  .Mips(90, 40)
                                  .Bytes(bigEndian));
        } else {
            test::OldFrame fr(uint16_t(i), n);
            fr.Key(0x5343, 40).Channels(i % 3 ? 0x1F : 0x05, int16_t(-1));
            test::Append(out, fr.Bytes(bigEndian));
        }
    }
    return out;
}

} // namespace

// Every protocol, format and byte order of the stream read with every format and byte order:
// each contradiction is named with exactly the formats that fit, each match says nothing.
TEST(FormatCheck, EveryStreamAgainstEverySetting) {
    for (const bool newProtocol : {true, false})
        for (int sf = 0; sf < kFormatCount; ++sf)
            for (const bool be : {false, true}) {
                const auto streamFormat = static_cast<DataStreamFormat>(sf);
                const std::vector<uint8_t> bytes = StreamOf(newProtocol, streamFormat, be);
                const int samples = GetStreamFormat(streamFormat).ChannLenWords;
                for (int cf = 0; cf < kFormatCount; ++cf)
                    for (const bool chosenBe : {false, true}) {
                        const auto chosen = static_cast<DataStreamFormat>(cf);
                        SCOPED_TRACE(std::string(newProtocol ? "new " : "old ") +
                                     FormatShortName(streamFormat) + (be ? " BE" : " LE") + " read as " +
                                     FormatShortName(chosen) + (chosenBe ? " BE" : " LE"));
                        const FormatFinding f =
                            CheckStreamBytes(bytes.data(), bytes.size(), chosenBe, chosen);
                        const std::string text = FindingText(f);
                        EXPECT_EQ(f.OtherByteOrder, be != chosenBe);
                        if (be != chosenBe) {
                            EXPECT_EQ(f.StreamBigEndian, be);
                            EXPECT_NE(
                                text.find(be ? "the stream is big-endian" : "the stream is little-endian"),
                                std::string::npos)
                                << text;
                        }
                        const bool mismatch = samples != GetStreamFormat(chosen).ChannLenWords;
                        EXPECT_EQ(f.FormatMismatch, mismatch);
                        if (!mismatch) {
                            EXPECT_EQ(text.find("frames carry"), std::string::npos) << text;
                            if (be == chosenBe) {
                                EXPECT_EQ(text, "");
                            }
                            continue;
                        }
                        EXPECT_EQ(f.Fits, FormatsCarrying(samples));
                        EXPECT_NE(text.find("frames carry " + std::to_string(samples) +
                                            " samples per channel; "
                                            "formats that fit: "),
                                  std::string::npos)
                            << text;
                    }
            }
}

// A frame may carry one channel at another count: one raw chunk that fits is enough.
TEST(FormatCheck, OneFittingRawChunkIsEnough) {
    std::vector<uint8_t> mixed, odd;
    for (uint32_t i = 0; i < 20; ++i) {
        test::Append(mixed, test::NewFrame(i)
                                .Raw(0x0101, std::vector<int16_t>(32, 5))
                                .Raw(0x0701, std::vector<int16_t>(64, 5))
                                .Bytes());
        test::Append(odd, test::NewFrame(i).Raw(0x0101, std::vector<int16_t>(48, -1)).Bytes());
    }
    EXPECT_FALSE(CheckStreamBytes(mixed.data(), mixed.size(), false, k8k4).Contradicts());
    EXPECT_FALSE(CheckStreamBytes(mixed.data(), mixed.size(), false, k16k4).Contradicts());
    EXPECT_EQ(FindingText(CheckStreamBytes(mixed.data(), mixed.size(), false, DataStreamFormat::Ksps8Ms16)),
              "frames carry 32 or 64 samples per channel; formats that fit: \"8 Ksps, 4 ms\" (8k4), "
              "\"16 Ksps, 2 ms\" (16k2), \"16 Ksps, 4 ms\" (16k4), \"24 Ksps, 1.33ms\" (24k1.33), "
              "\"24 Ksps, 2.67ms\" (24k2.67)");
    EXPECT_EQ(FindingText(CheckStreamBytes(odd.data(), odd.size(), false, k8k4)),
              "frames carry 48 samples per channel; formats that fit: none");
    const std::vector<uint8_t> noise(5000, 0xFF); // no frame: nothing to say
    EXPECT_EQ(CheckStreamBytes(noise.data(), noise.size(), false, k8k4), FormatFinding{});
}

// The parsing thread's check, fed as the thread feeds it: the bytes before each round, the
// frame numbers as frames are taken, a verdict after a round or a wait that ran out.
TEST(FormatCheck, LiveVerdictFromTheBytesAndTheFrameRate) {
    struct Case {
        DataStreamFormat sent;
        bool bigEndian;  // of the stream; the receiver expects little-endian
        double periodMs; // 0: every frame at once, then silence
        DataStreamFormat chosen;
        const char* said;                  // empty: all is well
        uint32_t lateFrom = 0, lateTo = 0; // the rounds of these frames end lateMs late
        uint32_t lateMs = 0;
    };
    const Case cases[] = {
        {k16k2, false, 2.0, k8k4,
         "frames come every 2.00 ms and carry 32 samples per channel; formats that fit: \"16 Ksps, 2 ms\" "
         "(16k2)"},
        {k8k4, false, 4.3, k8k4, ""}, // within 10 %
        {DataStreamFormat::Ksps24Ms2_67, false, 8.0 / 3, DataStreamFormat::Ksps24Ms2_67, ""},
        // The sample counts rule out what the rate alone would let through.
        {k16k4, false, 4.0, k8k4,
         "frames come every 4.00 ms and carry 64 samples per channel; formats that fit: \"16 Ksps, 4 ms\" "
         "(16k4)"},
        {k16k2, false, 0, k8k4, ""}, // faster than real time: the counts fit
        {k16k4, false, 0, k8k4,
         "frames come faster than real time and carry 64 samples per channel; formats that fit: \"16 Ksps, 4 "
         "ms\" "
         "(16k4), \"24 Ksps, 2.67ms\" (24k2.67)"},
        {k8k4, true, 4.0, k8k4,
         "the stream is big-endian; byte order that fits: \"Big Endian\" on (--big-endian)"},
        // A sender that does not keep up: its rate fits no format the frames allow, and says nothing.
        {k16k2, false, 2.7, k8k4, ""},
        // A parser held up as the window opens: the late rounds do not shorten the period.
        {k16k2, false, 2.0, k8k4,
         "frames come every 2.00 ms and carry 32 samples per channel; formats that fit: \"16 Ksps, 2 ms\" "
         "(16k2)",
         200, 400, 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(FormatShortName(c.sent)) + " every " + std::to_string(c.periodMs));
        auto ring = std::make_unique<ReceiveRing>();
        LiveFormatCheck check;
        check.Start();
        FormatFinding f;
        int verdicts = 0;
        double now = 1000;
        // Frames are taken only in the byte order they make sense in.
        const bool taken = !c.bigEndian;
        for (uint32_t n = 0; n < 3000 && verdicts == 0; ++n) {
            const std::vector<uint8_t> one =
                test::NewFrame(n)
                    .Raw(0x0101,
                         std::vector<int16_t>(size_t(GetStreamFormat(c.sent).ChannLenWords), int16_t(-1)))
                    .Bytes(c.bigEndian);
            ring->Producer().Write(one.data(), uint32_t(one.size()));
            check.SeeBytes(*ring, uint32_t(now));
            if (taken) check.SeeFrame(n);
            ring->Consumer().Consume(uint32_t(one.size()));
            if (c.periodMs == 0 && n < 400) continue; // a burst: no round ends before its last frame
            const uint32_t late = n >= c.lateFrom && n < c.lateTo ? c.lateMs : 0;
            verdicts += check.Due(uint32_t(now) + late, c.periodMs == 0, false, c.chosen, f);
            now += c.periodMs == 0 ? 40 : c.periodMs;
        }
        ASSERT_EQ(verdicts, 1);
        EXPECT_EQ(FindingText(f), c.said);
        EXPECT_FALSE(check.Due(uint32_t(now + 10000), true, false, c.chosen, f)) << "one verdict per start";
    }
}

} // namespace vintrel
