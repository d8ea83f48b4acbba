// The forwarding server on loopback: every client gets the whole stream in order, a client
// that stops reading is dropped without harming the others, start/stop leave nothing behind.
#include "connection/ForwardServer.h"
#include "TcpTestSockets.h"
#include "connection/TcpClient.h"
#include "stream/QueueSink.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace vintrel::test {
namespace {

using namespace std::chrono;
constexpr uint32_t kRing = ForwardServer::kForwardRingUsed;

template <class Pred> bool WaitFor(Pred pred, milliseconds limit = 10s) {
    for (const auto end = steady_clock::now() + limit; !pred(); std::this_thread::sleep_for(1ms))
        if (steady_clock::now() > end) return false;
    return true;
}

// A client reading everything on its own thread; Count() may be watched meanwhile.
struct Reader {
    explicit Reader(uint16_t port)
        : fd(ConnectLoopback(port)), thread([this] {
              uint8_t buf[65536];
              for (ssize_t n; (n = recv(fd.Get(), buf, sizeof buf, 0)) > 0; count += size_t(n))
                  bytes.insert(bytes.end(), buf, buf + n);
          }) {}
    ~Reader() { Join(); }
    void Join() {
        if (thread.joinable()) thread.join();
    }
    size_t Count() const { return count.load(); }
    Fd fd;
    std::vector<uint8_t> bytes;
    std::atomic<size_t> count{0};
    std::thread thread;
};

class ForwardServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server_.Start("127.0.0.1", "0", error)) << error;
        ASSERT_TRUE(server_.Active());
    }
    // Feeds stream[fed..end) in blocks of changing sizes, at most half a ring ahead of the
    // slowest of the pacing readers; stops early when `until` holds.
    void Feed(const std::vector<uint8_t>& stream, size_t end, std::initializer_list<Reader*> pace,
              bool (*until)(ForwardServer&) = nullptr) {
        for (uint32_t size = 1; fed_ < end && !(until && until(server_)); size = size * 7 % 65521 + 1) {
            const uint32_t n = uint32_t(std::min<size_t>(size, end - fed_));
            for (Reader* r : pace) ASSERT_TRUE(WaitFor([&] { return fed_ + n - r->Count() <= kRing / 2; }));
            server_.OnBlockRead(stream.data() + fed_, n, 32);
            fed_ += n;
        }
    }

    QueueSink sink_;
    ForwardServer server_{sink_};
    size_t fed_ = 0;
};

TEST_F(ForwardServerTest, EveryClientGetsEveryByteInOrder) {
    Reader a(server_.BoundPort()), b(server_.BoundPort()), c(server_.BoundPort());
    ASSERT_TRUE(WaitFor([&] { return server_.Clients() == 3; }));
    const auto stream = Pattern(6u << 20, 21); // many times the ring, its end crossed at odd places
    Feed(stream, stream.size(), {&a, &b, &c});
    ASSERT_TRUE(WaitFor([&] { return a.Count() == fed_ && b.Count() == fed_ && c.Count() == fed_; }));
    server_.Stop();
    for (Reader* r : {&a, &b, &c}) {
        r->Join(); // ends because Stop closed the connection
        EXPECT_TRUE(r->bytes == stream);
    }
    EXPECT_EQ(sink_.StatusChanges(), 0u);
}

TEST_F(ForwardServerTest, AClientThatStopsReadingIsDroppedAndTheOthersContinue) {
    Reader a(server_.BoundPort()), b(server_.BoundPort());
    Fd stuck = ConnectLoopback(server_.BoundPort(), 4096);
    const std::string stuckPeer = "127.0.0.1:" + std::to_string(LocalPort(stuck.Get()));
    ASSERT_TRUE(WaitFor([&] { return server_.Clients() == 3; }));

    // Socket buffers absorb a few megabytes before the lag shows.
    const auto stream = Pattern(48u << 20, 22);
    Feed(stream, stream.size(), {&a, &b}, [](ForwardServer& s) { return s.Clients() == 2; });
    ASSERT_TRUE(WaitFor([&] { return server_.Clients() == 2; })) << "fed " << fed_;
    EXPECT_EQ(sink_.Status(), "Forwarding: client " + stuckPeer + " fell behind and was disconnected");

    Feed(stream, std::min(stream.size(), fed_ + 3 * kRing), {&a, &b});
    ASSERT_TRUE(WaitFor([&] { return a.Count() == fed_ && b.Count() == fed_; }));
    server_.Stop();
    a.Join();
    b.Join();
    EXPECT_TRUE(a.bytes == std::vector<uint8_t>(stream.begin(), stream.begin() + fed_));
    EXPECT_TRUE(b.bytes == a.bytes);

    // What the dropped client did get is an uncorrupted beginning of the stream.
    std::vector<uint8_t> partial;
    EXPECT_TRUE(ReadUntilClosed(stuck.Get(), partial, 5000));
    EXPECT_TRUE(std::equal(partial.begin(), partial.end(), stream.begin()));
}

TEST_F(ForwardServerTest, StopSendsEachClientWhatItIsOwed) {
    Fd late = ConnectLoopback(server_.BoundPort(), 4096); // starts reading as the server stops
    Fd idle = ConnectLoopback(server_.BoundPort(), 4096); // never reads
    ASSERT_TRUE(WaitFor([&] { return server_.Clients() == 2; }));
    const auto block = Pattern(kRing - 1000, 31);
    server_.OnBlockRead(block.data(), uint32_t(block.size()), 32);
    std::vector<uint8_t> got;
    std::thread reader([&] { ReadUntilClosed(late.Get(), got, 5000); });
    const auto start = steady_clock::now();
    server_.Stop();
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 1000);
    reader.join();
    EXPECT_TRUE(got == block) << got.size() << " of " << block.size() << " bytes";
    std::vector<uint8_t> partial; // closed, after an uncorrupted beginning
    EXPECT_TRUE(ReadUntilClosed(idle.Get(), partial, 5000));
    EXPECT_TRUE(std::equal(partial.begin(), partial.end(), block.begin()));
}

TEST_F(ForwardServerTest, FailedStartsLeaveTheServerStopped) {
    LoopbackListener taken;
    std::string error;
    EXPECT_FALSE(server_.Start("127.0.0.1", std::to_string(taken.Port()), error));
    EXPECT_NE(error.find("Address already in use"), std::string::npos) << error;
    EXPECT_FALSE(server_.Active());

    EXPECT_FALSE(server_.Start("127.0.0.1", "90x", error)); // no number: nothing to report
    EXPECT_EQ(error, "");
    EXPECT_FALSE(server_.Start("127.0.0.1", "70000", error));
    EXPECT_NE(error, "");
    // A name that gives no address, and a text that is no name: each said with the name.
    EXPECT_FALSE(server_.Start("no name", "0", error));
    EXPECT_EQ(error, "'no name' is not a host name or an IP address");
    EXPECT_FALSE(server_.Active());

    const auto block = Pattern(100, 24);
    server_.OnBlockRead(block.data(), 100, 32);
    EXPECT_EQ(server_.Forwarded(), 0u); // nothing is taken while stopped
}

TEST_F(ForwardServerTest, BindsToANameOrAnIPv6AddressAndServesOverIt) {
    for (const std::string bind : {"localhost", "[::1]", "::1"}) {
        if (bind != "localhost" && !HaveIPv6Loopback()) GTEST_SKIP() << "no IPv6 loopback on this machine";
        std::string error;
        ASSERT_TRUE(server_.Start(bind, "0", error)) << bind << ": " << error;
        TcpClient client; // which tries each address of the name, as the server bound the first
        client.Host = bind == "[::1]" ? "::1" : bind;
        client.Port = server_.BoundPort();
        ASSERT_TRUE(client.Connect(5000, error)) << bind << ": " << error;
        ASSERT_TRUE(WaitFor([&] { return server_.Clients() == 1; })) << bind;
        const uint8_t block[3] = {7, 8, 9};
        server_.OnBlockRead(block, 3, 32);
        uint8_t got[3] = {};
        uint32_t n = 0;
        for (int i = 0; i < 100 && n < 3; ++i) {
            uint32_t k = 0;
            if (client.ReadSome(got + n, 3 - n, k, error) == TcpReadResult::Ok) n += k;
        }
        EXPECT_EQ(n, 3u) << bind;
        EXPECT_EQ(got[2], 9) << bind;
        server_.Stop();
    }
}

TEST_F(ForwardServerTest, StartAndStopFiftyTimesWithClientsAttached) {
    for (int i = 0; i < 50; ++i) {
        std::string error;
        // Every other round reuses the port of the round before, whose connections are closing.
        const std::string port = i % 2 ? std::to_string(server_.BoundPort()) : "0";
        ASSERT_TRUE(server_.Start("127.0.0.1", port, error)) << i << " " << error;
        Fd reading = ConnectLoopback(server_.BoundPort());
        Fd idle = ConnectLoopback(server_.BoundPort(), 4096); // leaves its sender blocked
        ASSERT_TRUE(WaitFor([&] { return server_.Clients() == 2; })) << i;
        const auto block = Pattern(200000, 25 + i);
        server_.OnBlockRead(block.data(), uint32_t(block.size()), 32);
        std::vector<uint8_t> got(1000);
        ASSERT_EQ(recv(reading.Get(), got.data(), got.size(), MSG_WAITALL), 1000) << i;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), block.begin()));

        const auto start = steady_clock::now();
        server_.Stop();
        EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 1000) << i;
        EXPECT_FALSE(server_.Active());
        EXPECT_EQ(server_.Clients(), 0);
        std::vector<uint8_t> rest;
        EXPECT_TRUE(ReadUntilClosed(reading.Get(), rest, 2000)) << i;
        EXPECT_EQ(rest.size(), block.size() - got.size()) << i;
    }
}

} // namespace
} // namespace vintrel::test
