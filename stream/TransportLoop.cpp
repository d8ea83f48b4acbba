#include "stream/TransportLoop.h"

namespace vintrel {

uint32_t TransportLoop::Read(uint32_t bytes, uint32_t* split) {
    Transport* t = s_.OpenTransport.load();
    if (!t) return 0; // TR_NONE reads nothing
    return s_.Ring.ReadToCycBuf(*t, bytes, observers_, observerCount_, split);
}

void TransportLoop::DropUnmarkedBytes() {
    // Bytes in which no marker was found can never start a frame. Keep only a tail that may hold
    // the beginning of one, so that a stream of noise cannot fill the ring.
    const uint32_t unparsed = s_.Ring.Unparsed();
    if (unparsed <= kUnmarkedKeep * 2) return;
    s_.Ring.ParseIndx = (s_.Ring.ReadIndx.load() - kUnmarkedKeep) & kRingMask;
}

TransportPassResult TransportLoop::Pass() {
    s_.TransportThreadCounter.fetch_add(1);
    const TTransportState state = s_.TransportState.load();
    if (OnPassState && state <= RUNNING) OnPassState(state);
    const uint32_t now = s_.Ticks.Now();
    TransportPassResult res;

    switch (state) {
    case INACTIVE:
        res.SleepMs = 10;
        s_.ConnectingStart = now;
        s_.Ring.Reset();
        break;

    case CONNECTING: {
        const uint32_t got = Read(kConnectReadBytes);
        res.Got = got;
        if (got > 0) {
            s_.Ring.ReadIndx = (s_.Ring.ReadIndx.load() + got) & kRingMask;
            // Only move on if nobody parked the thread meanwhile.
            TTransportState expected = CONNECTING;
            s_.TransportState.compare_exchange_strong(expected, SYNCHRONIZING);
            s_.SynchronizingStart = s_.Ticks.Now();
        } else {
            if (TicksSince(s_.ConnectingStart.load(), s_.Ticks.Now()) > kNoSignalMs)
                s_.Sink.Post(WM_TRANSPORT_REPORT, s_.TransportIs.load(), 0);
            res.SleepMs = 1;
        }
        break;
    }

    case SYNCHRONIZING: {
        const int32_t len = s_.Ring.FindStartPointInCycBuf(false, s_.Sync());
        if (len == 0) DropUnmarkedBytes();
        s_.ReadRecSize = len > 0 ? uint32_t(len) : kUnsyncedReadBytes;
        const uint32_t free = (s_.Ring.ParseIndx.load() - s_.Ring.ReadIndx.load()) & kRingMask;
        if (len > 0 && uint32_t(len) > free) {
            const uint32_t got = Read(s_.ReadRecSize.load());
            res.Got = got;
            s_.Ring.ReadIndx = (s_.Ring.ReadIndx.load() + got) & kRingMask;
            if (TicksSince(s_.SynchronizingStart.load(), s_.Ticks.Now()) > kNoSignalMs)
                s_.Sink.Post(WM_TRANSPORT_REPORT, s_.TransportIs.load(), 0);
            res.SleepMs = 1;
        } else {
            TTransportState expected = SYNCHRONIZING;
            if (s_.TransportState.compare_exchange_strong(expected, RUNNING)) {
                if (OnSwitchedToRunning) OnSwitchedToRunning();
                s_.LastValidReadTime = s_.Ticks.Now();
                res.Event = TransportEvent::SwitchedToRunning;
            }
            res.SleepMs = 0;
        }
        break;
    }

    case RUNNING: {
        s_.TCPIP_Reconnecting = false;
        if (s_.Ring.Unparsed() + s_.ReadRecSize.load() > kRingSize - kRingHeadroom) {
            // The parser is a whole ring behind: wait for it instead of overwriting frames it has
            // not taken yet. The transport's own buffers (and TCP flow control) hold the stream.
            s_.RingFullWaits.fetch_add(1, std::memory_order_relaxed);
            res.Event = TransportEvent::DataArrived;
            res.SleepMs = 1;
            break;
        }
        uint32_t bufCopy[4];
        bufCopy[0] = s_.Ring.ReadIndx.load();
        const uint32_t got = Read(s_.ReadRecSize.load(), &bufCopy[1]);
        res.Got = got;
        // The index moves before the signal so the woken parser sees the new bytes.
        s_.Ring.ReadIndx = (bufCopy[0] + got) & kRingMask;
        bufCopy[2] = s_.LastValidReadTime.load();
        bufCopy[3] = s_.Ring.ReadIndx.load();
        res.Event = got > 0 ? TransportEvent::DataArrived : TransportEvent::DataTimedOut;
        if (OnReadLog) OnReadLog(bufCopy);
        res.SleepMs = 0;
        break;
    }

    case TERMINATING:
        res.Event = TransportEvent::Terminated;
        break;
    }
    return res;
}

} // namespace vintrel
