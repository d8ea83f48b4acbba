// The transport and parsing threads for real, over an in-memory transport.
#include "stream/ParsingThread.h"
#include "stream/QueueSink.h"
#include "stream/ReplayTransport.h"
#include "stream/TransportThread.h"
#include "support/FrameBuilder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace vintrel {

namespace {

// Hands out bytes in pieces, then stays silent.
class Trickle : public Transport {
public:
    explicit Trickle(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    TransportRead Read(uint8_t* dst, uint32_t len, bool) override {
        std::lock_guard lock(m_);
        const size_t n = std::min<size_t>({len, 700, bytes_.size() - pos_});
        std::copy_n(bytes_.begin() + pos_, n, dst);
        pos_ += n;
        if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return {uint32_t(n), false};
    }
    bool Done() {
        std::lock_guard lock(m_);
        return pos_ == bytes_.size();
    }
    // Like a socket's count of received bytes: a late transport thread is not a dead link.
    uint32_t Pending() const override {
        std::lock_guard lock(m_);
        return uint32_t(bytes_.size() - pos_);
    }

private:
    mutable std::mutex m_;
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
};

struct Counter : FrameConsumer {
    std::atomic<int> frames{0};
    std::atomic<int64_t> last{-1};
    std::atomic<int> outOfOrder{0};
    void OnFrame(const DecodedFrame& f) override {
        if (f.FrameNum != last.load() + 1) ++outOfOrder;
        last = f.FrameNum;
        ++frames;
    }
};

// What the transport thread's next pass would carry out.
PassChange ApplyAsked(StreamState& s) {
    uint32_t frameBytes = 0;
    return s.Control.BeginPass(frameBytes);
}

template <class Pred> bool WaitUntil(Pred p, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!p()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

TEST(Threads, EventsWakeTheFirstSetAndTimeOut) {
    EventHub hub;
    AutoResetEvent a(hub), b(hub);
    b.Set();
    a.Set();
    EXPECT_EQ(hub.WaitAny({&a, &b}, 10), 0);
    EXPECT_EQ(hub.WaitAny({&a, &b}, 10), 1);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(hub.WaitAny({&a, &b}, 30), EventHub::kTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(29));
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        b.Set();
    });
    EXPECT_EQ(hub.WaitAny({&a, &b}, 5000), 1);
    setter.join();
}

TEST(Threads, EveryFrameArrivesInOrderThroughBothThreads) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 5000; ++i)
        test::Append(bytes, test::NewFrame(i).Raw(0x0101, {int16_t(i), 1, 2, 3}).Bytes());
    Trickle t(bytes);
    QueueSink sink;
    SteadyClock clock;
    StreamState s(sink, clock);
    StreamEvents ev;
    TransportLoop loop(s);
    FrameExtractor ex(s);
    Counter c;
    ex.AddConsumer(&c);
    TTransportThread tt(loop, ev);
    TParsingThread pt(s, ex, ev);
    tt.Resume();
    s.Control.Connect(&t, TR_FTDI);
    pt.Resume();
    EXPECT_TRUE(WaitUntil([&] { return c.frames.load() == 5000; }, 20000)) << c.frames.load();
    EXPECT_EQ(c.outOfOrder.load(), 0);
    s.Control.RequestPark();
    EXPECT_TRUE(s.Control.WaitParked(2000));
    EXPECT_EQ(s.Control.State(), INACTIVE);
    pt.Terminate();
    s.Control.Terminate();
    tt.WaitFor();
}

TEST(Threads, AParserEndingForAReconnectionTakesTheFramesItHadNotLookedAtYet) {
    // The peer sent everything and closed before the parsing thread got a core: no event woke it.
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 20; ++i) test::Append(bytes, test::NewFrame(i).Raw(0x0101, {int16_t(i)}).Bytes());
    QueueSink sink;
    SteadyClock clock;
    StreamState s(sink, clock);
    StreamEvents ev;
    FrameExtractor ex(s);
    Counter c;
    ex.AddConsumer(&c);
    s.Ring.Producer().Write(bytes.data(), uint32_t(bytes.size()));
    TParsingThread pt(s, ex, ev);
    pt.Resume();
    pt.Terminate(true);
    EXPECT_EQ(c.frames.load(), 20);
    EXPECT_EQ(c.outOfOrder.load(), 0);
}

namespace {
struct Pipeline {
    QueueSink sink;
    SteadyClock clock;
    StreamState s{sink, clock};
    StreamEvents ev;
    TransportLoop loop{s};
    FrameExtractor ex{s};
    TTransportThread tt{loop, ev};
    TParsingThread pt{s, ex, ev};
    void Run(Transport& t) {
        tt.Resume();
        s.Control.Connect(&t, TR_FTDI);
        pt.Resume();
    }
    ~Pipeline() {
        s.Control.RequestPark();
        s.Control.WaitParked(2000);
        pt.Terminate();
        s.Control.Terminate();
        tt.WaitFor();
    }
};
// Holds the parser at frame 10 until the transport has found the ring full.
struct Stuck : Counter {
    const TransportLoop* loop = nullptr;
    void OnFrame(const DecodedFrame& f) override {
        Counter::OnFrame(f);
        if (f.FrameNum == 10) WaitUntil([&] { return loop->RingFullWaits() > 0; }, 60000);
    }
};
} // namespace

TEST(Threads, SlowParserMakesTheTransportWaitInsteadOfOverwriting) {
    std::vector<uint8_t> bytes; // two and a half ring lengths
    for (int i = 0; i < 1600; ++i)
        test::Append(bytes, test::NewFrame(i).Raw(0x0101, std::vector<int16_t>(400, 3)).Bytes());
    MemoryTransport t(bytes);
    Pipeline p;
    Stuck c;
    c.loop = &p.loop;
    p.ex.AddConsumer(&c);
    p.Run(t);
    EXPECT_TRUE(WaitUntil([&] { return c.frames.load() == 1600; }, 60000)) << c.frames.load();
    EXPECT_EQ(c.outOfOrder.load(), 0);
    EXPECT_GT(p.loop.RingFullWaits(), 0u);
}

TEST(Threads, NoiseLongerThanTheRingIsDropped) {
    std::vector<uint8_t> bytes(2u << 20, 0x55);
    for (int i = 0; i < 500; ++i) test::Append(bytes, test::NewFrame(i).Raw(0x0101, {1, 2}).Bytes());
    Trickle t(bytes);
    Pipeline p;
    Counter c;
    p.ex.AddConsumer(&c);
    p.Run(t);
    EXPECT_TRUE(WaitUntil([&] { return c.frames.load() == 500; }, 60000)) << c.frames.load();
}

TEST(Threads, SilenceInTheMiddleOfAFrameKeepsATcpLinkAndGivesUpAUsbLink) {
    // Half a frame is in the ring and nothing came for 32 ms: "Lost sync" either way. The TCP
    // connection keeps the half frame, which the rest completes; the USB link drops it and
    // connects again.
    const auto frame = test::NewFrame(7).Raw(0x0101, std::vector<int16_t>(40, 5)).Bytes();
    const uint32_t half = uint32_t(frame.size() / 2);
    for (const TTransport kind : {TR_TCPIP, TR_FTDI}) {
        SCOPED_TRACE(kind);
        MemoryTransport t({});
        QueueSink sink;
        SteadyClock clock;
        StreamState s(sink, clock);
        s.Control.Connect(&t, kind);
        ApplyAsked(s);
        s.Control.Enter(RUNNING); // as the transport thread has
        s.Ring.Producer().Write(frame.data(), half);
        FrameExtractor ex(s);
        Counter c;
        ex.AddConsumer(&c);
        ex.Start();
        ex.OnWaitTimedOut(kLostSyncMs + 1);
        int lostSync = 0, reconnects = 0;
        for (QueuedMessage m; sink.Take(m);) {
            lostSync += m.Msg == WM_TRANSPORT_REPORT && m.LParam == 1;
            reconnects += m.Msg == WM_TCPIP_RECONNECT;
        }
        EXPECT_EQ(lostSync, 1);
        EXPECT_EQ(reconnects, 0); // only a closed connection is made again
        const bool kept = kind == TR_TCPIP;
        EXPECT_EQ(s.Ring.Unparsed(), kept ? half : 0u);
        EXPECT_EQ(ApplyAsked(s), kept ? PassChange::None : PassChange::ToConnecting);
        if (!kept) continue;
        s.Ring.Producer().Write(frame.data() + half, uint32_t(frame.size()) - half);
        ex.Round(TransportEvent::DataArrived);
        EXPECT_EQ(c.frames.load(), 1);
    }
}

TEST(Threads, WindowThatFallsBehindLosesOnlyDrawing) {
    // No one draws: after 48 frames the parser takes the buffers back and counts them.
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 300; ++i) test::Append(bytes, test::NewFrame(i).Raw(0x0101, {1}).Bytes());
    Trickle t(bytes);
    Pipeline p;
    p.s.HandOff.EnableDrawing();
    Counter c;
    p.ex.AddConsumer(&c);
    p.Run(t);
    EXPECT_TRUE(WaitUntil([&] { return c.frames.load() == 300; }, 20000));
    EXPECT_EQ(p.s.HandOff.FramesNotDrawn(), 300u - 48u);
    // The window now claims the newest batch: it is still there to draw.
    EXPECT_TRUE(p.s.HandOff.Claim(299 % 48));
    p.s.HandOff.Release(299 % 48);
    EXPECT_FALSE(p.s.HandOff.Claim(299 % 48));
}

} // namespace vintrel

namespace vintrel {

TEST(Threads, ATransportPassAtEveryHandOverDeliversNoFrameTwice) {
    // The transport thread may run at any moment the parser hands something over: here it runs
    // one pass inside every message and status the parser posts. Frames come, the link goes
    // silent and is given up, noise and more frames come; each frame arrives once, in order.
    struct Script : Transport {
        std::vector<uint8_t> bytes;
        size_t pos = 0;
        bool silent = false;
        TransportRead Read(uint8_t* dst, uint32_t len, bool) override {
            const size_t n = silent ? 0 : std::min<size_t>({len, 500, bytes.size() - pos});
            std::copy_n(bytes.begin() + pos, n, dst);
            pos += n;
            return {uint32_t(n), false};
        }
    } t;
    struct PassingSink : QueueSink {
        TransportLoop* loop = nullptr;
        Script* t = nullptr;
        void Post(uint32_t m, uintptr_t w, intptr_t l) override {
            QueueSink::Post(m, w, l);
            t->silent = false; // the target is back the moment the parser reports
            if (loop) loop->Pass();
        }
        using QueueSink::SetStat;
        void SetStat(std::string_view text, StatStyle style, StatKind kind) override {
            QueueSink::SetStat(text, style, kind);
            if (loop) loop->Pass();
        }
    } sink;
    sink.t = &t;
    ManualClock clock(1000);
    StreamState s(sink, clock);
    TransportLoop loop(s);
    FrameExtractor ex(s);
    Counter c;
    ex.AddConsumer(&c);
    auto frames = [&](int from, int to) {
        for (int i = from; i < to; ++i)
            test::Append(t.bytes, test::NewFrame(i).Raw(0x0101, {int16_t(i), 2, 3}).Bytes());
    };
    auto drain = [&] {
        for (int i = 0; i < 20000 && t.pos < t.bytes.size(); ++i) {
            const TransportPassResult r = loop.Pass();
            clock.Advance(1);
            if (r.Event != TransportEvent::None) ex.Round(r.Event);
        }
        for (int i = 0; i < 4; ++i) ex.Round(loop.Pass().Event);
    };
    frames(0, 420);
    s.Control.Connect(&t, TR_FTDI);
    ex.Start();
    sink.loop = &loop;
    drain();
    EXPECT_EQ(c.frames.load(), 420);

    // Silence: the link is given up, and the target is back while the parser says so.
    frames(420, 900);
    t.silent = true;
    clock.Advance(kLostSyncMs + 1);
    ex.OnWaitTimedOut(kLostSyncMs + 1);
    loop.Pass();
    EXPECT_EQ(int(s.Control.State()), int(SYNCHRONIZING)); // connecting again, and data came
    drain();
    EXPECT_EQ(c.frames.load(), 900);
    EXPECT_EQ(c.outOfOrder.load(), 0);
}

} // namespace vintrel
