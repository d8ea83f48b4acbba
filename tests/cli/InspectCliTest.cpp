// Runs the real vintrel-cli on files written by the test.
#include "app/Version.h"
#include "sim/StreamGenerator.h"
#include "support/CliRunner.h"
#include "support/FrameBuilder.h"
#include "support/JsonValue.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace vintrel {
using test::RunCli;
namespace {

std::string WriteStream(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto path = std::filesystem::temp_directory_path() / ("vintrel-inspect-" + name);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path.string();
}

int Lines(const std::string& s, const std::string& startingWith) {
    int n = 0;
    size_t pos = 0;
    while (pos < s.size()) {
        const size_t end = s.find('\n', pos);
        if (s.compare(pos, startingWith.size(), startingWith) == 0) ++n;
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    return n;
}

} // namespace

TEST(InspectCli, Totals) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 400; ++i) {
        test::NewFrame f(i);
        f.Raw(0x0101, {1, 2}).Raw(0x0701, {3, 4}).Mips(120, 60);
        if (i == 300) f.BadChecksum();
        if (i == 200) f.RawCount(0x0702, 900, {5}); // runs past the frame: kept, counted apart
        test::Append(bytes, f.Bytes(true));
    }
    const std::string path = WriteStream("be.bin", bytes);
    // Two samples a chunk fit no format: --force replays them all the same.
    auto r = RunCli("inspect " + path + " --big-endian --format 16k2 --force");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(
        r.out.find("Total frames: 400\nChecksum errors: 1\nInconsistent frames: 0\nMalformed chunks: 1\n"),
        std::string::npos)
        << r.out;

    EXPECT_NE(r.out.find(
                  "vintrel-cli inspect: frames carry 2 or 900 samples per channel; formats that fit: none\n"),
              std::string::npos)
        << r.out;
    // Read in the wrong byte order the length words are nonsense: that is said first, and forced
    // on, the frames are not taken.
    r = RunCli("inspect " + path + " --summary");
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_NE(
        r.out.find("vintrel-cli inspect: the stream is big-endian; byte order that fits: \"Big Endian\" on "
                   "(--big-endian)"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Total frames"), std::string::npos) << r.out;
    r = RunCli("inspect " + path + " --summary --force");
    EXPECT_EQ(r.exitCode, 1); // no frames
    EXPECT_EQ(Lines(r.out, "{"), 0);
    EXPECT_EQ(r.out.find("Total frames: 400"), std::string::npos) << r.out;
    std::filesystem::remove(path);
}

TEST(InspectCli, StandardInputReadsAsTheFile) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 8000; ++i) { // more than the look ahead at the start
        test::NewFrame f(i);
        f.Raw(0x0101, std::vector<int16_t>(32, int16_t(i))).Mips(120, 60);
        if (i == 7000) f.BadChecksum();
        test::Append(bytes, f.Bytes(false));
    }
    const std::string path = WriteStream("stdin.bin", bytes);
    for (const char* options : {"", " --json", " --format 16k2"}) {
        const auto file = RunCli("inspect " + path + options);
        const auto in = RunCli("inspect -" + std::string(options) + " < " + path);
        EXPECT_NE(file.exitCode, 2) << file.out;
        EXPECT_EQ(in.exitCode, file.exitCode) << options;
        EXPECT_EQ(in.out, file.out) << options;
    }
    EXPECT_NE(RunCli("inspect " + path).out.find("Total frames: 8000\nChecksum errors: 1\n"),
              std::string::npos);
    std::filesystem::remove(path);
}

TEST(InspectCli, JsonLinesDescribeEveryFrameAndEndWithOneSummary) {
    // 300 frames of 32 samples (8 Ksps, 4 ms) numbered from 1000 with frame 1280 missing; frame 260
    // has a bad checksum, frame 270 an unknown tag.
    std::vector<uint8_t> bytes;
    std::vector<size_t> offsets;
    const std::vector<int16_t> samples(32, -700);
    for (uint32_t i = 0; i < 300; ++i) {
        const uint32_t counter = 1000 + i + (i >= 280 ? 1 : 0);
        test::NewFrame f(counter);
        // TX1in with its noise detector, TXout with its VAD and AGC word, a channel no chart shows.
        f.Raw(0x0101, samples).Diag(0x1101, 5).Raw(0x0601, {9, -12}).Diag(0x1301, 1).Diag(0x1701, 0x2A00);
        f.Raw(0x0380, {3, -4});
        f.Mips(120, 60);
        if (i == 260) f.BadChecksum();
        if (i == 270) f.Raw(0x0103, {1});
        offsets.push_back(bytes.size());
        test::Append(bytes, f.Bytes());
    }
    const std::string path = WriteStream("json.bin", bytes);
    auto r = RunCli("inspect " + path + " --json", "", true);
    ASSERT_EQ(r.exitCode, 0) << r.out.substr(0, 400);
    std::vector<test::Json> lines;
    ASSERT_NO_THROW(lines = test::JsonLinesOf(r.out)) << r.out.substr(0, 400);
    const auto frames = test::OfType(lines, "frame");
    ASSERT_EQ(frames.size(), 300u);
    ASSERT_EQ(lines.size(), 301u);
    const test::Json& last = lines.back();
    EXPECT_EQ(last["type"].Str(), "summary");
    EXPECT_EQ(last["total_frames"].Num(), 300);
    EXPECT_EQ(last["checksum_errors"].Num(), 2); // the bad checksum and the unknown tag
    EXPECT_EQ(last["inconsistent_frames"].Num(), 1);
    EXPECT_EQ(last["exit_status"].Num(), 0);
    for (size_t i : {size_t(0), size_t(260), size_t(270), size_t(280)}) {
        const test::Json& f = frames[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(f["offset"].Num(), double(offsets[i]));
        EXPECT_EQ(f["length"].Num(),
                  double((i + 1 < offsets.size() ? offsets[i + 1] : bytes.size()) - offsets[i]));
        EXPECT_EQ(f["protocol"].Str(), "new");
        EXPECT_EQ(f["mips"].Num(), 60);
        EXPECT_EQ(f["max_mips"].Num(), 120);
        EXPECT_TRUE(f["volume"].IsNull()); // the new protocol carries none
    }
    EXPECT_EQ(frames[0]["number"].Num(), 1000);
    EXPECT_EQ(frames[0]["time"].Num(), 0);
    EXPECT_EQ(frames[0]["result"].Num(), 0);
    EXPECT_EQ(frames[0]["result_text"].Str(), "ok");
    EXPECT_EQ(frames[260]["result"].Num(), -2);
    EXPECT_EQ(frames[260]["result_text"].Str(), "checksum error");
    EXPECT_EQ(frames[270]["result"].Num(), -1);
    EXPECT_EQ(frames[270]["result_text"].Str(), "unknown or damaged chunk");
    // After the gap the time shows it.
    EXPECT_EQ(frames[280]["number"].Num(), 1281);
    EXPECT_DOUBLE_EQ(frames[280]["time"].Num(), 281 * 0.004);
    EXPECT_TRUE(frames[280]["inconsistent"].Bool());
    EXPECT_FALSE(frames[279]["inconsistent"].Bool());
    const auto& channels = frames[0]["channels"].Arr();
    ASSERT_EQ(channels.size(), 3u);
    EXPECT_EQ(channels[0]["tag"].Str(), "Raw_TXIN1");
    EXPECT_EQ(channels[0]["samples"].Num(), 32);
    EXPECT_EQ(channels[0]["peak"].Num(), 700);
    EXPECT_EQ(channels[0]["nd"].Num(), 5);
    EXPECT_TRUE(channels[0]["vad"].IsNull());
    EXPECT_EQ(channels[1]["tag"].Str(), "Raw_TXOUT1");
    EXPECT_EQ(channels[1]["samples"].Num(), 2);
    EXPECT_EQ(channels[1]["peak"].Num(), 12);
    EXPECT_EQ(channels[1]["vad"].Num(), 1);
    EXPECT_EQ(channels[1]["agc_gain"].Num(), 4096);
    EXPECT_TRUE(channels[1]["nd"].IsNull());
    EXPECT_EQ(channels[2]["peak"].Num(), 4);

    // Errors are objects too, followed by the one summary.
    r = RunCli("inspect /nonexistent/stream.bin --json", "", true);
    EXPECT_EQ(r.exitCode, 2);
    lines = test::JsonLinesOf(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[0]["type"].Str(), "error");
    EXPECT_NE(lines[0]["message"].Str().find("cannot read"), std::string::npos);
    EXPECT_EQ(lines[1]["type"].Str(), "summary");
    EXPECT_TRUE(lines[1]["total_frames"].IsNull());
    EXPECT_EQ(lines[1]["exit_status"].Num(), 2);
    std::filesystem::remove(path);
}

TEST(InspectCli, JsonUnwrapsOldProtocolCounters) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 6; ++i)
        test::Append(bytes, test::OldFrame(uint16_t(65533 + i), 32).Channels(0x1).Bytes());
    const std::string path = WriteStream("old.bin", bytes);
    const auto r = RunCli("inspect " + path + " --json", "", true);
    const auto frames = test::OfType(test::JsonLinesOf(r.out), "frame");
    ASSERT_EQ(frames.size(), 6u) << r.out;
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(frames[i]["number"].Num(), 65533 + i);
        EXPECT_EQ(frames[i]["protocol"].Str(), "old");
    }
    std::filesystem::remove(path);
}

TEST(SnapshotCli, JsonLinesEndWithTheSummaryOrTheError) {
    if (!VINTREL_CLI_DRAWS) GTEST_SKIP() << "built without the charts";
    std::vector<uint8_t> bytes;
    for (uint32_t i = 0; i < 100; ++i) {
        test::NewFrame f(i < 50 ? i : i + 3); // a gap of three frames
        f.Raw(0x0101, std::vector<int16_t>(32, 1000)).Raw(0x0701, std::vector<int16_t>(32, -20));
        if (i == 70) f.BadChecksum();
        test::Append(bytes, f.Bytes());
    }
    const std::string path = WriteStream("snap.bin", bytes);
    test::ScratchDir dir;
    const std::string png = dir.Path() + "/s.png";
    auto r = RunCli("snapshot " + path + " --png " + png + " --json", "", true);
    EXPECT_EQ(r.exitCode, 0);
    auto lines = test::JsonLinesOf(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.out;
    EXPECT_EQ(lines[0]["type"].Str(), "summary");
    EXPECT_EQ(lines[0]["total_frames"].Num(), 100);
    EXPECT_EQ(lines[0]["checksum_errors"].Num(), 1);
    EXPECT_EQ(lines[0]["inconsistent_frames"].Num(), 0); // within the first 251 frames
    EXPECT_GT(lines[0]["frames_drawn"].Num(), 0);
    EXPECT_EQ(lines[0]["png"].Str(), png);
    r = RunCli("snapshot " + path + " --png " + dir.Path() + "/none/s.png --json", "", true);
    EXPECT_EQ(r.exitCode, 5);
    lines = test::JsonLinesOf(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[0]["type"].Str(), "error");
    EXPECT_EQ(lines[1]["exit_status"].Num(), 5);
    EXPECT_TRUE(lines[1]["frames_drawn"].IsNull());
    std::filesystem::remove(path);
}

TEST(InspectCli, UsageErrorsAndUnreadableFiles) {
    auto r = RunCli("inspect /nonexistent/stream.bin");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("cannot read \"/nonexistent/stream.bin\""), std::string::npos) << r.out;

    r = RunCli("inspect x.bin --format 9k9");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("\"24 Ksps, 1.33ms\" (24k1.33)"), std::string::npos) << r.out;

    EXPECT_EQ(RunCli("inspect").exitCode, 2);
    EXPECT_EQ(RunCli("inspect a b").exitCode, 2);
    EXPECT_EQ(RunCli("inspect a --frobnicate").exitCode, 2);
    EXPECT_EQ(RunCli("nosuchcommand").exitCode, 2);
    r = RunCli("--version");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, std::string("vintrel-cli ") + ProjectVersion() + "\n");
    r = RunCli("--help");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("  --version "), std::string::npos) << r.out;
    // A file without a frame is no usage error but nothing to show.
    EXPECT_EQ(RunCli("inspect /dev/null").exitCode, 1);
    // A directory opens but does not read.
    r = RunCli("inspect /tmp");
    EXPECT_EQ(r.exitCode, 2) << r.out;
}

TEST(Cli, NumericOptionsAreWholeNumbersNamedWhenWrong) {
    struct Case {
        const char* args;
        const char* said;
    } const cases[] = {
        {"monitor --seconds 5s", "--seconds needs a number"},
        {"monitor --frames 2x", "--frames needs a whole number"},
        {"monitor --autoreconnect abc", "--autoreconnect needs a whole number"},
        {"monitor --seconds=", "--seconds needs a number"},
        {"record --seconds 5s", "--seconds needs a whole number"},
        {"record --seconds 0", "--seconds needs a whole number from 1"},
        {"delay x.bin --max-delay 1000ms", "--max-delay must be 1000, 2000 or 4000"},
        {"delay x.bin --max-delay 1500", "--max-delay must be 1000, 2000 or 4000"},
        {"snapshot x.bin --png y.png --rate 4.5", "--rate needs a whole number from 1 to 7"},
        {"snapshot x.bin --png y.png --seconds 1e", "--seconds needs a number"},
    };
    // A vintrel-cli built without the charts answers every snapshot with that, as bad usage.
    const auto said = [](const Case& c) {
        const bool snapshot = std::string(c.args).rfind("snapshot", 0) == 0;
        return snapshot && !VINTREL_CLI_DRAWS ? "snapshot: not available in this build" : c.said;
    };
    for (const Case& c : cases) {
        const auto r = RunCli(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(said(c)), std::string::npos) << c.args << "\n" << r.out;
    }
    // Each verb's help ends with the one rule of exit statuses.
    for (const char* verb : {"inspect", "monitor", "record", "parse", "delay", "snapshot", "ports"}) {
        const auto r = RunCli(std::string(verb) + " --help");
        if (!VINTREL_CLI_DRAWS && std::string(verb) == "snapshot") {
            EXPECT_EQ(r.exitCode, 2) << r.out;
            continue;
        }
        EXPECT_EQ(r.exitCode, 0) << verb;
        EXPECT_NE(r.out.find("Exit status, the first that applies: 4 the stream contradicts"),
                  std::string::npos)
            << verb;
    }
}

TEST(InspectCli, OldProtocolLines) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 10; ++i)
        test::Append(bytes, test::OldFrame(uint16_t(i), 32).Key(0x5343, 50).Channels(0x0003).Bytes());
    const std::string path = WriteStream("old.bin", bytes);
    const auto r = RunCli("inspect " + path);
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(
        Lines(r.out,
              "       9  frame 9          old    192 bytes  result  0  mips 50/0  Raw_TXOUT1 Raw_RXOUT1"),
        1)
        << r.out;
    std::filesystem::remove(path);
}

// Both offline verbs set the file's frames against the settings before they write anything.
TEST(InspectCli, ParseAndInspectRefuseAStreamThatContradictsTheSettings) {
    test::ScratchDir dir;
    struct Case {
        sim::Protocol protocol;
        DataStreamFormat format;
        bool bigEndian;
        const char* options; // what the user chose
        const char* said;    // empty: it matches
    };
    const Case cases[] = {
        {sim::Protocol::Old, DataStreamFormat::Ksps16Ms4, false, "--format 16k4", ""},
        {sim::Protocol::New, DataStreamFormat::Ksps24Ms2_67, true, "--format 24k2.67 --big-endian", ""},
        {sim::Protocol::New, DataStreamFormat::Ksps16Ms4, false, "",
         "frames carry 64 samples per channel; formats that fit: \"16 Ksps, 4 ms\" (16k4), \"24 Ksps, "
         "2.67ms\" "
         "(24k2.67)\n"},
        {sim::Protocol::Old, DataStreamFormat::Ksps8Ms16, false, "--format 8k4",
         "frames carry 128 samples per channel; formats that fit: \"8 Ksps, 16 ms\" (8k16)\n"},
        {sim::Protocol::Old, DataStreamFormat::Ksps8Ms4, true, "--format 16k2",
         "the stream is big-endian; byte order that fits: \"Big Endian\" on (--big-endian)\n"},
        {sim::Protocol::New, DataStreamFormat::Ksps16Ms16, false, "--format 16k16 --big-endian",
         "the stream is little-endian; byte order that fits: \"Big Endian\" off (without --big-endian)\n"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        sim::StreamConfig cfg;
        cfg.protocol = c.protocol;
        cfg.format = c.format;
        cfg.bigEndian = c.bigEndian;
        const std::string file = WriteStream("check" + std::to_string(n), sim::GenerateStream(cfg, 400));
        const std::string out = dir.File("out" + std::to_string(n++));
        std::filesystem::create_directory(out);
        const std::string said = c.said;
        for (const std::string verb : {"inspect ", "parse "}) {
            const std::string options =
                std::string(" ") + c.options + (verb == "parse " ? " --out " + out : " --summary");
            auto r = RunCli(verb + file + options);
            if (said.empty()) {
                EXPECT_EQ(r.exitCode, 0) << r.out;
                EXPECT_EQ(r.out.find("fit"), std::string::npos) << r.out;
                continue;
            }
            EXPECT_EQ(r.exitCode, 4) << r.out;
            EXPECT_NE(r.out.find("vintrel-cli " + verb.substr(0, verb.size() - 1) + ": " + said),
                      std::string::npos)
                << r.out;
            EXPECT_TRUE(std::filesystem::is_empty(out)) << "nothing is written before the check";
            // Forced on, the verb does what it can: in the wrong byte order the parse finds no frame.
            r = RunCli(verb + file + options + " --force");
            // (Inspect then has no frame: exit 1.)
            EXPECT_EQ(r.exitCode, said[0] == 't' ? (verb == "parse " ? 2 : 1) : 0) << r.out;
            EXPECT_NE(r.out.find(said), std::string::npos) << r.out;
        }
        if (said.rfind("frames", 0) == 0) {
            EXPECT_FALSE(std::filesystem::is_empty(out)) << "forced, the parse writes";
        }
        std::filesystem::remove(file);
    }
}

} // namespace vintrel
