#pragma once
// One pass of the transport thread's state machine: idle while INACTIVE, read until data arrive
// while CONNECTING, read and wake the parser while it looks for the first marker
// (SYNCHRONIZING), then read one frame's length at a time while RUNNING. The thread (or a
// replay) runs passes in a loop, sleeps as each pass asks and signals the parsing thread with
// the event the pass returns.
//
// Threads: everything here is the transport thread's; the counters are published for others.
#include "stream/LinkLiveness.h"
#include "stream/ReceiveRing.h"
#include "stream/StreamState.h"
#include "stream/TransportLoopListener.h"

#include <atomic>

namespace vintrel {

enum class TransportEvent : uint8_t { None, SwitchedToRunning, DataArrived, DataTimedOut, Terminated };

struct TransportPassResult {
    TransportEvent Event = TransportEvent::None;
    int SleepMs = -1; // -1: none; 0: yield
    uint32_t Got = 0; // bytes read in this pass
};

constexpr uint32_t kConnectReadBytes = 4096;
constexpr uint32_t kUnsyncedReadBytes = 2048;
constexpr uint32_t kRingHeadroom = 4096; // never fill the ring closer than this to unparsed bytes

class TransportLoop {
public:
    explicit TransportLoop(StreamState& s, TransportLoopListener& listener = TransportLoopListener::None())
        : s_(s), ring_(s.Ring.Producer()), listener_(listener) {}

    TransportPassResult Pass();

    // Observers of every block read (raw dump, forwarding copy); at most four.
    void AddObserver(ReadObserver* o) {
        if (observerCount_ < 4) observers_[observerCount_++] = o;
    }
    // Bytes per read in SYNCHRONIZING and RUNNING (ReadRecSize).
    uint32_t ReadRecSize() const { return readRecSize_.load(std::memory_order_relaxed); }
    // Passes so far (TransportThreadCounter).
    uint32_t TransportThreadCounter() const { return passes_.load(std::memory_order_relaxed); }
    // Passes that waited because the parser was a whole ring behind.
    uint64_t RingFullWaits() const { return ringFullWaits_.load(std::memory_order_relaxed); }

private:
    uint32_t Read(uint32_t bytes, uint32_t* split = nullptr);
    bool RingFull(uint32_t bytes);
    // After a read that brought nothing: "No signal", or a TCP connection to make again.
    void EmptyRead(TTransportState state);

    StreamState& s_;
    ReceiveRing::Writer& ring_;
    TransportLoopListener& listener_;
    ReadObserver* observers_[4] = {};
    int observerCount_ = 0;
    ByteSilence silence_{s_.Ticks};
    std::atomic<uint32_t> readRecSize_{kUnsyncedReadBytes};
    std::atomic<uint32_t> passes_{0};
    std::atomic<uint64_t> ringFullWaits_{0};
};

} // namespace vintrel
