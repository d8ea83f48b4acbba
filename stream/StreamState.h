#pragma once
// The state of one receiver that the window, the transport thread and the parsing thread share:
// the ring, the decoder with its 48 frame buffers, the tag model, the transport state machine,
// its time stamps and the counters shown to the user.
//
// Threads: TransportState has three writers, each making only its own transitions. ReadIndx,
// ReadRecSize and TransportThreadCounter are written by the transport thread; the counters by
// the window thread; LastValidReadTime by whichever thread the state machine says. All are
// atomics read and written whole.
#include "stream/Clock.h"
#include "stream/FrameDecoder.h"
#include "stream/MessageSink.h"
#include "stream/ReceiveRing.h"
#include "stream/StreamFormat.h"
#include "stream/TagModel.h"
#include "stream/Transport.h"
#include "stream/Types.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

namespace vintrel {

struct StreamCounters {
    std::atomic<uint32_t> CSerrorsCount{0};
    std::atomic<uint32_t> TotalInconsFrCount{0};
    std::atomic<uint32_t> InconsistFramesCount{0};
    std::atomic<uint32_t> FirstFaultyFrameCounter{0};
    std::atomic<int32_t> InconsistFramesThresh{3}; // 0 or less: never reconnect
};

class StreamState {
public:
    StreamState(MessageSink& sink, const Clock& clock);

    MessageSink& Sink;
    const Clock& Ticks;

    ReceiveRing Ring;
    TagModel Tags;
    DecoderSettings Settings;
    FrameDecoder Decoder;
    StreamCounters Counters;

    // The set `State`: a recording runs, a connection has been made, frames also go to the
    // delay window. Written by the window thread, read per frame by the parsing thread.
    enum StateFlag : uint8_t { FRecord = 1, Usb = 2, Corr = 4 };
    std::atomic<uint8_t> State{0};
    bool Has(StateFlag f) const { return State.load(std::memory_order_acquire) & f; }
    void Add(StateFlag f) { State.fetch_or(f, std::memory_order_acq_rel); }
    void Remove(StateFlag f) { State.fetch_and(uint8_t(~f), std::memory_order_acq_rel); }

    std::atomic<TTransportState> TransportState{INACTIVE};
    std::atomic<TTransport> TransportIs{TR_NONE};
    // The open transport; replaced only while both threads are parked.
    std::atomic<Transport*> OpenTransport{nullptr};

    std::atomic<uint32_t> TransportThreadCounter{0};
    std::atomic<uint32_t> ConnectingStart{0};
    std::atomic<uint32_t> SynchronizingStart{0};
    std::atomic<uint32_t> LastValidReadTime{0};
    std::atomic<uint32_t> ReadRecSize{2048};
    std::atomic<bool> TCPIP_Reconnecting{false};
    // RUNNING passes that waited because the parser was a whole ring behind.
    std::atomic<uint64_t> RingFullWaits{0};

    // Hand-over of the 48 frame buffers to the window. The parser writes a buffer only when it is
    // Free or Delivered (taking an undrawn frame back and counting it); the window draws a buffer
    // only after moving it from Delivered to Drawing. Without a window (replays) the states are not used.
    enum BufferState : uint8_t { kBufFree = 0, kBufDelivered = 1, kBufDrawing = 2 };
    std::array<std::atomic<uint8_t>, kFrameBuffers> BufState{};
    std::atomic<bool> WindowDraws{false};
    std::atomic<uint64_t> FramesNotDrawn{0};
    bool ClaimForDrawing(int k) {
        uint8_t expected = kBufDelivered;
        return BufState[k].compare_exchange_strong(expected, kBufDrawing, std::memory_order_acquire);
    }
    void ReleaseDrawn(int k) { BufState[k].store(kBufFree, std::memory_order_release); }

    // The data stream format chosen at connect; the parsing thread reads it per frame.
    void SetFormat(DataStreamFormat f);
    StreamFormat Format() const { return format_; }
    SyncParams Sync() const {
        return SyncParams{Settings.BigEndian.load(std::memory_order_relaxed),
                          Settings.ChannLenWords.load(std::memory_order_relaxed)};
    }

private:
    StreamFormat format_;
};

} // namespace vintrel
