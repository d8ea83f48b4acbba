#include "stream/TransportLoop.h"

namespace vintrel {

uint32_t TransportLoop::Read(uint32_t bytes, uint32_t* split) {
    Transport* t = s_.Control.Open();
    if (!t) return 0; // TR_NONE reads nothing
    return ring_.ReadToCycBuf(*t, bytes, observers_, observerCount_, split);
}

bool TransportLoop::RingFull(uint32_t bytes) {
    // The parser is a whole ring behind: wait for it instead of overwriting bytes it has not
    // taken yet. The transport's own buffers (and TCP flow control) hold the stream meanwhile.
    if (s_.Ring.Unparsed() + bytes <= kRingSize - kRingHeadroom) return false;
    ringFullWaits_.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void TransportLoop::EmptyRead(TTransportState state) {
    const TTransport kind = s_.Control.TransportIs();
    const Quiet q = silence_.EmptyRead(state, kind);
    if (q == Quiet::None) return;
    s_.Sink.Post(WM_TRANSPORT_REPORT, kind, 0);
    // The window owns the connection: it closes it and connects again.
    if (q == Quiet::Reconnect) s_.Sink.Post(WM_TCPIP_RECONNECT, 0, 0);
}

TransportPassResult TransportLoop::Pass() {
    passes_.fetch_add(1, std::memory_order_relaxed);
    TransportPassResult res;
    uint32_t frameBytes = 0;
    switch (s_.Control.BeginPass(frameBytes)) {
    case PassChange::Connected:
        silence_.Connected();
        break;
    case PassChange::ToConnecting:
    case PassChange::ToSynchronizing:
        silence_.Entered();
        break;
    case PassChange::ToRunning:
        readRecSize_ = frameBytes > 0 ? frameBytes : kUnsyncedReadBytes;
        listener_.OnSwitchedToRunning();
        res.Event = TransportEvent::SwitchedToRunning;
        res.SleepMs = 0;
        return res;
    case PassChange::Resized:
        readRecSize_ = frameBytes > 0 ? frameBytes : kUnsyncedReadBytes;
        break;
    default:
        break;
    }
    const TTransportState state = s_.Control.State();
    if (state <= RUNNING) listener_.OnPassState(state);

    switch (state) {
    case INACTIVE:
        res.SleepMs = 10;
        break;

    case CONNECTING: {
        const uint32_t got = Read(kConnectReadBytes);
        res.Got = got;
        if (got > 0) {
            ring_.Commit(got);
            // The parser looks for the first marker in what came.
            s_.Control.Enter(SYNCHRONIZING);
            silence_.Entered();
            silence_.BytesCame();
            readRecSize_ = kUnsyncedReadBytes;
            res.Event = TransportEvent::DataArrived;
        } else {
            EmptyRead(CONNECTING);
            res.SleepMs = 1;
        }
        break;
    }

    case SYNCHRONIZING: {
        // The parser has not found a frame yet: read on in blocks and wake it for each.
        if (RingFull(kUnsyncedReadBytes)) {
            res.Event = TransportEvent::DataArrived;
            res.SleepMs = 1;
            break;
        }
        const uint32_t got = Read(kUnsyncedReadBytes);
        res.Got = got;
        ring_.Commit(got);
        if (got > 0) {
            silence_.BytesCame();
            res.Event = TransportEvent::DataArrived;
            res.SleepMs = 0;
        } else {
            EmptyRead(SYNCHRONIZING);
            res.SleepMs = 1;
        }
        break;
    }

    case RUNNING: {
        const uint32_t size = ReadRecSize();
        if (RingFull(size)) {
            res.Event = TransportEvent::DataArrived;
            res.SleepMs = 1;
            break;
        }
        uint32_t bufCopy[4];
        bufCopy[0] = ring_.ReadIndx();
        const uint32_t got = Read(size, &bufCopy[1]);
        res.Got = got;
        // The index moves before the signal so the woken parser sees the new bytes.
        ring_.Commit(got);
        bufCopy[2] = s_.Parser.LastValidReadTime();
        bufCopy[3] = ring_.ReadIndx();
        res.Event = got > 0 ? TransportEvent::DataArrived : TransportEvent::DataTimedOut;
        if (got > 0)
            silence_.BytesCame();
        else
            EmptyRead(RUNNING);
        listener_.OnReadLog(bufCopy);
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
