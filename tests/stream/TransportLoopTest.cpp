#include "stream/TransportLoop.h"
#include "stream/QueueSink.h"
#include "stream/ReplayTransport.h"
#include "support/FrameBuilder.h"

#include <gtest/gtest.h>

namespace vintrel {

namespace {
struct Silent : Transport {
    int reads = 0;
    TransportRead Read(uint8_t*, uint32_t, bool) override {
        ++reads;
        return {0, false};
    }
};

struct LoopFixture {
    QueueSink sink;
    ManualClock clock{5000};
    StreamState s{sink, clock};
    TransportLoop loop{s};
    int NoSignalReports() {
        int n = 0;
        QueuedMessage m;
        while (sink.Take(m)) n += m.Msg == WM_TRANSPORT_REPORT && m.LParam == 0;
        return n;
    }
};
} // namespace

TEST(TransportLoop, SilentTransportReportsNoSignalAfterFifteenSeconds) {
    LoopFixture f;
    Silent t;
    f.s.OpenTransport = &t;
    f.s.TransportIs = TR_TCPIP;
    f.loop.Pass(); // INACTIVE: ConnectingStart = now
    f.s.TransportState = CONNECTING;
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(f.loop.Pass().SleepMs, 1);
        f.clock.Advance(150); // 15 000 ms in all
    }
    EXPECT_EQ(f.NoSignalReports(), 0);
    f.clock.Advance(1);
    f.loop.Pass();
    f.loop.Pass();
    EXPECT_EQ(f.NoSignalReports(), 2); // once the 15 s have passed, after every empty read
    EXPECT_EQ(f.s.TransportState.load(), CONNECTING);
    EXPECT_EQ(t.reads, 102);
}

TEST(TransportLoop, NoSignalSurvivesTheTickCounterWrap) {
    LoopFixture f;
    Silent t;
    f.s.OpenTransport = &t;
    f.clock.Set(0xFFFFFF00u);
    f.loop.Pass();
    f.s.TransportState = CONNECTING;
    f.clock.Advance(14000); // wraps
    f.loop.Pass();
    EXPECT_EQ(f.NoSignalReports(), 0);
    f.clock.Advance(1001);
    f.loop.Pass();
    EXPECT_EQ(f.NoSignalReports(), 1);
}

TEST(TransportLoop, DataWithoutMarkerStillEntersRunning) {
    LoopFixture f;
    MemoryTransport t(std::vector<uint8_t>(100, 0x42));
    f.s.OpenTransport = &t;
    f.loop.Pass();
    f.s.TransportState = CONNECTING;
    EXPECT_EQ(f.loop.Pass().Got, 100u);
    EXPECT_EQ(f.s.TransportState.load(), SYNCHRONIZING);
    int switched = 0;
    f.loop.OnSwitchedToRunning = [&] { ++switched; };
    EXPECT_EQ(f.loop.Pass().Event, TransportEvent::SwitchedToRunning);
    EXPECT_EQ(f.s.ReadRecSize.load(), 2048u);
    EXPECT_EQ(f.s.TransportState.load(), RUNNING);
    EXPECT_EQ(switched, 1);
    EXPECT_EQ(f.loop.Pass().Event, TransportEvent::DataTimedOut); // nothing more to read
}

TEST(TransportLoop, RunningReadsOneFrameLength) {
    LoopFixture f;
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 20; ++i) test::Append(bytes, test::NewFrame(i).Raw(0x0101, {1, 2, 3}).Bytes());
    const uint32_t frameBytes = uint32_t(bytes.size() / 20);
    MemoryTransport t(bytes);
    f.s.OpenTransport = &t;
    f.loop.Pass();
    f.s.TransportState = CONNECTING;
    f.loop.Pass(); // 4096 bytes: all of it
    f.loop.Pass();
    EXPECT_EQ(f.s.ReadRecSize.load(), frameBytes);
    EXPECT_EQ(f.s.Ring.ParseIndx.load(), 0u);
    EXPECT_EQ(f.s.Ring.ReadIndx.load(), uint32_t(bytes.size()));
}

TEST(TransportLoop, ParkingIsNotOverwrittenByALateTransition) {
    // The window parks the thread while a CONNECTING read is under way; the read's result must
    // not move the state on.
    LoopFixture f;
    struct Parking : Transport {
        StreamState* s;
        TransportRead Read(uint8_t* dst, uint32_t len, bool) override {
            s->TransportState = INACTIVE;
            dst[0] = 1;
            return {1, false};
        }
    } t;
    t.s = &f.s;
    f.s.OpenTransport = &t;
    f.s.TransportState = CONNECTING;
    f.loop.Pass();
    EXPECT_EQ(f.s.TransportState.load(), INACTIVE);
}

TEST(TransportLoop, TerminatingEndsTheLoop) {
    LoopFixture f;
    f.s.TransportState = TERMINATING;
    EXPECT_EQ(f.loop.Pass().Event, TransportEvent::Terminated);
    EXPECT_EQ(f.s.TransportThreadCounter.load(), 1u);
}

} // namespace vintrel
