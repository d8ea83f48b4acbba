// The engine against a target on loopback TCP: frames, damage counters, reconnections.
#include "EngineRig.h"
#include "connection/TcpClient.h"
#include "sim/StreamGenerator.h"
#include "support/FrameBuilder.h"
#include "support/StreamServer.h"

#include <gtest/gtest.h>

namespace vintrel {

using test::EngineRig;
using test::StreamServer;

namespace {
std::vector<uint8_t> SimStream(sim::Protocol p, DataStreamFormat f, bool be, uint64_t frames,
                               sim::DamagePlan damage = {}, sim::DamageCounts* counts = nullptr,
                               uint32_t startCounter = 0) {
    sim::StreamConfig c;
    c.protocol = p;
    c.format = f;
    c.bigEndian = be;
    c.damage = damage;
    c.startCounter = startCounter;
    return sim::GenerateStream(c, frames, counts);
}
} // namespace

TEST(EngineTcp, CountersEqualTheDamageForEachProtocolAndByteOrder) {
    struct Case {
        sim::Protocol p;
        DataStreamFormat f;
        bool be;
    };
    for (const Case& c : {Case{sim::Protocol::New, DataStreamFormat::Ksps8Ms4, false},
                          Case{sim::Protocol::New, DataStreamFormat::Ksps24Ms1_33, true},
                          Case{sim::Protocol::Old, DataStreamFormat::Ksps16Ms16, false},
                          Case{sim::Protocol::Old, DataStreamFormat::Ksps16Ms2, true}}) {
        SCOPED_TRACE(std::string(FormatCaption(c.f)) + (c.be ? " BE" : " LE"));
        sim::DamageCounts counts;
        const bool isNew = c.p == sim::Protocol::New;
        const auto bytes = SimStream(c.p, c.f, c.be, 2000,
                                     {.badChecksumEvery = isNew ? 89u : 0u,
                                      .skipFrameEvery = 300,
                                      .garbageEvery = 57,
                                      .unknownTagEvery = isNew ? 211u : 0u},
                                     &counts);
        // After its stream the target falls silent; the connection stays.
        StreamServer server(
            [&](int k) { return StreamServer::Plan{.Bytes = k == 0 ? bytes : std::vector<uint8_t>{}}; });
        EngineRig rig;
        rig.settings.IPAddrPort = server.Address();
        rig.settings.Format = c.f;
        rig.settings.BigEndian = c.be;
        rig.engine.Start();
        ASSERT_TRUE(rig.engine.ConnectButtonClick(false)) << rig.tcpError;
        // The stream may have put its own texts there already.
        const std::string status = rig.sink.Status();
        EXPECT_TRUE(status == " TCP/IP connected" || status.rfind("Platform", 0) == 0 ||
                    status == "Checksum error" || status == "Inconsistent frame numbers.")
            << status;
        EXPECT_TRUE(rig.PumpUntil([&] { return rig.frames.load() == counts.framesEmitted; }, 20000))
            << rig.frames.load() << " of " << counts.framesEmitted;
        rig.PumpFor(50);
        EXPECT_EQ(rig.checksumReports, counts.damagedFrames);
        EXPECT_EQ(rig.inconsistentReports, counts.skippedFrames);
        EXPECT_GT(rig.drawn, 0u);
        EXPECT_FALSE(rig.engine.ConnectButtonClick(false)); // a second press disconnects
        EXPECT_FALSE(rig.engine.Connected());
        EXPECT_EQ(rig.sink.Status(), "Connection closed");
        // The user's own Disconnect is no link drop.
        EXPECT_EQ(rig.engine.Links().LinkDrops(), 0u);
        EXPECT_EQ(rig.engine.Links().Reconnects(), 0u);
    }
}

TEST(EngineTcp, FourthCloseInconsistentFrameReconnectsAndFramesFlowAgain) {
    // The first connection's stream skips four frames ten apart after frame 400; the second
    // connection gets a clean stream. The first is numbered from 10000, so frame 499 comes from
    // the second only, however far the parser ran on in the first before the reconnection.
    std::vector<uint8_t> damaged;
    uint32_t n = 10000;
    for (int i = 0; i < 600; ++i) {
        if (i >= 400 && i < 440 && i % 10 == 0) ++n;
        test::Append(damaged, test::NewFrame(n++).Raw(0x0101, {1, 2, 3}).Bytes());
    }
    const auto clean = SimStream(sim::Protocol::New, DataStreamFormat::Ksps8Ms4, false, 500);
    StreamServer server([&](int k) {
        return StreamServer::Plan{.Bytes = k == 0 ? damaged : k == 1 ? clean : std::vector<uint8_t>{}};
    });
    EngineRig rig;
    rig.settings.IPAddrPort = server.Address();
    rig.engine.Start();
    ASSERT_TRUE(rig.engine.ConnectButtonClick(false));
    EXPECT_TRUE(rig.PumpUntil([&] { return rig.lastFrameNum.load() == 499; }, 20000))
        << rig.engine.Links().Reconnects() << " " << rig.lastFrameNum.load();
    EXPECT_EQ(rig.engine.Links().Reconnects(), 1u);
    EXPECT_EQ(rig.engine.Links().LinkDrops(), 1u); // the program closed it to connect afresh
    EXPECT_EQ(rig.shownLinks, std::make_pair(1u, 1u));
    EXPECT_EQ(server.Accepted(), 2);
    EXPECT_TRUE(rig.engine.Connected());
    EXPECT_EQ(rig.inconsistentReports, 4u);
    // The user's connect, then the program's disconnect and connect: the view resumes listening
    // only after the latter.
    EXPECT_EQ(rig.buttonsOff, (std::vector<bool>{false, true, true}));
}

TEST(EngineTcp, ResetByThePeerReconnectsAtOnce) {
    const auto bytes = SimStream(sim::Protocol::New, DataStreamFormat::Ksps8Ms4, false, 3000);
    StreamServer server([&](int k) {
        // Paced, so the reset comes well after the connection is made even on a busy machine.
        return StreamServer::Plan{.Bytes = k < 2 ? bytes : std::vector<uint8_t>{},
                                  .ResetAfter = k == 0 ? bytes.size() / 3 : 0,
                                  .PauseUs = k == 0 ? 500 : 0};
    });
    EngineRig rig;
    rig.settings.IPAddrPort = server.Address();
    rig.engine.Start();
    ASSERT_TRUE(rig.engine.ConnectButtonClick(false))
        << rig.tcpError << "|" << rig.errorBox << "|" << rig.sink.Status();
    // The second connection's stream starts again at frame 0 and runs to the end.
    EXPECT_TRUE(
        rig.PumpUntil([&] { return server.Accepted() == 2 && rig.lastFrameNum.load() == 2999; }, 20000))
        << server.Accepted() << " " << rig.lastFrameNum.load();
    EXPECT_TRUE(rig.engine.Connected());
}

TEST(EngineTcp, OrderlyCloseIsRetriedUntilTheTargetIsBack) {
    const auto bytes = SimStream(sim::Protocol::New, DataStreamFormat::Ksps8Ms4, false, 600);
    // The first client gets a short stream and an orderly close; the next gets everything.
    StreamServer server([&](int k) {
        return StreamServer::Plan{.Bytes =
                                      k == 0 ? std::vector<uint8_t>(bytes.begin(), bytes.begin() + 522 * 300)
                                      : k == 1 ? bytes
                                               : std::vector<uint8_t>{},
                                  .CloseAtEnd = k == 0};
    });
    EngineRig rig;
    rig.settings.IPAddrPort = server.Address();
    rig.engine.Start();
    ASSERT_TRUE(rig.engine.ConnectButtonClick(false));
    EXPECT_TRUE(
        rig.PumpUntil([&] { return server.Accepted() >= 2 && rig.lastFrameNum.load() == 599; }, 15000))
        << server.Accepted() << " " << rig.lastFrameNum.load();
    EXPECT_EQ(rig.engine.Links().Reconnects(), 1u); // at once, on the close
    EXPECT_EQ(rig.engine.Links().LinkDrops(), 1u);
    EXPECT_FALSE(rig.engine.TcpIpReconnecting());
    // The user's Disconnect adds no drop; the user's next Connect counts from 0 again.
    EXPECT_FALSE(rig.engine.ConnectButtonClick(false));
    EXPECT_EQ(rig.engine.Links().LinkDrops(), 1u);
    EXPECT_EQ(rig.shownLinks, std::make_pair(1u, 1u));
    ASSERT_TRUE(rig.engine.ConnectButtonClick(false));
    EXPECT_EQ(rig.shownLinks, std::make_pair(0u, 0u));
    EXPECT_EQ(rig.engine.Links().LinkDrops(), 0u);
    // Connect, the reconnection's disconnect and connect, the user's Disconnect and Connect.
    EXPECT_EQ(rig.buttonsOff, (std::vector<bool>{false, true, true, false, false}));
}

TEST(EngineTcp, WrongAddressesOpenNothing) {
    EngineRig rig;
    rig.engine.Start();
    for (const char* bad : {"10.0.0.256:9090", "10.0.0:9090", "::1:9090", "local host:9090"}) {
        rig.settings.IPAddrPort = bad;
        EXPECT_FALSE(rig.engine.ConnectButtonClick(false));
        EXPECT_EQ(rig.tcpError, std::string("Wrong addr: port ") + bad);
        EXPECT_FALSE(rig.engine.Connected());
    }
    rig.settings.IPAddrPort = "10.0.0.1:x";
    EXPECT_FALSE(rig.engine.ConnectButtonClick(false));
    EXPECT_NE(rig.errorBox.find("x"), std::string::npos) << rig.errorBox;
    // Nobody listens: the connect error is shown and nothing stays open.
    rig.settings.IPAddrPort = "127.0.0.1:1";
    EXPECT_FALSE(rig.engine.ConnectButtonClick(false));
    EXPECT_EQ(rig.tcpError, "Connection refused (127.0.0.1:1)");
    EXPECT_EQ(rig.engine.TcpHost(), kNoHost);
}

TEST(EngineTcp, BadRateAndThresholdFallBackToDefaults) {
    StreamServer server([&](int) { return StreamServer::Plan{}; });
    EngineRig rig;
    rig.settings.IPAddrPort = server.Address();
    rig.settings.RateText = " ";
    rig.settings.AutoReconnectText = "many";
    rig.engine.Start();
    ConnectCorrections fixed;
    ASSERT_TRUE(rig.engine.ConnectButtonClick(false, &fixed));
    EXPECT_EQ(fixed.RateText, "12000000");
    EXPECT_EQ(fixed.AutoReconnectText, "3");
    EXPECT_EQ(rig.engine.Reports().Counters().InconsistFramesThresh, 3);
}

TEST(EngineTcp, ConnectDisconnectTwoHundredTimes) {
    const auto bytes = SimStream(sim::Protocol::New, DataStreamFormat::Ksps16Ms2, false, 20000);
    StreamServer server(
        [&](int) { return StreamServer::Plan{.Bytes = bytes, .Piece = 1000, .PauseUs = 100}; });
    EngineRig rig;
    rig.settings.IPAddrPort = server.Address();
    rig.settings.Format = DataStreamFormat::Ksps16Ms2;
    rig.engine.Start();
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(rig.engine.ConnectButtonClick(false)) << i << " " << rig.tcpError;
        if (i % 20 == 0) {
            const uint64_t before = rig.frames.load();
            EXPECT_TRUE(rig.PumpUntil([&] { return rig.frames.load() > before; }, 10000)) << i;
        } else {
            rig.PumpOnce();
        }
        ASSERT_FALSE(rig.engine.ConnectButtonClick(false)) << i;
    }
    EXPECT_GT(rig.frames.load(), 0u);
}

} // namespace vintrel
