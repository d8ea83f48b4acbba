#include "stream/TransportLoop.h"
#include "stream/FrameExtractor.h"
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

struct LoopFixture : TransportLoopListener {
    QueueSink sink;
    ManualClock clock{5000};
    StreamState s{sink, clock};
    TransportLoop loop{s, *this};
    int switched = 0;
    void OnSwitchedToRunning() override { ++switched; }
    int NoSignalReports() {
        int n = 0;
        QueuedMessage m;
        while (sink.Take(m)) n += m.Msg == WM_TRANSPORT_REPORT && m.LParam == 0;
        return n;
    }
};
} // namespace

TEST(TransportLoop, SilentTransportReportsNoSignalOnceAfterFifteenSeconds) {
    // Any link: "No signal" once. TCP: nothing at all for 15 s, also while RUNNING, and the
    // window is asked to make the connection again.
    for (const TTransport kind : {TR_FTDI, TR_TCPIP}) {
        for (const TTransportState state : {CONNECTING, RUNNING}) {
            SCOPED_TRACE(testing::Message() << kind << " " << state);
            LoopFixture f;
            Silent t;
            f.s.Control.Connect(&t, kind); // the next pass takes it over: the 15 s count from now
            f.loop.Pass();
            if (state == RUNNING) {
                f.s.Control.Enter(SYNCHRONIZING);
                f.s.Control.Ask(ParserAsk::Running, 64);
                f.loop.Pass();
            }
            for (int i = 0; i < 100; ++i) {
                f.loop.Pass();
                f.clock.Advance(150); // 15 000 ms in all
            }
            EXPECT_EQ(f.NoSignalReports(), 0);
            f.clock.Advance(1);
            f.loop.Pass();
            f.loop.Pass();
            int reports = 0, reconnects = 0;
            for (QueuedMessage m; f.sink.Take(m);) {
                reports += m.Msg == WM_TRANSPORT_REPORT && m.LParam == 0;
                reconnects += m.Msg == WM_TCPIP_RECONNECT;
            }
            EXPECT_EQ(reports, state == CONNECTING || kind == TR_TCPIP ? 1 : 0);
            EXPECT_EQ(reconnects, kind == TR_TCPIP ? 1 : 0);
            EXPECT_EQ(f.s.Control.State(), state);
        }
    }
}

TEST(TransportLoop, NoSignalSurvivesTheTickCounterWrap) {
    LoopFixture f;
    Silent t;
    f.clock.Set(0xFFFFFF00u);
    f.s.Control.Connect(&t, TR_FTDI);
    f.loop.Pass();
    f.clock.Advance(14000); // wraps
    f.loop.Pass();
    EXPECT_EQ(f.NoSignalReports(), 0);
    f.clock.Advance(1001);
    f.loop.Pass();
    EXPECT_EQ(f.NoSignalReports(), 1);
}

TEST(TransportLoop, SynchronizingReadsOnUntilTheParserFindsAFrame) {
    LoopFixture f;
    MemoryTransport t(std::vector<uint8_t>(100, 0x42));
    f.s.Control.Connect(&t, TR_FTDI);
    const TransportPassResult first = f.loop.Pass();
    EXPECT_EQ(first.Got, 100u);
    EXPECT_EQ(first.Event, TransportEvent::DataArrived);
    EXPECT_EQ(f.s.Control.State(), SYNCHRONIZING);
    EXPECT_EQ(f.loop.Pass().Event, TransportEvent::None); // nothing more to read, no marker found
    EXPECT_EQ(f.s.Control.State(), SYNCHRONIZING);
    f.s.Control.Ask(ParserAsk::Running, 0); // the parser searched without finding a marker
    EXPECT_EQ(f.loop.Pass().Event, TransportEvent::SwitchedToRunning);
    EXPECT_EQ(f.loop.ReadRecSize(), 2048u);
    EXPECT_EQ(f.s.Control.State(), RUNNING);
    EXPECT_EQ(f.switched, 1);
    EXPECT_EQ(f.loop.Pass().Event, TransportEvent::DataTimedOut);
}

TEST(TransportLoop, RunningReadsOneFrameLength) {
    LoopFixture f;
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 20; ++i) test::Append(bytes, test::NewFrame(i).Raw(0x0101, {1, 2, 3}).Bytes());
    const uint32_t frameBytes = uint32_t(bytes.size() / 20);
    MemoryTransport t(bytes);
    f.s.Control.Connect(&t, TR_FTDI);
    f.loop.Pass(); // 4096 bytes: all of it
    FrameExtractor ex(f.s);
    ex.Start();
    EXPECT_EQ(ex.Round(TransportEvent::DataArrived), 20); // the parser finds the frames
    EXPECT_EQ(f.loop.Pass().Event, TransportEvent::SwitchedToRunning);
    EXPECT_EQ(f.loop.ReadRecSize(), frameBytes);
    EXPECT_EQ(f.s.Ring.ParseIndx(), uint32_t(bytes.size()));
    EXPECT_EQ(f.s.Ring.ReadIndx(), uint32_t(bytes.size()));
}

TEST(TransportLoop, ParkCancelsTheReadAndIsAcknowledgedAwayFromTheTransport) {
    // The window parks the thread while a CONNECTING read is under way: the read is cancelled,
    // its bytes are kept, and the next pass leaves the transport and acknowledges.
    LoopFixture f;
    struct Parking : Transport {
        StreamState* s;
        bool cancelled = false;
        TransportRead Read(uint8_t* dst, uint32_t, bool) override {
            s->Control.RequestPark();
            dst[0] = 1;
            return {1, false};
        }
        void Cancel() override { cancelled = true; }
    } t;
    t.s = &f.s;
    f.s.Control.Connect(&t, TR_FTDI);
    f.loop.Pass();
    EXPECT_TRUE(t.cancelled);
    EXPECT_FALSE(f.s.Control.Parked());
    EXPECT_FALSE(f.s.Control.WaitParked(1));
    f.loop.Pass();
    EXPECT_TRUE(f.s.Control.WaitParked(0));
    EXPECT_EQ(f.s.Control.State(), INACTIVE);
    EXPECT_EQ(f.s.Control.Open(), nullptr);
    EXPECT_EQ(f.s.Ring.ReadIndx(), 1u);
    // What the old parser asked is void once parked, and a new Connect takes a new transport.
    f.s.Control.Ask(ParserAsk::Connecting);
    Silent next;
    f.s.Control.Connect(&next, TR_UART);
    f.loop.Pass();
    EXPECT_EQ(f.s.Control.State(), CONNECTING);
    EXPECT_EQ(f.s.Control.TransportIs(), TR_UART);
    EXPECT_EQ(next.reads, 1);
}

TEST(TransportLoop, TerminatingEndsTheLoop) {
    LoopFixture f;
    f.s.Control.Terminate();
    EXPECT_EQ(f.loop.Pass().Event, TransportEvent::Terminated);
    EXPECT_EQ(f.loop.TransportThreadCounter(), 1u);
}

} // namespace vintrel
