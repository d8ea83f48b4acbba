// The echo figures on byte-level records with a known echo path: far-end bursts and pauses, an
// echo of known gain and delay, a known attenuation on the output, and a stretch of near-end
// speech during far-end speech, with and without the target's voice-activity values.
#include "delay/EchoMetrics.h"
#include "delay/CorrLibrary.h"
#include "delay/CorrelatorDelaySource.h"
#include "quendel/QuendelImage.h"
#include "stream/StreamFormat.h"
#include "support/CliRunner.h"
#include "support/FrameBuilder.h"
#include "support/JsonValue.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

namespace vintrel::test {
namespace {

constexpr double kEchoGain = 0.35, kCancel = 0.1; // ERL 9.12 dB, ERLE 20 dB
constexpr int kDelayFrames = 6;
constexpr double kSeconds = 20;

class Noise {
public:
    explicit Noise(uint32_t seed) : s_(seed) {}
    double Next(double amplitude) { // uniform in [-amplitude, amplitude]
        s_ = s_ * 1664525u + 1013904223u;
        return amplitude * (double(s_ >> 8) / double(1u << 23) - 1.0);
    }

private:
    uint32_t s_;
};

// Far end: 1 s pauses (the first sets the noise floors) and 3 s bursts; near end from 9.5 s to
// 11 s, inside the third burst.
bool FarTalks(double t) {
    return std::fmod(t, 4.0) >= 1.0;
}
bool NearTalks(double t) {
    return t >= 9.5 && t < 11.0;
}

std::vector<uint8_t> Record(DataStreamFormat format, bool withVad) {
    const StreamFormat f = GetStreamFormat(format);
    const int n = int(std::lround(f.SamplingRateFromSettings * f.MsPerFrame / 1000.0));
    const int frames = int(kSeconds * f.FramesPerSec);
    Noise far(1), near(2), micNoise(3), outNoise(4);
    std::vector<std::vector<int16_t>> rx(frames, std::vector<int16_t>(n));
    std::vector<uint8_t> bytes;
    for (int k = 0; k < frames; ++k) {
        const double t = k / f.FramesPerSec;
        const bool nearTalks = NearTalks(t);
        for (int i = 0; i < n; ++i) rx[k][i] = int16_t(far.Next(FarTalks(t) ? 4000 : 2));
        std::vector<int16_t> mic(n), out(n);
        for (int i = 0; i < n; ++i) {
            const double echo = k >= kDelayFrames ? kEchoGain * rx[k - kDelayFrames][i] : 0.0;
            const double speech = nearTalks ? near.Next(6000) : 0.0;
            mic[i] = int16_t(std::lround(echo + speech + micNoise.Next(8)));
            out[i] = int16_t(std::lround(kCancel * echo + speech + outNoise.Next(4)));
        }
        NewFrame frame(uint32_t(k + 1));
        frame.Raw(0x0701, rx[k]).Raw(0x0101, mic).Raw(0x0601, out);
        if (withVad) frame.Diag(0x1401, FarTalks(t) ? 30000 : 100).Diag(0x1301, nearTalks ? 30000 : 100);
        Append(bytes, frame.Bytes());
    }
    return bytes;
}

std::string WriteRecord(const ScratchDir& dir, const std::vector<uint8_t>& bytes) {
    const std::string path = dir.File("echo.bin");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

class EchoMetricsRecord : public ::testing::TestWithParam<std::tuple<DataStreamFormat, bool>> {};

TEST_P(EchoMetricsRecord, FiguresMatchTheKnownEchoPath) {
    const auto [format, withVad] = GetParam();
    const StreamFormat f = GetStreamFormat(format);
    ScratchDir dir;
    const std::string path = WriteRecord(dir, Record(format, withVad));
    const CliResult r =
        RunCli("metrics " + path + " --format " + FormatShortName(format) + " --json", "", true);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::vector<Json> lines = JsonLinesOf(r.out);
    ASSERT_FALSE(lines.empty());
    const Json& s = lines.back();
    ASSERT_EQ(s["type"].Str(), "summary");
    const double erl = -20 * std::log10(kEchoGain), erle = -20 * std::log10(kCancel);
    ASSERT_FALSE(s["erl_db"].IsNull()) << r.out;
    EXPECT_NEAR(s["erl_db"].Num(), erl, 0.5);
    // Near-end speech on the output would pull ERLE down by tens of dB were it counted.
    EXPECT_NEAR(s["erle_db"].Num(), erle, 0.5);
    EXPECT_NEAR(s["ter_db"].Num(), erl + erle, 0.7);
    EXPECT_NEAR(s["delay_ms"].Num(), kDelayFrames * f.MsPerFrame, 0.01);
    EXPECT_NEAR(s["delay_std_ms"].Num(), 0.0, 0.5);
    // Far end active 15.4 s (five bursts of 3 s, four 100 ms hangovers), 1.6 s of them with the
    // near end (its hangover included); the figures count from the first delay estimate, found
    // in the first burst's first tenth of a second: 19 s.
    EXPECT_NEAR(s["double_talk_share"].Num(), 1.6 / 15.4, 0.02);
    EXPECT_NEAR(s["far_single_talk_share"].Num(), 13.8 / 19.0, 0.02);
    // Echo at -12.3 dBFS (uniform 4000) less ERL and ERLE.
    const double echoDbov = 10 * std::log10(4000.0 * 4000.0 / 3 / (32768.0 * 32768.0));
    EXPECT_NEAR(s["residual_echo_dbov"].Num(), echoDbov - erl - erle, 0.7);

    // One window per second from the second on, each 2 s long.
    std::vector<const Json*> windows;
    for (const Json& j : lines)
        if (j["type"].Str() == "window") windows.push_back(&j);
    ASSERT_EQ(windows.size(), size_t(kSeconds) - 1);
    for (size_t i = 0; i < windows.size(); ++i) EXPECT_EQ((*windows[i])["start_s"].Num(), double(i));
    // 12-14 s: far end alone in the fourth burst's first half.
    EXPECT_NEAR((*windows[12])["erle_db"].Num(), erle, 0.5);
    EXPECT_DOUBLE_EQ((*windows[12])["double_talk_share"].Num(), 0.0);
    // 0-2 s: the noise floors from the pause, the delay from the first burst's start.
    EXPECT_NEAR((*windows[0])["erl_db"].Num(), erl, 0.5);
}

INSTANTIATE_TEST_SUITE_P(RatesAndVad, EchoMetricsRecord,
                         ::testing::Combine(::testing::Values(DataStreamFormat::Ksps8Ms4,
                                                              DataStreamFormat::Ksps16Ms4,
                                                              DataStreamFormat::Ksps24Ms1_33),
                                            ::testing::Bool()));

TEST(EchoMetrics, FiguresNeedHalfASecondOfFarEndSingleTalk) {
    EchoMetrics m(250, 4.0);
    EchoFrame quiet{1.0, 1.0, 1.0};
    for (int k = 0; k < 500; ++k) m.AddFrame(quiet, 0);
    EXPECT_FALSE(m.Whole().ErlDb);
    EXPECT_FALSE(m.Window().DoubleTalkShare);
    EXPECT_DOUBLE_EQ(*m.Whole().DelayMs, 0.0);
    // 0.4 s of far end alone is still too little; 0.6 s is enough.
    EchoFrame far{1e6, 1e5, 1e3};
    for (int k = 0; k < 100; ++k) m.AddFrame(far, 0);
    EXPECT_FALSE(m.Whole().ErlDb);
    for (int k = 0; k < 50; ++k) m.AddFrame(far, 0);
    ASSERT_TRUE(m.Whole().ErlDb);
    EXPECT_NEAR(*m.Whole().ErlDb, 10.0, 0.1);
    EXPECT_NEAR(*m.Whole().ErleDb, 20.0, 0.1);
}

TEST(EchoMetricsCli, DamagedInputAndBadOptionsSayWhy) {
    ScratchDir dir;
    CliResult r = RunCli("metrics " + dir.File("none.bin") + " --json");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("cannot read"), std::string::npos);
    EXPECT_TRUE(JsonLinesAmong(r.out).back()["erl_db"].IsNull());
    r = RunCli("metrics x.bin --vad-threshold 2");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("--vad-threshold"), std::string::npos);
    // Bytes that hold no frame: nothing to show.
    const std::string path = WriteRecord(dir, std::vector<uint8_t>(5000, 0x5A));
    r = RunCli("metrics " + path);
    EXPECT_NE(r.out.find("ERL, dB: N/A"), std::string::npos) << r.out;
}

// The figures' own delay through the real correlator: white noise on RXout and its echo on TX1in
// at each rate, the delay in whole frames once a history's worth has been fed; none without echo.
TEST(CorrelatorDelaySource, FindsTheEchoInFramesAtEachRate) {
    static CorrLibrary library;
    static const LoadDllStatus loaded = library.LoadDll(QuendelImage());
    ASSERT_EQ(loaded, LoadDllStatus::Loaded);
    for (DataStreamFormat f :
         {DataStreamFormat::Ksps8Ms4, DataStreamFormat::Ksps16Ms4, DataStreamFormat::Ksps24Ms1_33})
        for (bool echo : {true, false}) {
            const StreamFormat format = GetStreamFormat(f);
            const int rate = format.SamplingRateFromSettings, n = format.ChannLenWords;
            SCOPED_TRACE(std::string(FormatShortName(f)) + (echo ? " echo" : " none"));
            const int delayFrames = 15;
            const size_t total = size_t(rate) * 3;
            Noise far(7), other(8);
            std::vector<int16_t> rx(total), mic(total);
            for (size_t i = 0; i < total; ++i) {
                rx[i] = int16_t(far.Next(8000));
                const size_t d = size_t(delayFrames * n);
                mic[i] = int16_t(echo ? (i >= d ? rx[i - d] / 2 : 0) : other.Next(4000));
            }
            CorrelatorDelaySource source(library.Entries(), n, rate);
            ASSERT_TRUE(source.Ready());
            for (size_t at = 0; at + size_t(n) <= total; at += size_t(n))
                source.AddBlocks(&rx[at], &mic[at], n);
            if (echo)
                EXPECT_EQ(source.DelayFrames(), std::optional<int>(delayFrames));
            else
                EXPECT_EQ(source.DelayFrames(), std::nullopt);
        }
}

} // namespace
} // namespace vintrel::test
