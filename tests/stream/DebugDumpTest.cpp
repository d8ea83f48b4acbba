#include "stream/DebugDump.h"
#include "stream/QueueSink.h"
#include "stream/ReplayTransport.h"
#include "stream/TransportLoop.h"
#include "support/FrameBuilder.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace vintrel {

namespace {
std::vector<uint8_t> Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}
uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
} // namespace

TEST(DebugDump, MarkedBlocksReadLogAndParseLog) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 10; ++i) test::Append(bytes, test::NewFrame(i).Raw(0x0101, {1, 2, 3}).Bytes());
    const uint32_t frameBytes = uint32_t(bytes.size() / 10);
    QueueSink sink;
    ManualClock clock;
    StreamState s(sink, clock);
    MemoryTransport t(bytes, 100);
    test::ScratchDir scratch;
    const std::string dir = scratch.Path();
    DebugDump dump(s);
    std::string error;
    ASSERT_TRUE(dump.Open(dir, true, error)) << error;
    TransportLoop loop(s, dump);
    loop.AddObserver(&dump);
    FrameExtractor ex(s);
    ex.AddConsumer(&dump);

    s.Control.Connect(&t, TR_FTDI);
    ex.Start();
    loop.Pass();                           // CONNECTING: 100 bytes
    ex.Round(TransportEvent::DataArrived); // the parser finds the first frame
    loop.Pass();                           // SYNCHRONIZING -> RUNNING
    for (int i = 0; i < 3; ++i) {          // RUNNING: one frame length each
        loop.Pass();
        ex.Round(TransportEvent::DataArrived);
    }
    dump.Close();

    const auto raw = Slurp(dir + "/" + DebugDump::kRawDumpFile);
    // CONNECTING block: 32-byte marks of B1B1/E1E1 around 100 bytes; then RUNNING blocks with B3B3.
    ASSERT_GE(raw.size(), 32u + 100 + 32);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(raw[i], 0xB1);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 100, raw.begin() + 32));
    for (int i = 0; i < 32; ++i) EXPECT_EQ(raw[132 + i], 0xE1);
    EXPECT_EQ(raw[164], 0xB3);
    EXPECT_EQ(raw.size(), (32u + 100 + 32) + 3 * (32 + frameBytes + 32)); // RUNNING reads one frame length

    const auto readLog = Slurp(dir + "/" + DebugDump::kReadLogFile);
    ASSERT_EQ(readLog.size(), 3u * 16);
    EXPECT_EQ(Le32(readLog, 0), 100u);               // ReadIndx before the first RUNNING read
    EXPECT_EQ(Le32(readLog, 4), frameBytes);         // no wrapped part: 0 x 65536 + the first part
    EXPECT_EQ(Le32(readLog, 12), 100u + frameBytes); // ReadIndx after it

    const auto parseLog = Slurp(dir + "/" + DebugDump::kParseLogFile);
    ASSERT_EQ(parseLog.size() % 16, 0u);
    ASSERT_GE(parseLog.size(), 16u * 3);
    EXPECT_EQ(Le32(parseLog, 0), 0u);                  // ParseIndx before frame 0
    EXPECT_EQ(Le32(parseLog, 4), 0u);                  // its counter
    EXPECT_EQ(Le32(parseLog, 12), frameBytes);         // ParseIndx after it
    EXPECT_EQ(Le32(parseLog, 16 + 4), 1u);             // the next frame's counter
    EXPECT_EQ(Le32(parseLog, 16 + 8) >> 8 & 0xFF, 1u); // its frame buffer
}

TEST(DebugDump, OpenFailsClearlyInAMissingFolder) {
    QueueSink sink;
    ManualClock clock;
    StreamState s(sink, clock);
    DebugDump dump(s);
    std::string error;
    EXPECT_FALSE(dump.Open("/nonexistent/folder", false, error));
    EXPECT_EQ(error,
              std::string("/nonexistent/folder/") + DebugDump::kRawDumpFile + ": No such file or directory");
    EXPECT_FALSE(dump.IsOpen());
}

} // namespace vintrel
