// vintrel-cli parse and vintrel-cli record, as programs: against files, and live against the
// simulator program over loopback.
#include "../sim/SimChildProcess.h"
#include "RecordTestSupport.h"
#include "sim/ProfileData.h"
#include "stream/DebugDump.h"
#include "support/CliRunner.h"
#include "support/FrameBuilder.h"
#include "support/JsonValue.h"
#include "support/ScriptedTarget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <sstream>

namespace vintrel {

using namespace test;
using sim::SimChannel;

namespace {

sim::StreamConfig Config(sim::Protocol p, DataStreamFormat f, uint64_t seed = 2) {
    sim::StreamConfig c;
    c.protocol = p;
    c.format = f;
    c.seed = seed;
    return c;
}

std::string Text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(ParseCli, WritesTheFilesAndPrintsTheStatusLine) {
    sim::StreamConfig c = Config(sim::Protocol::New, DataStreamFormat::Ksps16Ms4);
    const SimRecord rec = MakeSimRecord(c, 600);
    TempDir dir;
    WriteBytes(dir.File("rec.raw"), rec.bytes);
    const auto r =
        RunCli("parse " + dir.File("rec.raw") + " --format 16k4 --base b --no-stamp --out " + dir.Path());
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              " 1 consistent fragment(s), total 600valid frames (2 sec) recorded");
    EXPECT_EQ(r.out.find("Inconsistencies"), std::string::npos);
    const WavContent w = ReadWav(dir.File("b-Raw_TXOUT1.wav"));
    EXPECT_EQ(w.rate, 16000);
    EXPECT_EQ(w.samples, ChannelSamples(rec, SimChannel::TxOut, 0, 600));
    // A disk that fills up on the way: the status says why, the exit status says it failed.
    FileSizeLimit limit(20000);
    // The signal of the limit reaches the child with its default action, which ends a program.
    const auto ignored = std::signal(SIGXFSZ, SIG_DFL);
    const auto full =
        RunCli("parse " + dir.File("rec.raw") + " --format 16k4 --base f --no-stamp --out " + dir.Path());
    std::signal(SIGXFSZ, ignored);
    EXPECT_EQ(full.exitCode, 5) << full.out;
    EXPECT_NE(full.out.find("File too large"), std::string::npos) << full.out;
}

TEST(ParseCli, StandardInputParsesAsTheFileThroughACopyThatIsRemoved) {
    const SimRecord rec = MakeSimRecord(Config(sim::Protocol::New, DataStreamFormat::Ksps16Ms4), 600);
    TempDir dir, tmp;
    WriteBytes(dir.File("rec.raw"), rec.bytes);
    const std::string env = "TMPDIR=" + tmp.Path();
    const auto file =
        RunCli("parse " + dir.File("rec.raw") + " --format 16k4 --base f --no-stamp --out " + dir.Path());
    const auto in = RunCli(
        "parse - --format 16k4 --base s --no-stamp --out " + dir.Path() + " < " + dir.File("rec.raw"), env);
    EXPECT_EQ(file.exitCode, 0) << file.out;
    EXPECT_EQ(in.exitCode, 0) << in.out;
    for (const char* channel : {"Raw_TXOUT1", "Raw_RXIN1", "MIPS"}) {
        const std::vector<uint8_t> wav = ReadBytes(dir.File(std::string("f-") + channel + ".wav"));
        EXPECT_FALSE(wav.empty()) << channel;
        EXPECT_EQ(wav, ReadBytes(dir.File(std::string("s-") + channel + ".wav"))) << channel;
    }
    EXPECT_TRUE(tmp.List().empty());
    // A copy that cannot be written ends with the write failure's status and names its cause.
    FileSizeLimit limit(20000);
    const auto ignored = std::signal(SIGXFSZ, SIG_DFL);
    const auto full = RunCli("parse - --out " + dir.Path() + " < " + dir.File("rec.raw"), env);
    std::signal(SIGXFSZ, ignored);
    EXPECT_EQ(full.exitCode, 5) << full.out;
    EXPECT_NE(full.out.find("vintrel-cli parse: cannot copy standard input to \"" + tmp.Path()),
              std::string::npos)
        << full.out;
    EXPECT_NE(full.out.find("File too large"), std::string::npos) << full.out;
    EXPECT_TRUE(tmp.List().empty());
}

TEST(ParseCli, DamagedRecordsPrintTheDiagnosis) {
    sim::StreamConfig c = Config(sim::Protocol::Old, DataStreamFormat::Ksps8Ms4);
    c.damage.skipFrameEvery = 200;
    TempDir dir;
    WriteBytes(dir.File("old.bin"), sim::GenerateStream(c, 700));
    // The protocol is the first marker's.
    const auto r = RunCli("parse " + dir.File("old.bin") + " --out " + dir.Path() + " --base x");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find(" 4 consistent fragment(s), total 3 sec recorded\n"), std::string::npos) << r.out;
    EXPECT_NE(
        r.out.find("Inconsistencies (fragments): 4\nChecksum errors (if verified): 0\nTotal frames: 697\n"),
        std::string::npos)
        << r.out;
    EXPECT_NE(
        r.out.find("\nGap: frames 199 to 199 missing (1 frames), 4000 samples of silence at sample 6368\n"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(dir.List().size(), 13u); // ten WAV files, the gaps and the key report, with a time stamp
    // The exact fill: one frame of silence a gap.
    const auto exact =
        RunCli("parse " + dir.File("old.bin") + " --out " + dir.Path() + " --base y --no-stamp --gaps exact");
    EXPECT_EQ(exact.exitCode, 0) << exact.out;
    EXPECT_EQ(ReadWav(dir.File("y-Raw_TXIN1.wav")).frames, 700 * 32);
    EXPECT_NE(
        Text(dir.File("y-gaps.txt"))
            .find("Gap: frames 599 to 599 missing (1 frames), 32 samples of silence at sample 19168\r\n"),
        std::string::npos);
    EXPECT_EQ(RunCli("parse " + dir.File("old.bin") + " --gaps often").exitCode, 2);
}

TEST(ParseCli, JsonLinesGiveEachBreakAndOneSummaryWithTheFiles) {
    // Frames numbered from 0 with 300 to 304 missing, later a step back by 100; a bad checksum and
    // an unknown tag on the way.
    std::vector<uint8_t> bytes;
    for (uint32_t i = 0; i < 900; ++i) {
        const uint32_t n = i < 300 ? i : i < 700 ? i + 5 : i - 95;
        test::NewFrame f(n);
        f.Raw(0x0101, std::vector<int16_t>(32, int16_t(i))).Raw(0x0701, std::vector<int16_t>(32, 1));
        if (i == 400) f.BadChecksum();
        if (i == 450) f.Raw(0x0103, {1});
        test::Append(bytes, f.Bytes());
    }
    TempDir dir;
    WriteBytes(dir.File("rec.raw"), bytes);
    const auto r =
        RunCli("parse " + dir.File("rec.raw") + " --json --base j --no-stamp --out " + dir.Path(), "", true);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    std::vector<Json> lines;
    ASSERT_NO_THROW(lines = JsonLinesOf(r.out)) << r.out;
    const auto gaps = OfType(lines, "gap");
    ASSERT_EQ(gaps.size(), 2u) << r.out;
    EXPECT_EQ(gaps[0]["kind"].Str(), "gap");
    EXPECT_EQ(gaps[0]["after_frame"].Num(), 299);
    EXPECT_EQ(gaps[0]["next_frame"].Num(), 305);
    EXPECT_EQ(gaps[0]["missing"].Num(), 5);
    EXPECT_GT(gaps[0]["silence_samples"].Num(), 0);
    EXPECT_EQ(gaps[0]["at_sample"].Num(), 300 * 32);
    EXPECT_EQ(gaps[1]["kind"].Str(), "jump");
    EXPECT_EQ(gaps[1]["after_frame"].Num(), 704);
    EXPECT_EQ(gaps[1]["next_frame"].Num(), 605);
    EXPECT_TRUE(gaps[1]["missing"].IsNull());
    const Json& summary = lines.back();
    ASSERT_EQ(summary["type"].Str(), "summary");
    EXPECT_EQ(OfType(lines, "summary").size(), 1u);
    EXPECT_EQ(summary["fragments"].Num(), 3) << r.out;
    EXPECT_EQ(summary["exit_status"].Num(), 0);
    std::vector<std::string> files;
    for (const Json& f : summary["files"].Arr()) files.push_back(f.Str());
    EXPECT_NE(std::find(files.begin(), files.end(), dir.File("j-Raw_TXIN1.wav")), files.end()) << r.out;
    EXPECT_NE(std::find(files.begin(), files.end(), dir.File("j-gaps.txt")), files.end()) << r.out;

    // An unreadable record: its error, then the summary with nothing written.
    const auto bad = RunCli("parse " + dir.File("absent.raw") + " --json --out " + dir.Path(), "", true);
    EXPECT_EQ(bad.exitCode, 2);
    lines = JsonLinesOf(bad.out);
    ASSERT_EQ(lines.size(), 2u) << bad.out;
    EXPECT_EQ(lines[0]["type"].Str(), "error");
    EXPECT_EQ(lines[1]["type"].Str(), "summary");
    EXPECT_TRUE(lines[1]["files"].Arr().empty());
}

TEST(ParseCli, MultichannelFileIsListedOrRefusedWithAWarning) {
    TempDir dir;
    // An old-protocol record of all five channels: one file of five, listed after the mono files.
    WriteBytes(dir.File("old.bin"),
               sim::GenerateStream(Config(sim::Protocol::Old, DataStreamFormat::Ksps8Ms4), 300));
    auto r = RunCli("parse " + dir.File("old.bin") + " --multichannel --json --base m --no-stamp --out " +
                        dir.Path(),
                    "", true);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    std::vector<Json> lines = JsonLinesOf(r.out);
    EXPECT_TRUE(OfType(lines, "warning").empty()) << r.out;
    std::vector<std::string> files;
    for (const Json& f : lines.back()["files"].Arr()) files.push_back(f.Str());
    EXPECT_NE(std::find(files.begin(), files.end(), dir.File("m-multichannel.wav")), files.end()) << r.out;
    const WavContent multi = ReadWavSox(dir.File("m-multichannel.wav"));
    if (multi.error != "no sox") {
        EXPECT_EQ(multi.channels, 5) << multi.error;
        EXPECT_EQ(multi.frames, ReadWav(dir.File("m-Raw_TXIN1.wav")).frames);
    }

    // Channels of different sample counts: the mono files only, and the cause as a warning.
    std::vector<uint8_t> bytes;
    for (uint32_t n = 0; n < 300; ++n)
        Append(bytes, NewFrame(n)
                          .Raw(0x0101, std::vector<int16_t>(64, 1))
                          .Raw(0x0701, std::vector<int16_t>(32, 2))
                          .Bytes());
    WriteBytes(dir.File("rec.raw"), bytes);
    r = RunCli("parse " + dir.File("rec.raw") + " --multichannel --json --base d --no-stamp --out " +
                   dir.Path(),
               "", true);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    lines = JsonLinesOf(r.out);
    const auto warnings = OfType(lines, "warning");
    ASSERT_EQ(warnings.size(), 1u) << r.out;
    EXPECT_EQ(warnings[0]["message"].Str(),
              "Stereo impossible: incompatible frequencies/sizes (Raw_TXIN1 64 samples, "
              "Raw_RXOUT1 32 samples per frame)");
    EXPECT_EQ(lines.back()["files"].Arr().size(), 2u) << r.out;
    EXPECT_LT(FileSize(dir.File("d-multichannel.wav")), 0);
}

TEST(ParseCli, UnreadableAndStructurelessFiles) {
    TempDir dir;
    // A missing file is said to be missing, not perhaps busy.
    auto r = RunCli("parse " + dir.File("absent.raw") + " --out " + dir.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(
        r.out.find("Can't open audio record file\n" + dir.File("absent.raw") + ": No such file or directory"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("busy"), std::string::npos) << r.out;
    WriteBytes(dir.File("noise"), std::vector<uint8_t>(20000, 0x41));
    r = RunCli("parse " + dir.File("noise") + " --out " + dir.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("wrong file structure"), std::string::npos) << r.out;
    EXPECT_EQ(RunCli("parse " + dir.File("noise") + " --on-damage sometimes").exitCode, 2);
    // Folders that are not there are named with the reason, before anything is written.
    struct Case {
        std::string options, says;
    };
    const Case folders[] = {
        {" --out " + dir.File("nowhere"), "--out " + dir.File("nowhere") + ": No such file or directory"},
        {" --out " + dir.File("noise"), "--out " + dir.File("noise") + ": Not a directory"},
        {" --base a/b --out " + dir.Path(),
         "--base a/b: folder " + dir.File("a") + ": No such file or directory"},
    };
    for (const Case& c : folders)
        for (const std::string& verb :
             {"parse " + dir.File("noise"), std::string("record --seconds 1 --connect 127.0.0.1:1")}) {
            r = RunCli(verb + c.options);
            EXPECT_EQ(r.exitCode, 2) << verb << c.options << "\n" << r.out;
            EXPECT_NE(r.out.find(c.says), std::string::npos) << verb << c.options << "\n" << r.out;
        }
    EXPECT_EQ(dir.List().size(), 1u);
}

TEST(ParseCli, BigEndianDumpEqualsTheLittleEndianParseAndAbortStops) {
    TempDir le, be;
    sim::StreamConfig c = Config(sim::Protocol::New, DataStreamFormat::Ksps8Ms4);
    WriteBytes(le.File("d"), sim::GenerateStream(c, 500));
    c.bigEndian = true;
    WriteBytes(be.File("d"), sim::GenerateStream(c, 500));
    EXPECT_EQ(RunCli("parse " + le.File("d") + " --no-stamp --out " + le.Path()).exitCode, 0);
    EXPECT_EQ(RunCli("parse " + be.File("d") + " --big-endian --no-stamp --out " + be.Path()).exitCode, 0);
    ASSERT_EQ(le.List(), be.List());
    // The same files, byte for byte; profile.c's line with the time of its writing aside.
    auto content = [](const std::string& path) {
        std::string t = Text(path);
        if (const size_t d = t.find("\n  Date: "); d != std::string::npos)
            t.erase(d, t.find('\n', d + 1) - d);
        return t;
    };
    for (const std::string& name : le.List())
        if (name != "d") {
            EXPECT_EQ(content(le.File(name)), content(be.File(name))) << name;
        }

    // Noise after frame 300: abort keeps what was parsed before it.
    std::vector<uint8_t> bytes =
        sim::GenerateStream(Config(sim::Protocol::New, DataStreamFormat::Ksps8Ms4), 500);
    bytes.insert(bytes.begin() + long(bytes.size() / 500 * 301), 30, uint8_t(0x11));
    TempDir dir;
    WriteBytes(dir.File("n"), bytes);
    const auto r = RunCli("parse " + dir.File("n") + " --on-damage abort --no-stamp --out " + dir.Path());
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("Sondrel offline parser: Temp file is corrupted: wrong frame format : frame 300. "
                         "Continue?\n  -> ABORT"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("total 301valid frames"), std::string::npos) << r.out;
}

namespace {

struct LiveCase {
    sim::Protocol protocol;
    const char* format;
    bool bigEndian;
    const char* platform;
};

// The simulator serving one client as fast as it can, and vintrel-cli recording three seconds of it
// (enough for the old protocol's whole key table even at 16 ms a frame).
void RecordLive(const LiveCase& lc) {
    const bool isNew = lc.protocol == sim::Protocol::New;
    std::vector<std::string> args = {"--listen",   "127.0.0.1:0",
                                     "--once",     "--as-fast-as-possible",
                                     "--seconds",  "30",
                                     "--protocol", isNew ? "new" : "old",
                                     "--format",   lc.format,
                                     "--platform", lc.platform,
                                     "--seed",     "9"};
    if (lc.bigEndian) args.push_back("--big-endian");
    sim::test::SimChildProcess simulator(args);
    ASSERT_TRUE(simulator.Started());
    const auto line = simulator.ReadLine(std::chrono::seconds(5));
    ASSERT_TRUE(line && line->rfind("listening on ", 0) == 0) << line.value_or("");
    TempDir dir;
    const auto r = RunCli("record --connect " + line->substr(13) + " --seconds 3 --format " + lc.format +
                          " --base live --no-stamp --keep-raw --multichannel --out " + dir.Path() +
                          " --dump " + dir.Path() + (lc.bigEndian ? " --big-endian" : ""));
    ASSERT_TRUE(test::RanWithoutComplaint(r.exitCode, r.out)) << r.out;

    sim::StreamConfig c = Config(lc.protocol, *ParseFormatName(lc.format), 9);
    c.platform = *sim::ParsePlatformName(lc.platform);
    const StreamFormat f = GetStreamFormat(c.format);
    const long recorded = long(ValueAfter(r.out, "Recorded frames: "));
    EXPECT_GE(recorded, 3 * long(f.FramesPerSec));
    EXPECT_EQ(ValueAfter(r.out, "Checksum errors: "), 0u) << r.out;
    // The raw record is the simulator's stream from the first frame recorded on, little-endian.
    const std::vector<uint8_t> raw = ReadBytes(dir.File("temp.$$$"));
    const size_t frameBytes = MakeSimRecord(c, 1).bytes.size();
    ASSERT_EQ(raw.size(), size_t(recorded) * frameBytes);
    // The debug dump holds every byte read, the recorded frames among them: the first frame
    // recorded is at most that far into the stream, however long the start took.
    const std::vector<uint8_t> dump = ReadBytes(dir.File(DebugDump::kRawDumpFile));
    const size_t framesRead = dump.size() / frameBytes + 1;
    const SimRecord rec = MakeSimRecord(c, framesRead + 1);
    if (!lc.bigEndian) {
        EXPECT_NE(std::search(dump.begin(), dump.end(), raw.begin(), raw.end()), dump.end());
    }
    EXPECT_GE(dump.size(), raw.size());
    const std::vector<int16_t> rx = ReadWav(dir.File("live-Raw_RXOUT1.wav")).samples;
    ASSERT_EQ(rx.size(), size_t(recorded) * size_t(f.ChannLenWords));
    long first = -1;
    for (size_t k = 0; k < framesRead && first < 0; ++k)
        if (std::equal(rec.samples[k][0].begin(), rec.samples[k][0].end(), rx.begin())) first = long(k);
    ASSERT_GE(first, 0);
    // All five raw channels in one file too, as long as each of them.
    if (const WavContent multi = ReadWavSox(dir.File("live-multichannel.wav")); multi.error != "no sox") {
        EXPECT_EQ(multi.channels, 5) << multi.error;
        EXPECT_EQ(multi.frames, long(rx.size()));
    }
    for (const auto ch :
         {SimChannel::RxOut, SimChannel::Tx1In, SimChannel::TxOut, SimChannel::RxIn, SimChannel::Tx2In}) {
        const char* name = ch == SimChannel::RxOut   ? "Raw_RXOUT1"
                           : ch == SimChannel::Tx1In ? "Raw_TXIN1"
                           : ch == SimChannel::TxOut ? "Raw_TXOUT1"
                           : ch == SimChannel::RxIn  ? "Raw_RXIN1"
                                                     : "Raw_TXIN2";
        EXPECT_EQ(ReadWav(dir.File(std::string("live-") + name + ".wav")).samples,
                  ChannelSamples(rec, ch, size_t(first), size_t(recorded)))
            << name;
    }
    if (isNew && std::string(lc.platform) == "Kalimba") {
        const auto p = sim::MakeTargetProfile(sim::TargetPlatform::Kalimba).words;
        const std::string psr = Text(dir.File("live-prf9rev1187_PSK.psr"));
        EXPECT_EQ(psr.substr(0, 8), "&0213 = ");
        EXPECT_EQ(std::count(psr.begin(), psr.end(), '\n'), 3);
    } else if (isNew) {
        EXPECT_NE(Text(dir.File("live-profile.c")).find("  Target h/w platform: General\r\n"),
                  std::string::npos);
    } else {
        EXPECT_EQ(Text(dir.File("live-PSK.txt")).substr(0, 26), "Kalimba Vexil Version 27\r\n");
    }
    EXPECT_EQ(simulator.Wait(std::chrono::seconds(10)), 0);
}

} // namespace

TEST(RecordCli, LiveRecordOfTheNewProtocolHoldsTheSimulatorsSignal) {
    RecordLive({sim::Protocol::New, "8k4", false, "Kalimba"});
    RecordLive({sim::Protocol::New, "24k1.33", true, "General"});
}

TEST(RecordCli, LiveRecordOfTheOldProtocolHoldsTheSimulatorsSignal) {
    RecordLive({sim::Protocol::Old, "16k4", false, "General"});
    RecordLive({sim::Protocol::Old, "8k16", true, "General"});
}

TEST(RecordCli, EveryFrameIsRecordedOnceAcrossPausesAndAReconnection) {
    // "24 Ksps, 1.33ms" in real time, pausing 120 ms every 2 s (at a frame boundary, then in the
    // middle of a frame) with the connection open, and closing it once in order: the link comes
    // back by itself and the record holds every frame from its first on, once and in order.
    const sim::StreamConfig c = Config(sim::Protocol::New, *ParseFormatName("24k1.33"), 5);
    const size_t perSec = size_t(GetStreamFormat(c.format).FramesPerSec);
    ScriptedTarget::Script script = ScriptedTarget::FromSimulator(c, 17 * perSec);
    for (size_t s = 2; s < 17; s += 2) script.Pauses.push_back({s * perSec, 120, s % 4 == 0});
    script.CloseAfter = {7 * perSec + 3};
    ScriptedTarget target(script);
    TempDir dir;
    const auto r =
        RunCli("record --connect " + target.Address() +
               " --seconds 12 --format 24k1.33 --base live --no-stamp --keep-raw --out " + dir.Path());
    ASSERT_TRUE(test::RanWithoutComplaint(r.exitCode, r.out)) << r.out;
    EXPECT_EQ(target.Accepted(), 2);
    EXPECT_NE(r.out.find("link: connection lost"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("link: connected again"), std::string::npos) << r.out;
    // The close was one drop, made good once; the pauses with the connection open are none.
    EXPECT_EQ(ValueAfter(r.out, "Reconnects: "), 1u) << r.out;
    EXPECT_EQ(ValueAfter(r.out, "Link drops: "), 1u) << r.out;
    const size_t recorded = size_t(ValueAfter(r.out, "Recorded frames: "));
    ASSERT_GE(recorded, 12 * perSec) << r.out;

    const std::vector<uint8_t> raw = ReadBytes(dir.File("temp.$$$"));
    const std::vector<size_t>& starts = script.FrameStarts;
    ASSERT_FALSE(raw.empty());
    const auto first = std::find_if(starts.begin(), starts.end(), [&](size_t at) {
        return at + raw.size() <= script.Bytes.size() &&
               std::equal(raw.begin(), raw.end(), script.Bytes.begin() + long(at));
    });
    ASSERT_NE(first, starts.end()) << "the raw record is not one stretch of the stream";
    const size_t k0 = size_t(first - starts.begin());
    ASSERT_LT(k0 + recorded, starts.size());
    EXPECT_EQ(starts[k0 + recorded] - starts[k0], raw.size()); // whole frames, as many as counted

    const SimRecord rec = MakeSimRecord(c, k0 + recorded);
    EXPECT_EQ(ReadWav(dir.File("live-Raw_RXOUT1.wav")).samples,
              ChannelSamples(rec, SimChannel::RxOut, k0, recorded));
    EXPECT_EQ(ReadWav(dir.File("live-Raw_TXIN2.wav")).samples,
              ChannelSamples(rec, SimChannel::Tx2In, k0, recorded));
}

TEST(RecordCli, FramesTheTableLacksAndNumberingGapsReachTheFilesAsTheyCame) {
    const ScriptedTarget::Script script = TableChangeScript();
    ScriptedTarget target(script);
    TempDir dir;
    const auto r =
        RunCli("record --connect " + target.Address() +
               " --seconds 3 --base live --no-stamp --keep-raw --gaps exact --json --out " + dir.Path());
    ASSERT_EQ(r.exitCode, 0) << r.out;
    // The text and the JSON Lines say the same.
    std::vector<Json> lines;
    ASSERT_NO_THROW(lines = JsonLinesAmong(r.out)) << r.out;
    ASSERT_FALSE(lines.empty());
    const Json& summary = lines.back();
    ASSERT_EQ(summary["type"].Str(), "summary") << r.out;
    EXPECT_EQ(OfType(lines, "summary").size(), 1u);
    // The counters come first; the parse's own "Total frames:" follows for a damaged record.
    EXPECT_EQ(summary["total_frames"].Num(), std::stod(r.out.substr(r.out.find("Total frames: ") + 14)));
    EXPECT_EQ(summary["recorded_frames"].Num(), double(ValueAfter(r.out, "Recorded frames: ")));
    EXPECT_EQ(summary["link_drops"].Num(), 0);
    EXPECT_FALSE(summary["files"].Arr().empty());
    const auto gaps = OfType(lines, "gap");
    ASSERT_EQ(gaps.size(), 1u) << r.out;
    EXPECT_EQ(gaps[0]["after_frame"].Num(), 599);
    EXPECT_EQ(gaps[0]["next_frame"].Num(), 610);
    EXPECT_EQ(gaps[0]["missing"].Num(), 10);
    EXPECT_EQ(gaps[0]["silence_samples"].Num(), 320);
    EXPECT_FALSE(OfType(lines, "status").empty()); // three seconds of recording
    for (const Json& f : summary["files"].Arr())
        EXPECT_NE(r.out.find("  " + f.Str() + "\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nRaw_RXIN2 from frame 500 not written: not in the record's channel table\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\nGap: frames 600 to 609 missing (10 frames), 320 samples of silence at sample "),
              std::string::npos)
        << r.out;
    // The files span the numbers of the first and the last frame recorded.
    const std::vector<uint8_t> raw = ReadBytes(dir.File("temp.$$$"));
    ASSERT_GT(raw.size(), 16u);
    auto numberAt = [&](size_t at) { return uint32_t(raw[at + 8]) | uint32_t(raw[at + 9]) << 8; };
    const uint32_t first = numberAt(0);
    size_t last = 0;
    for (size_t at = 0; at < raw.size(); at += size_t(raw[at + 12]) | size_t(raw[at + 13]) << 8) last = at;
    ASSERT_LT(first, 250u) << "the recording began late";
    ASSERT_GT(numberAt(last), 610u) << "the recording ended early";
    const std::vector<int16_t> tx = ReadWav(dir.File("live-Raw_TXIN1.wav")).samples;
    ASSERT_EQ(tx.size(), size_t(numberAt(last) - first + 1) * 32);
    for (uint32_t n = first; n <= numberAt(last); ++n)
        ASSERT_EQ(tx[(n - first) * 32], n >= 600 && n < 610 ? 0 : int16_t(n)) << n;
    EXPECT_EQ(ReadWav(dir.File("live-MIPS.wav")).samples.size(), tx.size());
}

TEST(RecordCli, ALinkThatDoesNotComeBackEndsAtTheWallClockLimitWithExitOne) {
    // 100 frames, then the target closes and has nothing more: 1 s of frames never comes, and
    // the recording ends after 2 * 1 + 15 s with what it had.
    ScriptedTarget::Script script =
        ScriptedTarget::FromSimulator(Config(sim::Protocol::New, DataStreamFormat::Ksps8Ms4), 100);
    script.CloseAfter = {99};
    ScriptedTarget target(script);
    TempDir dir;
    const auto r =
        RunCli("record --connect " + target.Address() + " --seconds 1 --no-stamp --out " + dir.Path());
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("The link did not come back before the wall-clock limit of 17 s"), std::string::npos)
        << r.out;
    EXPECT_LE(ValueAfter(r.out, "Recorded frames: "), 100u) << r.out;
}

TEST(RecordCli, FailuresEndWithTheirExitStatus) {
    TempDir dir;
    const auto refused = RunCli("record --connect 127.0.0.1:1 --seconds 1 --out " + dir.Path());
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_NE(refused.out.find("TCP/IP error: Connection refused (127.0.0.1:1)"), std::string::npos)
        << refused.out;
    for (const char* options : {"--seconds 1 --frames 5", "--raw a --keep-raw", "--frames 0"}) {
        const auto r = RunCli(std::string("record --connect 127.0.0.1:1 ") + options);
        EXPECT_EQ(r.exitCode, 2) << options;
        EXPECT_NE(r.out.find("usage: vintrel-cli record"), std::string::npos) << r.out;
    }
    EXPECT_EQ(RunCli("record --seconds 1 --format 9k9").exitCode, 2);
    EXPECT_TRUE(dir.List().empty());

    // A disk that fills up under the raw record: the frames it lost are counted and the run fails.
    ScriptedTarget target(
        ScriptedTarget::FromSimulator(Config(sim::Protocol::New, DataStreamFormat::Ksps8Ms4), 400));
    FileSizeLimit limit(20000);
    const auto ignored = std::signal(SIGXFSZ, SIG_DFL);
    const auto r =
        RunCli("record --connect " + target.Address() + " --seconds 1 --no-stamp --out " + dir.Path());
    std::signal(SIGXFSZ, ignored);
    EXPECT_EQ(r.exitCode, 5) << r.out;
    EXPECT_GT(ValueAfter(r.out, "Frames lost from the raw record: "), 0u) << r.out;
}

namespace {

// Counts the frames of a raw record of the new protocol (each frame's length at its byte 12).
size_t RawFrames(const std::vector<uint8_t>& raw) {
    size_t n = 0;
    for (size_t at = 0; at + 14 <= raw.size(); at += size_t(raw[at + 12]) | size_t(raw[at + 13]) << 8) {
        if ((size_t(raw[at + 12]) | size_t(raw[at + 13]) << 8) == 0) return 0;
        ++n;
    }
    return n;
}

} // namespace

TEST(RecordCli, FrameCountsAndRawRecordsThatAreKept) {
    const auto script = [] {
        return ScriptedTarget::FromSimulator(Config(sim::Protocol::New, DataStreamFormat::Ksps8Ms4), 700);
    };
    TempDir dir;
    const auto record = [&](const std::string& options) {
        ScriptedTarget target(script());
        return RunCli("record --connect " + target.Address() + " --no-stamp --out " + dir.Path() + " " +
                      options);
    };
    auto r = record("--frames 500 --keep-raw --base a");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(ValueAfter(r.out, "Recorded frames: "), 500u) << r.out;
    const std::vector<uint8_t> first = ReadBytes(dir.File("temp.$$$"));
    EXPECT_EQ(RawFrames(first), 500u);
    EXPECT_NE(r.out.find("Raw record: " + dir.File("temp.$$$") + "\n"), std::string::npos) << r.out;
    // A second kept record takes the next free name; the first stays as it was.
    r = record("--frames 300 --keep-raw --base b --json");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(ReadBytes(dir.File("temp.$$$")), first);
    EXPECT_EQ(RawFrames(ReadBytes(dir.File("temp-1.$$$"))), 300u);
    std::vector<Json> lines;
    ASSERT_NO_THROW(lines = JsonLinesAmong(r.out)) << r.out;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["raw_record"].Str(), dir.File("temp-1.$$$"));
    // A named raw record is kept; an existing one is refused unless --force is given.
    const std::string named = dir.File("named.raw");
    r = record("--frames 300 --base c --raw " + named);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(RawFrames(ReadBytes(named)), 300u);
    r = record("--frames 300 --base d --raw " + named);
    EXPECT_EQ(r.exitCode, 2) << r.out;
    EXPECT_NE(
        r.out.find("vintrel-cli record: the raw record \"" + named + "\" exists (--force overwrites it)"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(record("--frames 310 --base d --force --raw " + named).exitCode, 0);
    EXPECT_EQ(RawFrames(ReadBytes(named)), 310u);
}

} // namespace vintrel
