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

uint64_t Fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (uint8_t b : bytes) h = (h ^ b) * 0x100000001B3ull;
    return h;
}

// The default signals are what recorded demos and saved test records were made with: with no
// signal option given, two seconds of every format hash to the same values as ever.
TEST(SimRepeatability, DefaultStreamsKeepTheirBytes) {
    struct Case {
        Protocol protocol;
        DataStreamFormat format;
        size_t bytes;
        uint64_t fnv1a;
    };
    const Case cases[] = {
        {Protocol::New, DataStreamFormat::Ksps8Ms4, 261000, 0xd2792bd6e5ed99e5ull},
        {Protocol::New, DataStreamFormat::Ksps8Ms16, 185250, 0xf750738b9ce0dd21ull},
        {Protocol::New, DataStreamFormat::Ksps16Ms2, 522000, 0xf137586a019d9b25ull},
        {Protocol::New, DataStreamFormat::Ksps24Ms1_33, 783000, 0x02e8525fdda6ada1ull},
        {Protocol::Old, DataStreamFormat::Ksps8Ms4, 192000, 0x5e349f738da39f5full},
        {Protocol::Old, DataStreamFormat::Ksps8Ms16, 192000, 0x57fa3aa2cb635255ull},
        {Protocol::Old, DataStreamFormat::Ksps16Ms2, 384000, 0x029603760d7dc7d2ull},
        {Protocol::Old, DataStreamFormat::Ksps24Ms1_33, 576000, 0x672d82c03f03a518ull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(FormatCaption(c.format)) +
                     (c.protocol == Protocol::New ? ", new" : ", old"));
        StreamConfig cfg;
        cfg.protocol = c.protocol;
        cfg.format = c.format;
        const auto bytes = GenerateStream(cfg, FramesForSeconds(GetStreamFormat(c.format), 2.0));
        EXPECT_EQ(bytes.size(), c.bytes);
        EXPECT_EQ(Fnv1a(bytes), c.fnv1a);
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

namespace vintrel::sim {
namespace {

double PowerDb(double signal, double reference) {
    return 10.0 * std::log10(signal / reference);
}

// Without noise the channel powers follow the echo path and canceller settings exactly: RXout
// against TX1in at the echo delay is the ERL, TX1in against TXout the cancellation.
TEST(SimSignals, NoiselessEchoFollowsTheAttenuationSettings) {
    struct Case {
        DataStreamFormat format;
        int delayMs;
        double erlDb, cancelDb;
    };
    for (const Case& c :
         {Case{DataStreamFormat::Ksps8Ms4, 60, 12, 25}, Case{DataStreamFormat::Ksps16Ms2, 35, 3, 40},
          Case{DataStreamFormat::Ksps24Ms1_33, 120, 25, 6}, Case{DataStreamFormat::Ksps8Ms16, 0, 0, 0}}) {
        SCOPED_TRACE(std::string(FormatCaption(c.format)) + ", ERL " + std::to_string(c.erlDb) + ", cancel " +
                     std::to_string(c.cancelDb));
        StreamConfig cfg;
        cfg.format = c.format;
        cfg.echoDelayMs = c.delayMs;
        cfg.seed = 9;
        cfg.signal.echoGain = GainForAttenuationDb(c.erlDb);
        cfg.signal.residualEcho = GainForAttenuationDb(c.cancelDb);
        cfg.signal.noise = false;
        const StreamFormat sf = GetStreamFormat(c.format);
        const auto raw = test::RawChannels(
            test::ScanStream(GenerateStream(cfg, FramesForSeconds(sf, 6.0)), true, false, sf.ChannLenWords));
        const auto &rx = raw.at(0x0701), &mic = raw.at(0x0101), &out = raw.at(0x0601);
        const size_t d = static_cast<size_t>(std::lround(c.delayMs * sf.SamplingRateFromSettings / 1000.0));
        double rxPower = 0, micPower = 0, outPower = 0;
        for (size_t n = d; n < mic.size(); ++n) {
            rxPower += double(rx[n - d]) * rx[n - d];
            micPower += double(mic[n]) * mic[n];
            outPower += double(out[n]) * out[n];
        }
        ASSERT_GT(outPower, 0.0);
        EXPECT_NEAR(PowerDb(rxPower, micPower), c.erlDb, 0.2);
        EXPECT_NEAR(PowerDb(micPower, outPower), c.cancelDb, 0.2);
        for (uint16_t tag : {0x0102, 0x0501})
            for (int16_t v : raw.at(tag)) ASSERT_EQ(v, 0) << "noise on " << tag;
    }
}

uint16_t ChunkWord(const std::vector<uint16_t>& frame, uint16_t tag, size_t word) {
    size_t end = 0;
    for (const test::Chunk& c : test::WalkChunks(frame, end))
        if (c.tag == tag && c.body.size() > word) return c.body[word];
    ADD_FAILURE() << "no chunk " << tag;
    return 0;
}

// Near-end talk bursts start at every multiple of the period and last half of it, at most 1 s.
// With the echo path attenuated to nothing, TX1in sounds exactly on the burst frames, TXout
// passes the talker through, and VAD TX is high on those frames and low on all others.
TEST(SimSignals, NearTalkBurstsCarryVadTxOnExactlyTheirFrames) {
    struct Case {
        DataStreamFormat format;
        double everySeconds;
        uint64_t periodFrames, burstFrames;
    };
    for (const Case& c :
         {Case{DataStreamFormat::Ksps8Ms4, 2.0, 500, 250}, Case{DataStreamFormat::Ksps16Ms2, 0.5, 250, 125},
          Case{DataStreamFormat::Ksps8Ms16, 1.6, 100, 50}}) {
        SCOPED_TRACE(std::string(FormatCaption(c.format)) + ", every " + std::to_string(c.everySeconds) +
                     " s");
        StreamConfig cfg;
        cfg.format = c.format;
        cfg.seed = 3;
        cfg.signal.echoGain = GainForAttenuationDb(100);
        cfg.signal.residualEcho = 1.0;
        cfg.signal.noise = false;
        cfg.signal.nearTalkEverySeconds = c.everySeconds;
        const StreamFormat sf = GetStreamFormat(c.format);
        const auto scan =
            test::ScanStream(GenerateStream(cfg, 3 * c.periodFrames + 7), true, false, sf.ChannLenWords);
        ASSERT_EQ(scan.frames.size(), 3 * c.periodFrames + 7);
        uint64_t bursts = 0;
        for (uint64_t k = 0; k < scan.frames.size(); ++k) {
            const auto& frame = scan.frames[k].words;
            const bool burst = k >= c.periodFrames && k % c.periodFrames < c.burstFrames;
            bursts += burst;
            const auto vadTx = static_cast<int16_t>(ChunkWord(frame, 0x1301, 1));
            ASSERT_EQ(vadTx >= DiagnosticsModel::kVoiceLevel, burst) << "frame " << k;
            ASSERT_EQ(vadTx <= DiagnosticsModel::kQuietLevel, !burst) << "frame " << k;
            double micEnergy = 0;
            const auto raw = test::RawChannels(test::StreamScan{{scan.frames[k]}, 0});
            const auto &mic = raw.at(0x0101), &out = raw.at(0x0601);
            for (size_t i = 0; i < mic.size(); ++i) micEnergy += double(mic[i]) * mic[i];
            ASSERT_EQ(micEnergy > 0, burst) << "frame " << k;
            ASSERT_EQ(mic, out) << "frame " << k;
        }
        EXPECT_EQ(bursts, 2 * c.burstFrames + 7) << "two whole bursts and the start of a third";
    }
}

} // namespace
} // namespace vintrel::sim
