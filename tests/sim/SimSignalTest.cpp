// Signals, byte order and repeatability of the simulated stream.
#include <gtest/gtest.h>

#include <cmath>

#include "sim/SimStreamScan.h"
#include "sim/StreamGenerator.h"
#include "stream/StreamFormat.h"

namespace vintrel::sim {
namespace {

StreamConfig WithAllDamage(Protocol protocol) {
    StreamConfig cfg;
    cfg.protocol = protocol;
    cfg.seed = 1234;
    cfg.damage = {.skipFrameEvery = 9};
    if (protocol == Protocol::New) {
        cfg.damage.badChecksumEvery = 7;
        cfg.damage.unknownTagEvery = 5;
    }
    return cfg;
}

TEST(SimByteOrder, BigEndianIsTheWordSwapOfLittleEndian) {
    for (Protocol protocol : {Protocol::New, Protocol::Old}) {
        for (DataStreamFormat f : {DataStreamFormat::Ksps8Ms4, DataStreamFormat::Ksps24Ms2_67}) {
            StreamConfig cfg = WithAllDamage(protocol);
            cfg.format = f;
            const auto little = GenerateStream(cfg, 200);
            cfg.bigEndian = true;
            const auto big = GenerateStream(cfg, 200);
            ASSERT_EQ(little.size(), big.size());
            ASSERT_EQ(little.size() % 2, 0u);
            for (size_t i = 0; i < little.size(); i += 2) {
                ASSERT_EQ(big[i], little[i + 1]) << i;
                ASSERT_EQ(big[i + 1], little[i]) << i;
            }
        }
    }
}

TEST(SimRepeatability, SameSeedSameBytesOtherSeedOtherBytes) {
    for (Protocol protocol : {Protocol::New, Protocol::Old}) {
        StreamConfig cfg = WithAllDamage(protocol);
        cfg.damage.garbageEvery = 4;
        const auto a = GenerateStream(cfg, 500);
        EXPECT_EQ(a, GenerateStream(cfg, 500));
        cfg.seed = 1235;
        EXPECT_NE(a, GenerateStream(cfg, 500));
    }
}

// Lag of the largest normalised cross-correlation of y against x, over 0..maxLag samples.
int BestLag(const std::vector<int16_t>& x, const std::vector<int16_t>& y, int maxLag) {
    int best = -1;
    double bestScore = -2;
    for (int lag = 0; lag <= maxLag; ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = 0; i + static_cast<size_t>(lag) < y.size() && i < x.size(); ++i) {
            const double a = x[i], b = y[i + static_cast<size_t>(lag)];
            xy += a * b;
            xx += a * a;
            yy += b * b;
        }
        const double score = xy / std::sqrt(xx * yy + 1e-9);
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

TEST(SimSignals, EchoOnTx1InLagsRxOutByTheRequestedDelay) {
    struct Case {
        DataStreamFormat format;
        int delayMs;
    };
    for (const Case& c : {Case{DataStreamFormat::Ksps8Ms4, 60}, Case{DataStreamFormat::Ksps16Ms2, 25},
                          Case{DataStreamFormat::Ksps24Ms2_67, 110}, Case{DataStreamFormat::Ksps8Ms16, 0}}) {
        SCOPED_TRACE(std::string(FormatCaption(c.format)) + ", " + std::to_string(c.delayMs) + " ms");
        StreamConfig cfg;
        cfg.format = c.format;
        cfg.echoDelayMs = c.delayMs;
        cfg.seed = 42;
        const StreamFormat sf = GetStreamFormat(c.format);
        const auto raw = test::RawChannels(
            test::ScanStream(GenerateStream(cfg, FramesForSeconds(sf, 3.0)), true, false, sf.ChannLenWords));
        const int rate = sf.SamplingRateFromSettings;
        const int expected = static_cast<int>(std::lround(c.delayMs * rate / 1000.0));
        EXPECT_EQ(BestLag(raw.at(0x0701), raw.at(0x0101), rate * 150 / 1000), expected);
    }
}

double Power(const std::vector<int16_t>& s) {
    double p = 0;
    for (int16_t v : s) p += double(v) * v;
    return p / static_cast<double>(s.size());
}

TEST(SimSignals, ChannelLevelsFitTheirRoles) {
    StreamConfig cfg;
    cfg.seed = 5;
    const auto raw = test::RawChannels(test::ScanStream(GenerateStream(cfg, 2500), true, false, 32));
    const double rxOut = Power(raw.at(0x0701)), tx1 = Power(raw.at(0x0101)), txOut = Power(raw.at(0x0601));
    const double tx2 = Power(raw.at(0x0102)), rxIn = Power(raw.at(0x0501));
    EXPECT_GT(rxOut, 100.0 * tx2) << "speech well above the noise";
    EXPECT_GT(tx1, 4.0 * tx2) << "the echo stands out on the microphone";
    EXPECT_LT(txOut, 0.25 * tx1) << "the canceller removed most of the echo";
    EXPECT_LT(rxIn, tx2);
    for (const auto& [tag, s] : raw)
        for (int16_t v : s) ASSERT_LE(std::abs(static_cast<int>(v)), 16000) << tag;
}

} // namespace
} // namespace vintrel::sim
