// vintrel-cli delay on raw records of the simulated target, whose echo delay is known.
#include "delay/DelayAnalysis.h"
#include "sim/StreamGenerator.h"
#include "support/CliRunner.h"
#include "support/JsonValue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace vintrel::test {
namespace {

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("vintrel-delay-" + std::to_string(getpid()) + "-" + name))
        .string();
}

std::string WriteRecord(const std::string& name, const sim::StreamConfig& c, double seconds) {
    const auto bytes = sim::GenerateStream(c, sim::FramesForSeconds(GetStreamFormat(c.format), seconds));
    const std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

double MedianOf(const std::string& out) {
    const auto pos = out.rfind("Median delay, ms: ");
    return pos == std::string::npos ? -1e9 : std::stod(out.substr(pos + 18));
}

std::string RecommendationOf(const std::string& out) {
    const std::string label = "Recommended RPD setting, ms: ";
    const auto pos = out.rfind(label);
    if (pos == std::string::npos) return "";
    return out.substr(pos + label.size(), out.find('\n', pos) - pos - label.size());
}

int CountLines(const std::string& out, const std::string& prefix) {
    int n = 0;
    for (size_t pos = 0; (pos = out.find("\n" + prefix, pos)) != std::string::npos; ++pos) ++n;
    return n + (out.rfind(prefix, 0) == 0 ? 1 : 0);
}

TEST(DelayCli, FindsTheSimulatedEchoDelay) {
    for (DataStreamFormat format : {DataStreamFormat::Ksps8Ms4, DataStreamFormat::Ksps16Ms4}) {
        for (int delayMs : {20, 100, 300}) {
            SCOPED_TRACE(std::string(FormatShortName(format)) + " " + std::to_string(delayMs) + " ms");
            sim::StreamConfig c;
            c.format = format;
            c.echoDelayMs = delayMs;
            c.seed = uint64_t(delayMs);
            const std::string path = WriteRecord("echo.bin", c, 10);
            const CliResult r = RunCli("delay " + path + " --format " + FormatShortName(format));
            std::filesystem::remove(path);
            ASSERT_EQ(r.exitCode, 0) << r.out;
            EXPECT_NEAR(MedianOf(r.out), delayMs, 1.0) << r.out;
            const int expected = delay_rules::RecommendedRpd(delay_rules::DelayMs(delayMs * 8));
            EXPECT_EQ(RecommendationOf(r.out), std::to_string(expected)) << r.out;
            // 10 s of 4-ms frames: an estimate every 32 x step frames.
            const int step = GetStreamFormat(format).SamplingRateFromSettings / 8000;
            EXPECT_EQ(CountLines(r.out, "estimate "), 2500 / (32 * step));
            EXPECT_NE(r.out.find("samples " + std::to_string(delayMs * 8 * step) + ", ms " +
                                 std::to_string(delay_rules::DelayMs(delayMs * 8)) + ", reliability "),
                      std::string::npos);
        }
    }
}

TEST(DelayCli, JsonLinesGiveEachEstimateAndOneSummary) {
    // A damaged record: bad checksums, skipped frames and unknown tags on the way.
    sim::StreamConfig c;
    c.echoDelayMs = 100;
    c.damage.badChecksumEvery = 301;
    c.damage.skipFrameEvery = 500;
    c.damage.unknownTagEvery = 707;
    const std::string path = WriteRecord("json.bin", c, 6);
    const CliResult r = RunCli("delay " + path + " --json", "", true);
    const CliResult text = RunCli("delay " + path);
    std::filesystem::remove(path);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    std::vector<Json> lines;
    ASSERT_NO_THROW(lines = JsonLinesOf(r.out)) << r.out;
    const auto estimates = OfType(lines, "estimate");
    // The same estimates as the text says.
    ASSERT_EQ(int(estimates.size()), CountLines(text.out, "estimate ")) << r.out;
    ASSERT_GT(estimates.size(), 10u);
    const Json& e = estimates.back();
    EXPECT_EQ(e["estimate"].Num(), double(estimates.size()));
    EXPECT_EQ(e["samples"].Num(), 800);
    EXPECT_EQ(e["ms"].Num(), delay_rules::DelayMs(800));
    EXPECT_GT(e["reliability"].Num(), 0);
    EXPECT_TRUE(e["warning"].IsNull());
    EXPECT_TRUE(e["likely_echo_ms"].IsNull());
    EXPECT_EQ(e["rpd"].Num(), delay_rules::RecommendedRpd(delay_rules::DelayMs(800)));
    const Json& s = lines.back();
    ASSERT_EQ(s["type"].Str(), "summary");
    EXPECT_EQ(OfType(lines, "summary").size(), 1u);
    EXPECT_EQ(s["median_delay_ms"].Num(), MedianOf(text.out));
    EXPECT_EQ(std::to_string(int(s["recommended_rpd_ms"].Num())), RecommendationOf(text.out));
    EXPECT_NEAR(s["total_frames"].Num(), 1500 - 3, 3); // 6 s of 4-ms frames, every 500th skipped
    EXPECT_GT(s["checksum_errors"].Num(), 0);
    EXPECT_GT(s["inconsistent_frames"].Num(), 0);

    // A file that cannot be read: its error and the summary, with null values.
    const CliResult bad = RunCli("delay /nonexistent/x.bin --json", "", true);
    EXPECT_EQ(bad.exitCode, 2);
    lines = JsonLinesOf(bad.out);
    ASSERT_EQ(lines.size(), 2u) << bad.out;
    EXPECT_EQ(lines[0]["type"].Str(), "error");
    EXPECT_TRUE(lines[1]["median_delay_ms"].IsNull());
}

TEST(DelayCli, SummaryOnlyFromEstimatesWithoutAWarning) {
    // 600 ms is past the 512 ms that Max delay 1000 holds: every estimate is warned (read as -423
    // ms) and none counts; a 0 ms echo is found, but -5 is no setting.
    for (int echoMs : {600, 0}) {
        sim::StreamConfig c;
        c.echoDelayMs = echoMs;
        const std::string path = WriteRecord("summary.bin", c, 6);
        const CliResult r = RunCli("delay " + path);
        std::filesystem::remove(path);
        ASSERT_EQ(r.exitCode, 0) << r.out;
        const std::string longer =
            std::string(DelayAnalysis::kEchoLongerText) + "\", likely echo 600 ms, RPD N/A\n";
        EXPECT_EQ(r.out.find(longer) != std::string::npos, echoMs == 600) << r.out;
        EXPECT_NE(r.out.find(std::string("Median delay, ms: ") + (echoMs ? "N/A" : "0") +
                             "\nRecommended RPD setting, ms: N/A\n"),
                  std::string::npos)
            << r.out;
    }
}

TEST(DelayCli, ReadsRecordsWrittenByTheSimulatorProgram) {
    // Old protocol, big-endian, 16 kHz in 2-ms frames, the longest history.
    const std::string path = TempPath("sim.bin");
    const std::string sim = std::string(VINTREL_SIM_PATH) + " --protocol old --big-endian --format 16k2 " +
                            "--echo-delay-ms 250 --seconds 8 --output " + path + " > /dev/null";
    ASSERT_EQ(std::system(sim.c_str()), 0);
    const CliResult r = RunCli("delay " + path + " --format 16k2 --big-endian --max-delay 4000");
    std::filesystem::remove(path);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NEAR(MedianOf(r.out), 250, 1.0) << r.out;
    EXPECT_EQ(RecommendationOf(r.out), "245") << r.out;
}

TEST(DelayCli, RecordWithoutFramesHasNoFigures) {
    const std::string path = TempPath("empty.bin");
    std::ofstream(path, std::ios::binary).put('\0');
    const CliResult r = RunCli("delay " + path);
    std::filesystem::remove(path);
    ASSERT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("Median delay, ms: N/A\nRecommended RPD setting, ms: N/A\n"), std::string::npos)
        << r.out;
}

TEST(DelayCli, RefusesBadArguments) {
    EXPECT_EQ(RunCli("delay").exitCode, 2);
    EXPECT_EQ(RunCli("delay /nonexistent/record.bin").exitCode, 2);
    const std::string path = TempPath("args.bin");
    std::ofstream(path, std::ios::binary).put('\0');
    CliResult r = RunCli("delay " + path + " --max-delay 3000");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("--max-delay must be 1000, 2000 or 4000"), std::string::npos) << r.out;
    EXPECT_EQ(RunCli("delay " + path + " --format 9k9").exitCode, 2);
    std::filesystem::remove(path);
    r = RunCli("delay --help");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Median delay, ms: "), std::string::npos);
}

} // namespace
} // namespace vintrel::test
