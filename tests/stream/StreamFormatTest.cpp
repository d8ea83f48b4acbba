#include "stream/StreamFormat.h"
#include "stream/FrameLayout.h"

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

} // namespace vintrel
