// Offline parses: big-endian dumps through a swapped copy, the protocol question, failures.
#include "recording/OfflineParse.h"
#include "RecordingRun.h"

#include <gtest/gtest.h>

namespace vintrel {

using namespace test;

namespace {

std::vector<uint8_t> Stream(sim::Protocol p, bool be, uint64_t frames = 700) {
    sim::StreamConfig c;
    c.protocol = p;
    c.format = DataStreamFormat::Ksps24Ms2_67;
    c.bigEndian = be;
    c.seed = 4;
    c.damage.skipFrameEvery = 333; // gaps too
    return sim::GenerateStream(c, frames);
}

OfflineRequest Request(const ParseRig& rig, const std::string& file, int protocol, bool be) {
    OfflineRequest r;
    r.FileName = file;
    r.ProtocolType = protocol;
    r.BigEndian = be;
    r.Parse = rig.request;
    return r;
}

} // namespace

TEST(OfflineParse, BigEndianDumpGivesTheFilesOfTheLittleEndianOneAndLeavesNoCopy) {
    for (sim::Protocol p : {sim::Protocol::New, sim::Protocol::Old}) {
        const int protocol = p == sim::Protocol::New ? 1 : 0;
        ParseRig le(protocol, DataStreamFormat::Ksps24Ms2_67), be(protocol, DataStreamFormat::Ksps24Ms2_67);
        WriteBytes(le.dir.File("dump.$$$"), Stream(p, false));
        const std::vector<uint8_t> beBytes = Stream(p, true);
        WriteBytes(be.dir.File("dump.$$$"), beBytes);
        const ParseOutcome a = ParseOffline(le.parser, Request(le, le.dir.File("dump.$$$"), protocol, false));
        const ParseOutcome b = ParseOffline(be.parser, Request(be, be.dir.File("dump.$$$"), protocol, true));
        EXPECT_EQ(a.Status, b.Status);
        EXPECT_EQ(a.Portion, 3);
        ASSERT_FALSE(le.WavNames().empty());
        ASSERT_EQ(le.WavNames(), be.WavNames());
        for (const std::string& name : le.WavNames())
            EXPECT_EQ(ReadBytes(le.dir.File("rec-" + name + ".wav")),
                      ReadBytes(be.dir.File("rec-" + name + ".wav")))
                << name;
        EXPECT_EQ(FileSize(be.dir.File("dump.$$$_LEnd.$$$")), -1);
        EXPECT_EQ(ReadBytes(be.dir.File("dump.$$$")), beBytes);
        EXPECT_TRUE(be.questions.messages.empty());
    }
}

TEST(OfflineParse, SwappedCopyIsNamedAfterTheChosenFile) {
    EXPECT_EQ(SwapFileName("/a/rec.$$$"), "/a/rec.$$$_LEnd.$$$");
    EXPECT_EQ(SwapFileName("/a.b/dump"), "/a.b/dump_LEnd");
    EXPECT_EQ(SwapFileName("x.tar.bin"), "x.tar.bin_LEnd.bin");
    EXPECT_EQ(SwapFileName("/a.b/dump.bin", "/rec"), "/rec/dump.bin_LEnd.bin"); // in the recordings folder
}

TEST(OfflineParse, UnknownProtocolIsAskedForThisParseOnly) {
    const std::vector<uint8_t> old = Stream(sim::Protocol::Old, false);
    for (bool yes : {false, true}) {
        ParseRig rig(0, DataStreamFormat::Ksps24Ms2_67);
        WriteBytes(rig.dir.File("dump.$$$"), old);
        rig.questions.yes = yes;
        const ParseOutcome o = ParseOffline(rig.parser, Request(rig, rig.dir.File("dump.$$$"), -2, false));
        ASSERT_EQ(rig.questions.yesNo.size(), 1u);
        EXPECT_EQ(rig.questions.yesNo[0], "Protocol unknown. Parse in new protocol?");
        EXPECT_EQ(rig.questions.captions[0], "Sondrel parser");
        EXPECT_EQ(o.WrongStructure, yes); // an old-protocol dump read as new has no structure
    }
}

TEST(OfflineParse, FailuresAreReportedAndChangeNothing) {
    ParseRig rig(1, DataStreamFormat::Ksps8Ms4);
    const std::string missing = rig.dir.File("missing.$$$");
    ParseOutcome o = ParseOffline(rig.parser, Request(rig, missing, 1, true));
    EXPECT_FALSE(o.Opened);
    ASSERT_EQ(rig.questions.messages.size(), 1u);
    EXPECT_EQ(rig.questions.messages[0], "Big Endian swapping failed: could not open" + missing + " or " +
                                             missing + "_LEnd.$$$\n" + missing +
                                             ": No such file or directory");
    EXPECT_TRUE(rig.dir.List().empty());
    // A cancelled dialog asks nothing, not even the protocol.
    o = ParseOffline(rig.parser, Request(rig, "", -2, true));
    EXPECT_FALSE(o.Opened);
    EXPECT_TRUE(rig.questions.yesNo.empty());
}

TEST(OfflineParse, ProtocolOfTheFirstMarker) {
    TempDir dir;
    PosixFileSystem files;
    WriteBytes(dir.File("new"), Stream(sim::Protocol::New, true, 5));
    WriteBytes(dir.File("old"), Stream(sim::Protocol::Old, false, 5));
    WriteBytes(dir.File("oldbe"), Stream(sim::Protocol::Old, true, 5));
    WriteBytes(dir.File("none"), std::vector<uint8_t>(5000, 0x12));
    EXPECT_EQ(DetectRecordProtocol(files, dir.File("new"), false), 1);
    EXPECT_EQ(DetectRecordProtocol(files, dir.File("old"), false), 0);
    EXPECT_EQ(DetectRecordProtocol(files, dir.File("oldbe"), true), 0);
    EXPECT_EQ(DetectRecordProtocol(files, dir.File("oldbe"), false), -1);
    EXPECT_EQ(DetectRecordProtocol(files, dir.File("none"), false), -1);
    EXPECT_EQ(DetectRecordProtocol(files, dir.File("absent"), false), -2);
}

TEST(OfflineParse, TheWindowsOfflineParseUsesTheLiveProtocolAndTheChosenFormat) {
    const std::vector<uint8_t> old = Stream(sim::Protocol::Old, false);
    RecordingRun run(old, {.Format = DataStreamFormat::Ksps24Ms2_67});
    run.Play(); // the receiver has seen old-protocol frames
    WriteBytes(run.dir.File("dump.$$$"), old);
    const ParseOutcome o =
        run.rc.ButtonParseOfflineClick(run.dir.File("dump.$$$"), false, DataStreamFormat::Ksps24Ms2_67);
    EXPECT_TRUE(run.questions.yesNo.empty());
    EXPECT_EQ(o.Portion, 3);
    EXPECT_FALSE(run.rc.IsParsing());
    EXPECT_EQ(run.rc.LastParse().Status, o.Status);
    EXPECT_EQ(run.Wav("Raw_TXIN1").rate, 24000);
    EXPECT_FALSE(run.rc.ButtonParseOfflineClick("", false, DataStreamFormat::Ksps8Ms4).Opened);
}

} // namespace vintrel
