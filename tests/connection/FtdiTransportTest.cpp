// Reading through FT_Read: a file served in short reads, a pseudo-terminal that stays silent,
// and a cancel that stops the reads.
#include "connection/FtdiTransport.h"
#include "FakeFtd2xxEnv.h"
#include "TcpTestSockets.h"
#include "connection/FtdiPorts.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace vintrel::test {
namespace {

using Ms = std::chrono::milliseconds;

class FtdiTransportTest : public FakeFtd2xxTest {
protected:
    // Lists one adapter and opens it with the standard set-up (20 ms read time-out).
    void OpenAdapter() {
        SetDevices("FT2232H MiniModule A:7");
        ASSERT_TRUE(EnumerateFtdi(fake_, list_, pairs_, 7));
        ASSERT_EQ(FTDIinit(fake_, list_, pairs_, kDefaultFtdiRate, handle_), FT_OK);
    }
    void TearDown() override {
        fake_.Close(handle_);
        FakeFtd2xxTest::TearDown();
    }

    static Ms TimeRead(Transport& t, uint8_t* dst, uint32_t len, uint32_t& got) {
        const auto start = std::chrono::steady_clock::now();
        got = t.Read(dst, len, true).Got;
        return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - start);
    }

    PortListModel list_;
    TFtdiList pairs_{};
    FT_HANDLE handle_ = nullptr;
};

TEST_F(FtdiTransportTest, ReadsAFileInShortReadsThenTimesOut) {
    std::vector<uint8_t> data(1000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 37 + 11);
    const std::string path = TempPath("stream.raw");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
    SetSource(path);
    SetChunk(64);
    OpenAdapter();

    FtdiTransport transport(fake_, handle_);
    std::vector<uint8_t> received;
    uint8_t buf[256];
    int reads = 0;
    for (TransportRead r; (r = transport.Read(buf, sizeof buf, reads % 2 == 0)).Got > 0; ++reads) {
        EXPECT_LE(r.Got, 64u);
        EXPECT_FALSE(r.Failed);
        received.insert(received.end(), buf, buf + r.Got);
        EXPECT_EQ(transport.Pending(), data.size() - received.size()); // the adapter's queue
        ASSERT_LT(reads, 100);
    }
    EXPECT_EQ(received, data);
    EXPECT_EQ(reads, 16); // 15 reads of 64 bytes and one of the last 40

    uint32_t got = 1;
    EXPECT_GE(TimeRead(transport, buf, sizeof buf, got).count(), 18);
    EXPECT_EQ(got, 0u);
}

TEST_F(FtdiTransportTest, PseudoTerminalIsSilentForTheTimeOutThenDelivers) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    SetSource(ptsname(master));
    OpenAdapter();
    FtdiTransport transport(fake_, handle_);

    uint8_t buf[512];
    uint32_t got = 1;
    const Ms silent = TimeRead(transport, buf, sizeof buf, got);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(silent.count(), 18);
    EXPECT_LT(silent.count(), 1000);

    // Fewer bytes than asked for arrive: the read returns them short, after the time-out.
    std::vector<uint8_t> sent(300);
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = uint8_t(255 - i); // includes CR, LF, ^C, ^D
    ASSERT_EQ(write(master, sent.data(), sent.size()), ssize_t(sent.size()));
    std::vector<uint8_t> received;
    for (int i = 0; i < 50 && received.size() < sent.size(); ++i) {
        const uint32_t n = transport.Read(buf, sizeof buf, true).Got;
        received.insert(received.end(), buf, buf + n);
    }
    EXPECT_EQ(received, sent);
    close(master);
}

TEST_F(FtdiTransportTest, CancelEndsTheReadsAndNoMoreFtReadIsMade) {
    OpenAdapter(); // no source: a silent adapter, each FT_Read waits the whole time-out
    FtdiTransport transport(fake_, handle_);
    // Like the transport thread, read again after each empty read until the cancel.
    uint8_t buf[4096];
    TransportRead last;
    const auto latency = ReturnAfterCancel(
        [&] {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            do last = transport.Read(buf, sizeof buf, true);
            while (!last.Failed && std::chrono::steady_clock::now() < giveUp);
        },
        LetItBlock, [&] { transport.Cancel(); });
    EXPECT_LT(latency, kCancelBound);
    EXPECT_TRUE(last.Failed);
    ClearLog();
    EXPECT_TRUE(transport.Read(buf, sizeof buf, true).Failed);
    EXPECT_TRUE(LogLines().empty()); // the adapter is not asked again
}

TEST_F(FtdiTransportTest, ZeroHandleReadsNothing) {
    FtdiTransport transport(fake_, nullptr);
    uint8_t byte = 0x5A;
    const TransportRead r = transport.Read(&byte, 1, true);
    EXPECT_EQ(r.Got, 0u);
    EXPECT_FALSE(r.Failed);
    EXPECT_EQ(byte, 0x5A);
}

} // namespace
} // namespace vintrel::test
