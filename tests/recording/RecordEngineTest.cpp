// Recording in the live engine against a target on loopback TCP: the time limit, the end by a
// disconnection, and the record across an automatic reconnection.
#include "RecordTestSupport.h"
#include "app/EngineRig.h"
#include "support/FrameBuilder.h"
#include "support/StreamServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace vintrel {

using namespace test;
using sim::SimChannel;

namespace {

RecordSettings Settings(const TempDir& dir, const char* maxTime) {
    RecordSettings s;
    s.RecordingsFolder = dir.Path();
    s.FileNameBase = "rec";
    s.IncludeTimeStamp = false;
    s.ShowFiles = false;
    s.MaxTimeText = maxTime;
    return s;
}

// The generated frame whose TX1in samples open `samples`; -1 when none does.
long FirstFrame(const SimRecord& rec, const std::vector<int16_t>& samples) {
    for (size_t k = 0; k < rec.samples.size(); ++k) {
        const auto& s = rec.samples[k][size_t(SimChannel::Tx1In)];
        if (samples.size() >= s.size() && std::equal(s.begin(), s.end(), samples.begin())) return long(k);
    }
    return -1;
}

} // namespace

TEST(RecordEngine, TimeLimitOverLoopbackGivesTheTargetsSignalAndKeyFile) {
    sim::StreamConfig c;
    c.platform = sim::TargetPlatform::Kalimba;
    c.seed = 31;
    const SimRecord rec = MakeSimRecord(c, 2000);
    StreamServer server(
        [&](int k) { return StreamServer::Plan{.Bytes = k == 0 ? rec.bytes : std::vector<uint8_t>{}}; });
    TempDir dir;
    EngineRig rig;
    rig.settings.IPAddrPort = server.Address();
    RecordingControl& rc = rig.engine.Recording();
    rig.recordSettings = Settings(dir, "2");
    ScriptedQuestions questions;
    rig.questions = &questions;
    rig.engine.Start();
    ASSERT_TRUE(rig.engine.ConnectButtonClick(false)) << rig.tcpError;
    rc.StartStopButtonClick();
    ASSERT_TRUE(rc.IsRecording());
    EXPECT_TRUE(rig.PumpUntil([&] { return !rc.IsRecording(); }, 20000));
    const ParseOutcome& o = rc.LastParse();
    EXPECT_GE(o.Frames, 500);
    EXPECT_EQ(o.Portion, 1);
    EXPECT_TRUE(questions.damage.empty());
    const std::vector<int16_t> tx = ReadWav(dir.File("rec-Raw_TXIN1.wav")).samples;
    ASSERT_EQ(tx.size(), size_t(o.Frames) * 32);
    const long first = FirstFrame(rec, tx);
    ASSERT_GE(first, 0);
    EXPECT_EQ(tx, ChannelSamples(rec, SimChannel::Tx1In, size_t(first), size_t(o.Frames)));
    EXPECT_GE(FileSize(dir.File("rec-prf9rev1187_PSK.psr")), 100);
    EXPECT_EQ(FileSize(dir.File("temp.$$$")), -1);
    EXPECT_TRUE(rig.engine.Connected());
}

TEST(RecordEngine, DisconnectingEndsTheRecordingWithItsParse) {
    const auto bytes = sim::GenerateStream({}, 3000);
    StreamServer server([&](int) { return StreamServer::Plan{.Bytes = bytes}; });
    TempDir dir;
    EngineRig rig;
    rig.settings.IPAddrPort = server.Address();
    RecordingControl& rc = rig.engine.Recording();
    rig.recordSettings = Settings(dir, "999");
    rig.engine.Start();
    ASSERT_TRUE(rig.engine.ConnectButtonClick(false));
    rc.StartStopButtonClick();
    ASSERT_TRUE(rig.PumpUntil([&] { return rc.Recorder().RecNo.load() >= 400; }, 20000));
    EXPECT_TRUE(rc.Controls().StartStopEnabled);
    EXPECT_FALSE(rig.engine.ConnectButtonClick(false)); // disconnects
    EXPECT_FALSE(rc.IsRecording());
    EXPECT_FALSE(rc.Controls().StartStopEnabled);
    EXPECT_GE(rc.LastParse().Frames, 400);
    EXPECT_EQ(rc.LastParse().Frames, rc.Recorder().RecNo.load());
    EXPECT_EQ(ReadWav(dir.File("rec-Raw_RXOUT1.wav")).frames, long(rc.LastParse().Frames) * 32);
}

TEST(RecordEngine, AutomaticReconnectKeepsTheRecordUnlessTheLayoutChanged) {
    // The first connection skips four frames ten apart after frame 400: the fourth reconnects.
    // The second connection goes on with the same frames (numbers 100 further on: a gap), or
    // brings another layout (the simulator's five channels).
    std::vector<uint8_t> damaged, same;
    uint32_t n = 0;
    for (int i = 0; i < 600; ++i) {
        if (i >= 400 && i < 440 && i % 10 == 0) ++n;
        Append(damaged, NewFrame(n++).Raw(0x0101, std::vector<int16_t>(32, int16_t(i))).Bytes());
    }
    const uint32_t sameFirst = n + 100;
    for (uint32_t k = 0; k < 500; ++k)
        Append(same, NewFrame(sameFirst + k).Raw(0x0101, std::vector<int16_t>(32, 7)).Bytes());
    const auto other = sim::GenerateStream({}, 3000);
    for (const bool sameLayout : {true, false}) {
        SCOPED_TRACE(sameLayout ? "same layout" : "other layout");
        // The first connection's frames follow the start of the recording, however slow the
        // machine is to start it.
        std::atomic<bool> recording{false};
        StreamServer server([&](int k) {
            for (int w = 0; k == 0 && !recording && w < 2000; ++w)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return StreamServer::Plan{.Bytes = k == 0   ? damaged
                                               : k == 1 ? (sameLayout ? same : other)
                                                        : std::vector<uint8_t>{},
                                      .Piece = 2088,
                                      .PauseUs = k == 1 ? 4000 : 0}; // the second in about real time
        });
        TempDir dir;
        EngineRig rig;
        rig.settings.IPAddrPort = server.Address();
        RecordingControl& rc = rig.engine.Recording();
        rig.recordSettings = Settings(dir, "999");
        rig.engine.Start();
        ASSERT_TRUE(rig.engine.ConnectButtonClick(false));
        rc.StartStopButtonClick();
        recording = true;
        if (sameLayout) {
            // One record across the reconnection, its gaps filled with silence.
            ASSERT_TRUE(rig.PumpUntil([&] { return rig.lastFrameNum.load() == sameFirst + 499; }, 20000))
                << rig.engine.Links().Reconnects() << " " << rig.lastFrameNum.load();
            EXPECT_EQ(rig.engine.Links().Reconnects(), 1u);
            EXPECT_TRUE(rc.IsRecording());
            rc.StartStopButtonClick();
            EXPECT_EQ(rc.LastParse().Frames, rc.Recorder().RecNo.load());
            EXPECT_GE(rc.LastParse().Frames, 430 + 500);
            EXPECT_GE(rc.LastParse().Portion, 5);
        } else {
            // The first record ends at the reconnection, parsed; a fresh one runs.
            ASSERT_TRUE(rig.PumpUntil([&] { return rc.LastParse().Opened && rc.IsRecording(); }, 20000))
                << rig.engine.Links().Reconnects() << " " << rc.IsRecording() << " " << rig.sink.Status();
            EXPECT_GE(rc.LastParse().Frames, 430);
            EXPECT_GE(rc.LastParse().Portion, 2);
        }
        EXPECT_EQ(FileSize(dir.File("rec-Raw_TXIN1.wav")),
                  44 + 2 * 32 * (rc.LastParse().Frames + 250 * (rc.LastParse().Portion - 1)));
    }
}

} // namespace vintrel
