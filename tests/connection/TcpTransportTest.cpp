// The TCP/IP client and the TR_TCPIP read of the receive ring against a listener on loopback:
// exact reads, time-outs that keep what arrived, the ways a connection ends, failed connects,
// and cancels that end a blocked read or connect.
#include "connection/TcpTransport.h"
#include "TcpTestSockets.h"
#include "stream/QueueSink.h"
#include "stream/ReceiveRing.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <thread>

namespace vintrel::test {
namespace {

using namespace std::chrono;

class TcpTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        client_.Host = "127.0.0.1";
        client_.Port = listener_.Port();
        std::string error;
        ASSERT_TRUE(client_.Connect(2000, error)) << error;
        peer_ = listener_.Accept();
        ASSERT_GE(peer_.Get(), 0);
    }
    TransportRead Read(uint32_t len, bool firstPart = true) {
        buf_.assign(len, 0);
        return transport_.Read(buf_.data(), len, firstPart);
    }

    // Backlog 0: after SetUp's accept, one queued connection fills it (see FullAcceptQueue).
    LoopbackListener listener_{0};
    TcpClient client_;
    QueueSink sink_;
    TcpTransport transport_{client_, sink_};
    Fd peer_;
    std::vector<uint8_t> buf_;
};

TEST_F(TcpTransportTest, ARequestSplitAtTheRingsEndArrivesWhole) {
    auto ring = std::make_unique<ReceiveRing>();
    ring->ResetParked(kRingSize - 100);
    const auto data = Pattern(300, 7);
    ASSERT_TRUE(WriteAll(peer_.Get(), data.data(), 120)); // the rest comes in a later segment
    std::thread late([&] { WriteAll(peer_.Get(), data.data() + 120, 180); });
    uint32_t total = 0;
    for (int i = 0; i < 50 && total < 300; ++i) {
        const uint32_t got = ring->Producer().ReadToCycBuf(transport_, 300 - total, nullptr, 0);
        ring->Producer().Commit(got);
        total += got;
    }
    EXPECT_EQ(total, 300u);
    late.join();
    std::vector<uint8_t> got(300);
    ring->CopyOut(kRingSize - 100, got.data(), 300);
    EXPECT_EQ(got, data);
    EXPECT_EQ(sink_.StatusChanges(), 0u);
}

TEST_F(TcpTransportTest, ReadsHandOverWhatArrivedAndTimeOutWhenSilent) {
    EXPECT_EQ(client_.ReadTimeoutMs(), 80);
    const auto data = Pattern(64, 8);
    ASSERT_TRUE(WriteAll(peer_.Get(), data.data(), 30));
    // Arrived bytes show as pending until they are read.
    const auto deadline = steady_clock::now() + seconds(2);
    while (client_.Pending() < 30 && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(1));
    EXPECT_EQ(client_.Pending(), 30u);
    EXPECT_EQ(transport_.Pending(), 30u);
    TransportRead r = Read(64);
    EXPECT_EQ(client_.Pending(), 0u);
    EXPECT_EQ(r.Got, 30u);
    EXPECT_FALSE(r.Failed);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 30, buf_.begin()));

    const auto start = steady_clock::now();
    r = Read(64);
    EXPECT_GE(duration_cast<milliseconds>(steady_clock::now() - start).count(), 75);
    EXPECT_EQ(r.Got, 0u);
    EXPECT_TRUE(r.Failed);
    EXPECT_EQ(sink_.Status(), "TCP/IP : Read timed out.");

    // The rest follows in order.
    ASSERT_TRUE(WriteAll(peer_.Get(), data.data() + 30, 34));
    r = Read(34);
    EXPECT_EQ(r.Got, 34u);
    EXPECT_FALSE(r.Failed);
    EXPECT_TRUE(std::equal(buf_.begin(), buf_.end(), data.begin() + 30));
}

TEST_F(TcpTransportTest, AnEndedConnectionAsksTheWindowOnceToMakeItAgain) {
    // Reset in either part of a read, or closed in order: the status says why and the window is
    // asked once to connect again; the transport itself connects nowhere. Its later reads bring
    // nothing and put no status, and a cancel ends one at once.
    struct Case {
        bool reset, firstPart;
        const char* status;
    } cases[] = {{true, true, "TCP/IP : Connection reset by peer"},
                 {true, false, "TCP/IP : Connection reset by peer"},
                 {false, true, "TCP/IP : Connection Closed Gracefully."}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        std::string error;
        ASSERT_TRUE(client_.Connect(2000, error)) << error;
        Fd peer = listener_.Accept();
        QueueSink sink;
        TcpTransport transport(client_, sink);
        if (c.reset)
            ResetAndClose(peer);
        else
            peer.Reset();
        buf_.assign(16, 0);
        EXPECT_TRUE(transport.Read(buf_.data(), 16, c.firstPart).Failed);
        EXPECT_EQ(sink.Status(), c.status);
        const uint64_t changes = sink.StatusChanges();
        TransportRead later;
        const auto latency = ReturnAfterCancel([&] { later = transport.Read(buf_.data(), 16, true); },
                                               LetItBlock, [&] { transport.Cancel(); });
        EXPECT_LT(latency, kCancelBound);
        EXPECT_EQ(later.Got, 0u);
        EXPECT_EQ(sink.StatusChanges(), changes);
        int asked = 0;
        for (QueuedMessage m; sink.Take(m);) asked += m.Msg == WM_TCPIP_RECONNECT;
        EXPECT_EQ(asked, 1);
        EXPECT_LT(listener_.Accept(100).Get(), 0);
        EXPECT_EQ(client_.Connected(), c.reset); // the window closes a reset socket
        client_.Disconnect();
    }
}

TEST_F(TcpTransportTest, NoHostReadsNothingEvenWhenConnected) {
    ASSERT_TRUE(WriteAll(peer_.Get(), Pattern(16, 10).data(), 16));
    client_.Host = kNoHost;
    const TransportRead r = Read(16);
    EXPECT_EQ(r.Got, 0u);
    EXPECT_FALSE(r.Failed);
    EXPECT_EQ(sink_.StatusChanges(), 0u);
}

TEST_F(TcpTransportTest, CancelEndsABlockedReadAndEveryLaterOne) {
    // Like the transport thread, read again after each time-out (each one puts its status):
    // only the cancel ends the loop.
    TransportRead last;
    const auto latency = ReturnAfterCancel(
        [&] {
            const auto giveUp = steady_clock::now() + seconds(5);
            uint64_t before = 0;
            do {
                before = sink_.StatusChanges();
                last = Read(64);
            } while (sink_.StatusChanges() != before && steady_clock::now() < giveUp);
        },
        LetItBlock, [&] { transport_.Cancel(); });
    EXPECT_LT(latency, kCancelBound);
    EXPECT_EQ(last.Got, 0u);
    EXPECT_TRUE(last.Failed);

    // Later reads return at once: five 80 ms time-outs would take twice the bound, and each
    // would put its status.
    const uint64_t changes = sink_.StatusChanges();
    const auto start = steady_clock::now();
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(Read(16).Failed);
    EXPECT_LT(steady_clock::now() - start, kCancelBound);
    EXPECT_EQ(sink_.StatusChanges(), changes);
    EXPECT_TRUE(client_.Connected()); // closing is the window thread's job
}

TEST(TcpConnectTest, CancelEndsAPendingConnect) {
    LoopbackListener full(0);
    const FullAcceptQueue fillers(full.Port()); // the handshake hangs
    TcpClient client;
    client.Host = "127.0.0.1";
    client.Port = full.Port();
    CancelSignal cancel;
    std::string error;
    bool connected = true;
    const auto latency =
        ReturnAfterCancel([&] { connected = client.Connect(kTcpConnectTimeoutMs, error, &cancel); },
                          LetItBlock, [&] { cancel.Raise(); });
    EXPECT_LT(latency, kCancelBound);
    EXPECT_FALSE(connected);
    EXPECT_EQ(error, "Connection cancelled");
    EXPECT_FALSE(client.Connected());
}

TEST(TcpConnectTest, RefusedTimedOutAndInvalidHostsLeaveNothingOpen) {
    TcpClient client;
    std::string error;
    EXPECT_FALSE(client.Connect(500, error)); // the default host names no listener
    EXPECT_EQ(error, "No listener address is chosen");

    // The reason, then the address tried; a name also says what it stood for.
    client.Host = "127.0.0.1";
    client.Port = LoopbackListener().Port(); // closed again at once
    const std::string port = std::to_string(client.Port);
    EXPECT_FALSE(client.Connect(2000, error));
    EXPECT_EQ(error, "Connection refused (127.0.0.1:" + port + ")");
    client.Host = "localhost";
    EXPECT_FALSE(client.Connect(2000, error));
    EXPECT_EQ(error.rfind("Connection refused (localhost:" + port + " at ", 0), 0u) << error;
    client.Host = "nosuch.invalid";
    EXPECT_FALSE(client.Connect(2000, error));
    EXPECT_EQ(error.rfind("Cannot look up nosuch.invalid: ", 0), 0u) << error;

    // A listener with a full queue drops further handshakes.
    client.Host = "127.0.0.1";
    LoopbackListener full(0);
    const FullAcceptQueue fillers(full.Port());
    client.Port = full.Port();
    const auto start = steady_clock::now();
    EXPECT_FALSE(client.Connect(300, error));
    const auto took = duration_cast<milliseconds>(steady_clock::now() - start).count();
    EXPECT_EQ(error, "Connect timed out. (127.0.0.1:" + std::to_string(full.Port()) + ")");
    EXPECT_GE(took, 280);
    EXPECT_LT(took, 2000);
    EXPECT_FALSE(client.Connected());
    uint8_t buf[4];
    uint32_t got = 0;
    EXPECT_EQ(client.ReadSome(buf, 4, got, error), TcpReadResult::Error);
}

} // namespace
} // namespace vintrel::test
