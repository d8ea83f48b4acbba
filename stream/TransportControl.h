#pragma once
// The transport thread's state machine and who may move it. The transport thread is the only
// writer of the state: the window asks it to park, to connect and to end; the parsing thread
// asks it to leave RUNNING or to read frames of a new length. Requests are carried out at the
// start of the transport thread's next pass; a park is acknowledged once the thread has left
// the transport for good, so the window never closes a transport under a read.
//
// Threads: the window thread calls RequestPark, WaitParked, Parked, Connect and Terminate; the
// parsing thread calls Ask; the transport thread calls BeginPass and Enter. State and
// TransportIs may be read by anyone.
#include "stream/Transport.h"
#include "stream/Types.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace vintrel {

// What the parsing thread asks of the transport thread.
enum class ParserAsk : uint8_t {
    None,
    Synchronizing, // the next frame does not start where the last one ended
    Connecting,    // the link is taken for dead
    Running,       // frames of `frameBytes` were found: read that much at a time
};

// What BeginPass did before the pass.
enum class PassChange : uint8_t {
    None,
    Parked,
    Connected,
    ToSynchronizing,
    ToConnecting,
    ToRunning,
    Resized,
    Terminated
};

class TransportControl {
public:
    TTransportState State() const { return state_.load(std::memory_order_acquire); }
    TTransport TransportIs() const { return transportIs_.load(std::memory_order_acquire); }
    // How often the thread has entered CONNECTING; the parser tells an old request from a new one.
    uint32_t ConnectingEntries() const { return connectingEntries_.load(std::memory_order_acquire); }

    // Window thread. Asks the transport thread to park and cancels a read blocked in the open
    // transport; a pending Connect is withdrawn.
    void RequestPark();
    // Waits at most ms for the acknowledgement of the park asked for; true once parked.
    bool WaitParked(uint32_t ms);
    bool Parked() const;
    // Only while parked: hands the opened transport over and asks for CONNECTING.
    void Connect(Transport* transport, TTransport kind);
    // Asks the thread to end, cancelling a blocked read.
    void Terminate();

    // Parsing thread. A later request replaces one not yet carried out.
    void Ask(ParserAsk ask, uint32_t frameBytes = 0);

    // Transport thread: carries out what was asked; returns what changed. frameBytes receives the
    // frame length of a Running request.
    PassChange BeginPass(uint32_t& frameBytes);
    // Its own transitions (CONNECTING -> SYNCHRONIZING on the first data).
    void Enter(TTransportState s) { state_.store(s, std::memory_order_release); }
    // The transport to read; null while parked.
    Transport* Open() const { return open_.load(std::memory_order_acquire); }

private:
    PassChange ApplyAsk(uint32_t& frameBytes);

    std::atomic<TTransportState> state_{INACTIVE};
    std::atomic<TTransport> transportIs_{TR_NONE};
    std::atomic<Transport*> open_{nullptr};
    std::atomic<uint32_t> connectingEntries_{0};
    std::atomic<uint32_t> ask_{0}; // (ParserAsk << 24) | frame bytes; taken by the transport thread

    mutable std::mutex mutex_;
    std::condition_variable parkedCv_;
    bool parked_ = true; // the thread starts INACTIVE, away from any transport
    bool parkAsked_ = false;
    bool connectAsked_ = false;
    bool terminateAsked_ = false;
    Transport* pending_ = nullptr;
    TTransport pendingKind_ = TR_NONE;
};

} // namespace vintrel
