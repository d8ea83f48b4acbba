// The engine over the other links: an FTDI adapter (the fake D2XX library), a serial port (a
// pseudo-terminal), forwarding to TCP clients, and the time-outs on a clock the test moves.
#include "../connection/FakeFtd2xxEnv.h"
#include "EngineRig.h"
#include "connection/ForwardServer.h"
#include "connection/TcpClient.h"
#include "sim/StreamGenerator.h"
#include "support/PseudoTerminal.h"
#include "support/ScratchDir.h"
#include "support/ScriptedTarget.h"
#include "support/StreamServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace vintrel {

using test::EngineRig;
using test::StreamServer;

namespace {

std::vector<uint8_t> Stream(uint64_t frames, DataStreamFormat f = DataStreamFormat::Ksps8Ms4,
                            bool be = false) {
    sim::StreamConfig c;
    c.format = f;
    c.bigEndian = be;
    return sim::GenerateStream(c, frames);
}

// On a busy machine the kernel or the adapter may hold the rest of a frame back for more than
// 32 ms: the serial or USB link is then given up with the frame in progress, as it must be. Frames
// go only there, at most one each time; none is repeated or damaged.
void ExpectLostOnlyWhereGivenUp(EngineRig& rig, int64_t sent) {
    EXPECT_TRUE(rig.PumpUntil([&] { return rig.lastFrameNum.load() == sent - 1; }, 20000))
        << rig.frames.load();
    const uint64_t lost = uint64_t(sent) - rig.frames.load();
    EXPECT_LE(lost, rig.lostSync);
    EXPECT_LE(rig.inconsistentReports, lost);
    EXPECT_EQ(rig.checksumReports, 0u);
    EXPECT_EQ(rig.outOfOrder.load(), 0u);
}

int ConnectLoopback(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads until `want` bytes or `ms` of silence.
std::vector<uint8_t> ReadAll(int fd, size_t want, int ms) {
    std::vector<uint8_t> out;
    uint8_t buf[65536];
    while (out.size() < want) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) break;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

} // namespace

class EngineFtdiTest : public test::FakeFtd2xxTest {
protected:
    // The fake library loaded, its adapters listed and the first one chosen.
    static bool ChooseFirstAdapter(EngineRig& rig) {
        if (!rig.engine.FtdiLib().Loading(FAKE_FTD2XX_PATH)) return false;
        rig.engine.FTDICheckBoxClick(true);
        rig.settings.TransportButton = ConnectSettings::Link::Usb;
        rig.settings.FtdiPortsOnly = true;
        rig.settings.PortIndex = 1;
        return true;
    }
};

TEST_F(EngineFtdiTest, FramesArriveThroughTheAdapter) {
    const auto bytes = Stream(1500, DataStreamFormat::Ksps16Ms4, true);
    const std::string path = TempPath("stream.bin");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    SetDevices("FT2232H MiniModule A:7;Other device:9;FT2232H MiniModule B:8");
    SetSource(path);
    SetChunk(700);

    EngineRig rig;
    ASSERT_TRUE(rig.engine.FtdiLib().Loading(FAKE_FTD2XX_PATH));
    rig.engine.PreferComPort(8);
    ASSERT_TRUE(rig.engine.FTDICheckBoxClick(true));
    EXPECT_EQ(rig.engine.Ports().Selected, 2);
    rig.settings.TransportButton = ConnectSettings::Link::Usb;
    rig.settings.FtdiPortsOnly = true;
    rig.settings.PortIndex = 1;
    rig.settings.Format = DataStreamFormat::Ksps16Ms4;
    rig.settings.BigEndian = true;
    rig.engine.Start();
    ASSERT_TRUE(rig.engine.ConnectButtonClick(false)) << rig.errorBox;
    // The adapter serves a file: the target's platform text may already have followed.
    EXPECT_TRUE(rig.sink.Status() == " FTDI port is open" || rig.sink.Status().rfind("Platform", 0) == 0)
        << rig.sink.Status();
    EXPECT_EQ(rig.engine.ComPort(), 7u);
    ExpectLostOnlyWhereGivenUp(rig, 1500);
    EXPECT_FALSE(rig.engine.ConnectButtonClick(false));
    const auto log = LogLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "FT_SetBaudRate 12000000"), log.end());
}

TEST_F(EngineFtdiTest, AnAdapterWhoseReadsFailIsOneLinkDrop) {
    SetDevices("FT2232H MiniModule A:7");
    SetFail("FT_Read"); // as when the adapter is unplugged
    EngineRig rig;
    ASSERT_TRUE(ChooseFirstAdapter(rig));
    rig.engine.Start();
    ASSERT_TRUE(rig.engine.ConnectButtonClick(false)) << rig.errorBox;
    EXPECT_TRUE(rig.PumpUntil([&] { return rig.engine.Links().LinkDrops() > 0; }, 5000));
    rig.PumpFor(200);
    EXPECT_EQ(rig.engine.Links().LinkDrops(), 1u); // once, however many reads fail
    EXPECT_EQ(rig.engine.Links().Reconnects(), 0u);
    EXPECT_FALSE(rig.engine.ConnectButtonClick(false));
    EXPECT_EQ(rig.engine.Links().LinkDrops(), 1u);
}

TEST_F(EngineFtdiTest, AdapterThatFailsToSetUpIsClosedAndReported) {
    SetDevices("FT2232H MiniModule A:7");
    SetFail("FT_SetLatencyTimer");
    EngineRig rig;
    ASSERT_TRUE(ChooseFirstAdapter(rig));
    rig.engine.Start();
    EXPECT_FALSE(rig.engine.ConnectButtonClick(false));
    EXPECT_EQ(rig.errorBox, "TCP Sondrel: Setting USB adapter error: FT_SetLatencyTimer returned FT_IO_ERROR "
                            "(4) for adapter COM7");
    EXPECT_EQ(rig.sink.Status(), "Error openning FTDI");
    EXPECT_EQ(rig.engine.ComPort(), 0u);
    EXPECT_EQ(rig.engine.Ports().Selected, 0);
    EXPECT_FALSE(rig.engine.Connected());
}

namespace {
// The rig's settings for the serial link of a pseudo-terminal.
void UseSerial(EngineRig& rig, const test::PseudoTerminal& pty) {
    rig.settings.TransportButton = ConnectSettings::Link::Usb;
    rig.settings.PortItem = pty.Slave();
    rig.settings.PortIndex = 1;
    rig.settings.RateText = "921600";
}

int64_t MsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
        .count();
}
} // namespace

TEST(EngineSerial, FramesArriveThroughAPseudoTerminal) {
    test::PseudoTerminal pty;
    ASSERT_TRUE(pty.Ok());
    const int master = pty.Master();
    const auto stream = test::ScriptedTarget::FromSimulator({}, 1000);
    const auto& bytes = stream.Bytes;
    EngineRig rig;
    UseSerial(rig, pty);
    rig.engine.Start();
    ASSERT_TRUE(rig.engine.ConnectButtonClick(false)) << rig.errorBox;
    EXPECT_EQ(rig.sink.Status(), " UART port is open");
    // "Upd" while connected leaves the open port alone.
    rig.engine.FTDICheckBoxClick(false);
    EXPECT_EQ(rig.sink.Status(), "Disconnect before updating the port list");
    // The target writes whole frames, up to 2 KB at a time: a serial link silent for 32 ms is
    // given up with the frame in progress, and a writer starved by a busy machine must not
    // stall in the middle of one.
    std::thread writer([&] {
        const std::vector<size_t>& starts = stream.FrameStarts;
        const auto endOf = [&](size_t k) { return k + 1 < starts.size() ? starts[k + 1] : bytes.size(); };
        for (size_t k = 0, pos = 0; k < starts.size();) {
            size_t last = k; // frames k..last go in one write
            while (last + 1 < starts.size() && endOf(last + 1) - pos <= 2048) ++last;
            while (pos < endOf(last)) {
                const ssize_t w = ::write(master, bytes.data() + pos, endOf(last) - pos);
                if (w > 0)
                    pos += size_t(w);
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            k = last + 1;
        }
    });
    writer.join();
    ExpectLostOnlyWhereGivenUp(rig, 1000);
    EXPECT_EQ(rig.engine.State().Decoder.StatString().rfind("Platform: General", 0), 0u);
    EXPECT_FALSE(rig.engine.ConnectButtonClick(false));

    // A device that is not there: the error box and the status, nothing open.
    rig.settings.PortItem = "/dev/nonexistent-tty";
    EXPECT_FALSE(rig.engine.ConnectButtonClick(false));
    EXPECT_EQ(rig.errorBox, "Sondrel: UART opening error: /dev/nonexistent-tty: No such file or directory");
    EXPECT_EQ(rig.sink.Status(), "Error opening USB adapter");
}

TEST(EngineSerial, APortThatHangsUpIsOneLinkDropAndTheUsersDisconnectNone) {
    test::PseudoTerminal pty;
    ASSERT_TRUE(pty.Ok());
    EngineRig rig;
    UseSerial(rig, pty);
    rig.engine.Start();
    ASSERT_TRUE(rig.engine.ConnectButtonClick(false)) << rig.errorBox;
    pty.CloseMaster();
    EXPECT_TRUE(rig.PumpUntil([&] { return rig.engine.Links().LinkDrops() > 0; }, 10000));
    rig.PumpFor(300);
    EXPECT_EQ(rig.engine.Links().LinkDrops(), 1u); // once, however many reads fail after
    EXPECT_EQ(rig.engine.Links().Reconnects(), 0u);
    EXPECT_EQ(rig.shownLinks, std::make_pair(0u, 1u));
    EXPECT_FALSE(rig.engine.ConnectButtonClick(false));
    EXPECT_EQ(rig.engine.Links().LinkDrops(), 1u);
}

TEST(EngineSerial, DisconnectEndsALongReadOnASilentLineAtOnce) {
    // The first read of a connection asks for 4096 bytes: 4 s of time-out on a silent line.
    test::PseudoTerminal pty;
    EngineRig rig;
    UseSerial(rig, pty);
    rig.engine.Start();
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(rig.engine.ConnectButtonClick(false)) << rig.errorBox;
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the read is under way
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_FALSE(rig.engine.ConnectButtonClick(false)); // disconnect
        EXPECT_LT(MsSince(t0), 2000) << round;              // the read itself would take 4 s
        EXPECT_FALSE(rig.engine.ParkPending());
        EXPECT_EQ(rig.sink.Status(), "Connection closed");
    }
}

TEST(EngineSerial, ATransportThatIgnoresItsCancelIsKeptAndConnectWaitsForIt) {
    struct Stubborn : Transport {
        std::unique_ptr<Transport> inner;
        std::atomic<bool>* release;
        std::atomic<bool>* alive;
        std::atomic<bool> reading{false};
        ~Stubborn() override { *alive = false; }
        TransportRead Read(uint8_t*, uint32_t, bool) override {
            reading = true;
            while (!release->load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return {};
        }
    };
    struct WrapStubborn : EngineHooks {
        std::atomic<bool> release{false}, alive{false};
        Stubborn* stubborn = nullptr;
        bool wrapping = true;
        std::unique_ptr<Transport> Wrap(std::unique_ptr<Transport> t) override {
            if (!wrapping) return t;
            auto w = std::make_unique<Stubborn>();
            w->inner = std::move(t);
            w->release = &release;
            w->alive = &alive;
            alive = true;
            stubborn = w.get();
            return w;
        }
    } hooks;
    std::atomic<bool>& release = hooks.release;
    std::atomic<bool>& alive = hooks.alive;
    test::PseudoTerminal pty;
    EngineRig rig(EngineRig::steady_, hooks);
    UseSerial(rig, pty);
    rig.engine.Start();
    ASSERT_TRUE(rig.engine.ConnectButtonClick(false)) << rig.errorBox;
    ASSERT_TRUE(rig.PumpUntil([&] { return hooks.stubborn->reading.load(); }, 5000));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(rig.engine.ConnectButtonClick(false)); // disconnect: the park times out
    EXPECT_GE(MsSince(t0), 1900);
    EXPECT_LT(MsSince(t0), 4000);
    EXPECT_TRUE(rig.engine.ParkPending());
    EXPECT_TRUE(alive.load()); // never destroyed under its read
    EXPECT_FALSE(rig.engine.ConnectButtonClick(false));
    EXPECT_EQ(rig.sink.Status(), "The transport did not stop: Connect is refused until it does");
    EXPECT_TRUE(alive.load());

    release = true; // the read comes back; the timer completes the close
    ASSERT_TRUE(rig.PumpUntil([&] { return !rig.engine.ParkPending(); }, 5000));
    EXPECT_FALSE(alive.load());
    EXPECT_EQ(rig.sink.Status(), "Connection closed");
    hooks.wrapping = false;
    EXPECT_TRUE(rig.engine.ConnectButtonClick(false)) << rig.errorBox;
}

TEST(EngineForwarding, EveryClientGetsEveryByteInOrder) {
    // 2 MB: the forwarding ring wraps four times. What the transport read is in the raw dump.
    // The target sends about three times as fast as the link's 1.2 MB/s: a client more than half
    // the ring behind is dropped, so a much faster source would drop the readers of a loaded machine.
    // A starved machine may also miss the 32 ms lost-sync deadline; the reconnection then gets
    // the stream again, and forwarding goes on with whatever the transport reads.
    const auto bytes = Stream(4000);
    StreamServer server([&](int k) {
        return StreamServer::Plan{
            .Bytes = k < 3 ? bytes : std::vector<uint8_t>{}, .Piece = 8192, .PauseUs = 2000};
    });
    EngineRig rig;
    test::ScratchDir scratch;
    const std::string dir = scratch.Path();
    std::string error;
    ASSERT_TRUE(rig.engine.Dump().Open(dir, false, error)) << error;
    ASSERT_TRUE(rig.engine.Forwarding().Start("127.0.0.1", "0", error)) << error;
    int clients[3];
    for (int& c : clients) ASSERT_GE(c = ConnectLoopback(rig.engine.Forwarding().BoundPort()), 0);
    ASSERT_TRUE(rig.PumpUntil([&] { return rig.engine.Forwarding().Clients() == 3; }, 5000));
    std::vector<std::vector<uint8_t>> got(3);
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i)
        readers.emplace_back([&, i] { got[i] = ReadAll(clients[i], bytes.size(), 3000); });

    rig.settings.IPAddrPort = server.Address();
    rig.engine.Start();
    ASSERT_TRUE(rig.engine.ConnectButtonClick(false));
    EXPECT_TRUE(rig.PumpUntil([&] { return rig.engine.Forwarding().Forwarded() >= bytes.size(); }, 20000))
        << rig.engine.Forwarding().Forwarded() << " bytes, " << rig.frames.load() << " frames, lost sync "
        << rig.lostSync << ", connections " << server.Accepted() << ", " << rig.sink.Status();
    for (auto& r : readers) r.join();
    rig.engine.ConnectButtonClick(false); // nothing more is read
    rig.engine.Close();                   // the dump is closed with the threads

    std::ifstream f(dir + "/" + DebugDump::kRawDumpFile, std::ios::binary);
    const std::vector<uint8_t> received((std::istreambuf_iterator<char>(f)),
                                        std::istreambuf_iterator<char>());
    ASSERT_GE(received.size(), bytes.size());
    for (int i = 0; i < 3; ++i) {
        // Each client read at least the whole stream, and nothing the transport did not read.
        EXPECT_GE(got[i].size(), bytes.size()) << i;
        ASSERT_LE(got[i].size(), received.size()) << i;
        EXPECT_TRUE(std::equal(got[i].begin(), got[i].end(), received.begin())) << i;
        ::close(clients[i]);
    }
}

TEST(EngineClock, SilentTargetShowsNoSignalAfterFifteenSecondsAndIsConnectedAgain) {
    StreamServer server([](int) { return StreamServer::Plan{}; }); // accepts, says nothing
    ManualClock clock(100000);
    EngineRig rig(clock);
    rig.settings.IPAddrPort = server.Address();
    rig.engine.Start();
    ASSERT_TRUE(rig.engine.ConnectButtonClick(false));
    rig.PumpFor(300);
    EXPECT_EQ(rig.noSignal, 0u);
    clock.Advance(15001);
    EXPECT_TRUE(rig.PumpUntil([&] { return rig.noSignal > 0 && server.Accepted() == 2; }, 3000));
    EXPECT_EQ(rig.warning, "No signal");
    EXPECT_TRUE(rig.PumpUntil([&] { return rig.engine.State().Control.State() == CONNECTING; }, 3000));
    rig.PumpFor(300);
    EXPECT_EQ(server.Accepted(), 2); // the new connection has its own 15 s
    EXPECT_EQ(rig.engine.Links().LinkDrops(), 1u);
    EXPECT_EQ(rig.engine.Links().Reconnects(), 1u);
}

TEST(EngineClock, LostTargetIsRetriedEveryFiveSeconds) {
    const auto bytes = Stream(400);
    ManualClock clock(100000);
    EngineRig rig(clock);
    uint16_t port;
    {
        StreamServer first([&](int k) {
            return StreamServer::Plan{.Bytes = k == 0 ? bytes : std::vector<uint8_t>{}, .CloseAtEnd = true};
        });
        port = first.Port();
        rig.settings.IPAddrPort = first.Address();
        rig.engine.Start();
        ASSERT_TRUE(rig.engine.ConnectButtonClick(false));
        ASSERT_TRUE(rig.PumpUntil([&] { return rig.frames.load() == 400; }, 10000));
    } // the target goes away
    // The stream stops (more than 32 ms without a frame), the reconnect fails: the retry is pending.
    clock.Advance(100);
    ASSERT_TRUE(rig.PumpUntil([&] { return rig.engine.TcpIpReconnecting(); }, 5000));
    EXPECT_FALSE(rig.engine.Connected());
    // Each drop was made good but the last: the attempt that failed is no reconnect. (The first
    // target may have taken one more connection before it went.)
    EXPECT_GE(rig.engine.Links().LinkDrops(), 1u);
    EXPECT_EQ(rig.engine.Links().Reconnects(), rig.engine.Links().LinkDrops() - 1);
    StreamServer back([&](int) { return StreamServer::Plan{.Bytes = bytes}; }, port);
    rig.PumpFor(200);
    EXPECT_EQ(back.Accepted(), 0); // not before five seconds
    clock.Advance(5001);
    rig.engine.OnTimer();
    EXPECT_TRUE(rig.PumpUntil([&] { return back.Accepted() == 1 && rig.frames.load() == 800; }, 10000))
        << back.Accepted() << " " << rig.frames.load();
    EXPECT_TRUE(rig.engine.Connected());
    EXPECT_FALSE(rig.engine.TcpIpReconnecting());
    EXPECT_EQ(rig.engine.Links().Reconnects(), rig.engine.Links().LinkDrops());
}

} // namespace vintrel
