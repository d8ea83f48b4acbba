// The PS-key and profile reports of a record and the details view, for the simulator's
// profiles and for hand-made edge cases, checked line by line.
#include "RecordingRun.h"
#include "recording/OfflineParse.h"
#include "recording/PskReports.h"
#include "sim/ProfileData.h"
#include "stream/Text.h"
#include "support/FrameBuilder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace vintrel {

using namespace test;

namespace {

std::vector<std::string> Lines(const std::string& text, const std::string& eol = "\r\n") {
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t nl; (nl = text.find(eol, at)) != std::string::npos; at = nl + eol.size())
        out.push_back(text.substr(at, nl - at));
    out.push_back(text.substr(at));
    return out;
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string HexLine(const std::vector<uint16_t>& w, size_t first, size_t count) {
    std::string s;
    char b[8];
    for (size_t i = first; i < first + count; ++i) {
        std::snprintf(b, sizeof b, "%04X ", unsigned(w[i]));
        s += b;
    }
    return s;
}

// Records a simulated stream to its end through the recorder and parses it.
struct Recorded {
    explicit Recorded(const sim::StreamConfig& c, uint64_t frames)
        : run(sim::GenerateStream(c, frames), {.Format = c.format}) {
        run.rc.StartStopButtonClick();
        run.Play();
        run.rc.StartStopButtonClick();
    }
    RecordingRun run;
};

sim::StreamConfig Sim(sim::Protocol p, sim::TargetPlatform platform = sim::TargetPlatform::General) {
    sim::StreamConfig c;
    c.protocol = p;
    c.platform = platform;
    c.seed = 8;
    return c;
}

} // namespace

TEST(ProfileReports, OldProtocolTextReportAndDetails) {
    Recorded r(Sim(sim::Protocol::Old), 1000);
    const auto table = sim::MakeOldPskTable();
    const std::vector<uint16_t> t(table.begin(), table.end());
    // "PS", version 27, groups 0x0211 (60 words), 0x0212 (48), 0x021C (12), "SK".
    std::vector<std::string> expected = {"Kalimba Vexil Version 27",
                                         "",
                                         "=== State of PSKeys ===",
                                         "",
                                         "Main PSKey 0x0211, length is 60",
                                         HexLine(t, 4, 60),
                                         "",
                                         "Additional PSKey 0x0212, length is 48",
                                         HexLine(t, 66, 48),
                                         "",
                                         "License PSKey 0x021C, length is 12",
                                         HexLine(t, 116, 12)};
    EXPECT_EQ(Lines(FileText(r.run.dir.File("rec-PSK.txt"))), expected);
    EXPECT_EQ(r.run.rc.LastParse().Reports, std::vector<std::string>{r.run.dir.File("rec-PSK.txt")});

    ProfileDisplay& d = r.run.rc.Profile();
    EXPECT_TRUE(d.CheckPskTab(0));
    EXPECT_EQ(r.run.status.Status(), "Kalimba Vexil version 27 detected");
    EXPECT_TRUE(d.ButtonVisible());
    EXPECT_EQ(d.PskTabLen(), 2 * 128 + 2);
    const size_t changes = r.run.status.entries.size();
    EXPECT_TRUE(d.CheckPskTab(0)); // the same table again: nothing new to say
    EXPECT_EQ(r.run.status.entries.size(), changes);
    d.PskButtonClick(0);
    EXPECT_EQ(d.ButtonCaption(), "Hide details");
    EXPECT_EQ(d.Details().Lines,
              (std::vector<std::string>{"Kalimba Vexil Version 27", "PSKey 0x0211, length 60",
                                        HexLine(t, 4, 60), "PSKey 0x0212, length 48", HexLine(t, 66, 48),
                                        "PSKey 0x021C, length 12", HexLine(t, 116, 12)}));
    EXPECT_EQ(d.Details().ExtraHeight, 180);
    d.PskClean();
    EXPECT_FALSE(d.DetailsShown());
    EXPECT_FALSE(d.ButtonVisible());
    EXPECT_EQ(d.ButtonCaption(), "Show details");
}

TEST(ProfileReports, KalimbaKeyFile) {
    Recorded r(Sim(sim::Protocol::New, sim::TargetPlatform::Kalimba), 600);
    const std::vector<uint16_t> p = sim::MakeTargetProfile(sim::TargetPlatform::Kalimba).words;
    const std::string psr = r.run.dir.File("rec-prf9rev1187_PSK.psr");
    EXPECT_EQ(Lines(FileText(psr)),
              (std::vector<std::string>{"&0213 = " + HexLine(p, 6, 46), "&0214 = " + HexLine(p, 52, 20),
                                        "&0220 = " + HexLine(p, 72, 8), ""}));
    EXPECT_EQ(r.run.rc.LastParse().Reports, std::vector<std::string>{psr});
    EXPECT_EQ(r.run.dir.List().size(), 18u); // 17 WAV files and the key file, no PSK.txt

    ProfileDisplay& d = r.run.rc.Profile();
    d.ShowPsk(1);
    const auto& lines = d.Details().Lines;
    ASSERT_EQ(lines.size(), 1u + 1 + 3 + 1 + 2 + 1 + 1);
    EXPECT_EQ(lines[0], "Kalimba Vexil Version 1187, Profile 9");
    EXPECT_EQ(lines[1], "PSKey 0x0213, length 46");
    EXPECT_EQ(lines[2], HexLine(p, 6, 16));
    EXPECT_EQ(lines[4], HexLine(p, 38, 14));
    EXPECT_EQ(lines[5], "Sec PSKey 0x0214, length 20");
    EXPECT_EQ(lines[8], "License PSKey 0x0220, length 8");
    EXPECT_EQ(d.Details().MemoHeight, int(RoundHalfEven((80 + 48) * 1.23)));
}

TEST(ProfileReports, GeneralProfileSource) {
    Recorded r(Sim(sim::Protocol::New), 600);
    const sim::TargetProfile profile = sim::MakeTargetProfile(sim::TargetPlatform::General);
    const std::vector<std::string> lines = Lines(FileText(r.run.dir.File("rec-profile.c")));
    ASSERT_EQ(lines.size(), 8 + profile.words.size() + 2);
    EXPECT_EQ(lines[0], "/*");
    EXPECT_EQ(lines[1], "  Profile structure version: 3");
    EXPECT_EQ(lines[2].rfind("  Date: ", 0), 0u);
    EXPECT_GT(lines[2].size(), 12u);
    EXPECT_EQ(lines[3], "  Vexil version: 412");
    EXPECT_EQ(lines[4], "  Target h/w platform: General");
    EXPECT_EQ(lines[5], "  Profile notes: This profile is saved by Tesmaro Sondrel V5.27k");
    EXPECT_EQ(lines[6], "*/");
    EXPECT_EQ(lines[7], "{");
    char b[16];
    for (size_t i = 0; i < profile.words.size(); ++i) {
        std::snprintf(b, sizeof b, "0x%04X%s", unsigned(profile.words[i]),
                      i + 1 < profile.words.size() ? "," : "");
        EXPECT_EQ(lines[8 + i], b) << i;
    }
    EXPECT_EQ(lines[8 + profile.words.size()], "},");
    EXPECT_EQ(lines.back(), "");
}

TEST(ProfileReports, ASavedRecordCarriesItsOwnProfileIntoTheReports) {
    // Parsed offline, with nothing received live: the reports come from the record's own chunks
    // and, in the old protocol, its header words; the same files a live recording writes.
    const std::vector<uint16_t> k = sim::MakeTargetProfile(sim::TargetPlatform::Kalimba).words;
    struct Case {
        sim::Protocol protocol;
        sim::TargetPlatform platform;
        const char* file;
        std::string firstLine;
    };
    for (const Case& c : {Case{sim::Protocol::New, sim::TargetPlatform::Kalimba, "rec-prf9rev1187_PSK.psr",
                               "&0213 = " + HexLine(k, 6, 46)},
                          Case{sim::Protocol::New, sim::TargetPlatform::General, "rec-profile.c", "/*"},
                          Case{sim::Protocol::Old, sim::TargetPlatform::General, "rec-PSK.txt",
                               "Kalimba Vexil Version 27"}}) {
        const sim::StreamConfig config = Sim(c.protocol, c.platform);
        ParseRig rig(c.protocol == sim::Protocol::New ? 1 : 0, config.format);
        WriteBytes(rig.dir.File("in.$$$"), sim::GenerateStream(config, 600));
        OfflineRequest r;
        r.FileName = rig.dir.File("in.$$$");
        r.ProtocolType = rig.request.ProtocolType;
        r.Parse = rig.request;
        const ParseOutcome o = ParseOffline(rig.parser, r);
        EXPECT_EQ(o.Reports, std::vector<std::string>{rig.dir.File(c.file)}) << c.file;
        EXPECT_EQ(Lines(FileText(rig.dir.File(c.file)))[0], c.firstLine) << c.file;
    }
}

TEST(ProfileReports, NoProfileReceivedNoReport) {
    // A live connection's profile is gone after a reset: the record gets WAV files only.
    sim::StreamConfig c = Sim(sim::Protocol::New, sim::TargetPlatform::Kalimba);
    RecordingRun run(sim::GenerateStream(c, 400), {});
    run.rc.StartStopButtonClick();
    run.Play();
    run.Replayed().State().Decoder.NewProtHeaderScarceDataInit();
    run.rc.StartStopButtonClick();
    EXPECT_TRUE(run.rc.LastParse().Reports.empty());
    EXPECT_EQ(run.dir.List().size(), 17u);
}

TEST(ProfileReports, ReportThatCannotBeWrittenSaysWhyAndLeavesNothingBehind) {
    ProfileSnapshot p;
    p.ProtocolType = 1;
    p.CheckPsk = 2;
    p.Scarce.PlatformID = "General";
    p.Scarce.FullProfileWords = 25;
    TempDir dir;
    const std::string report = dir.File("rec-profile.c");
    std::string headname = dir.File("rec-PSK.txt");
    // A full disk: the report's name leads to /dev/full, whose writes all fail.
    ASSERT_EQ(::symlink("/dev/full", report.c_str()), 0);
    LimitedFiles files;
    ReportResult r = WritePskReports(files, p, headname, "caption");
    EXPECT_TRUE(r.Written.empty());
    EXPECT_EQ(r.Error, "Can't write '" + report + "': No space left on device");

    // A plain file that takes only its first 100 bytes (a disk that fills up on the way) is
    // removed.
    ASSERT_EQ(::unlink(report.c_str()), 0);
    files.limit = 100;
    r = WritePskReports(files, p, headname, "caption");
    EXPECT_EQ(r.Error, "Can't write '" + report + "': File too large");
    EXPECT_TRUE(dir.List().empty());
}

namespace {
ProfileDisplay& ShowProfile(RecordingRun& run) {
    run.rc.Profile().ShowPsk(1);
    return run.rc.Profile();
}

// Frames that carry the target information and one profile in one chunk.
std::vector<uint8_t> ProfileFrames(uint16_t info, const std::vector<uint16_t>& words) {
    std::vector<uint8_t> out;
    for (uint32_t n = 0; n < 20; ++n)
        Append(
            out,
            NewFrame(n).Info(info, 77).Raw(0x0101, std::vector<int16_t>(32, 1)).Profile(0, 0, words).Bytes());
    return out;
}
} // namespace

TEST(ProfileReports, DetailsOfAGeneralProfileOfTwentyFiveWords) {
    std::vector<uint16_t> words(25);
    for (size_t i = 0; i < words.size(); ++i) words[i] = uint16_t(0x100 + i);
    RecordingRun run(ProfileFrames(0x0300, words), {});
    run.Play();
    ProfileDisplay& d = ShowProfile(run);
    std::string first, second;
    for (int i = 0; i < 12; ++i) first += "0x" + Hex4(uint16_t(0x100 + i)) + ", ";
    for (int i = 12; i < 24; ++i) second += "0x" + Hex4(uint16_t(0x100 + i)) + ", ";
    EXPECT_EQ(d.Details().Lines,
              (std::vector<std::string>{"  Target h/w platform: General",
                                        "  Profile structure version: 3  Vexil revision: 77", first, second,
                                        "0x0118, ===END==="}));
    EXPECT_EQ(d.Details().MemoHeight, 31); // round(25 x 1.23)
}

TEST(ProfileReports, KalimbaGroupsOfLengthOrKeyZero) {
    // Second group of length 0, third group with key 0; its length runs past the profile.
    const std::vector<uint16_t> words = {0x0213, 3, 0x0214, 0, 0x0000, 9, 0xA1, 0xA2, 0xA3, 0xC1, 0xC2};
    EXPECT_EQ(Lines(KalimbaPsrReport(words.data(), int(words.size()))),
              (std::vector<std::string>{"&0213 = 00A1 00A2 00A3 ", "&0000 = 00C1 00C2 ", ""}));
    RecordingRun run(ProfileFrames(0x0904, words), {});
    run.Play();
    ProfileDisplay& d = ShowProfile(run);
    EXPECT_EQ(d.Details().Lines, (std::vector<std::string>{"Kalimba Vexil Version 77, Profile 9",
                                                           "PSKey 0x0213, length 3", "00A1 00A2 00A3 "}));
}

} // namespace vintrel
