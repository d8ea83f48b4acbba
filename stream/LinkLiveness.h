#pragma once
// When a quiet link counts as lost, and what is done about it. Three threads watch the link and
// each owns its part:
//   FrameSilence (parsing thread): 32 ms without a whole frame is "Lost sync". A serial or USB
//     link is then given up and connected again. A TCP connection is kept with every byte it
//     brought: the silence is only reported, and the frames go on where they stopped. Quiet
//     that is not the link's does not count: a wait the parsing thread itself slept through (a
//     starved machine stalls the target's sender too), and bytes waiting at the transport for a
//     late transport thread.
//   ByteSilence (transport thread): 15 s without a frame while connecting or synchronizing is
//     "No signal". A TCP connection on which nothing at all arrived for 15 s is closed and made
//     again.
//   ReconnectSchedule (window thread): a TCP connection that closed is made again at once, then
//     every 5 s until it is up.
#include "stream/Clock.h"
#include "stream/Types.h"

#include <atomic>
#include <cstdint>

namespace vintrel {

constexpr uint32_t kLostSyncMs = 32;
// A lost-sync wait that ends more than this late was one the parsing thread slept through.
constexpr uint32_t kStalledWaitMs = 8;
constexpr uint32_t kNoSignalMs = 15000;
constexpr uint32_t kTcpRetryMs = 5000;

// What the parsing thread does about a silence.
enum class Silence : uint8_t {
    None,
    LostSync,  // report "Lost sync"; keep every byte and go on
    Resync,    // report, and look for the next frame marker from where parsing stands
    Reconnect, // report, and ask the transport to connect again
    GiveUp,    // report, take the whole frames there are, drop the rest, connect again
};

// Parsing thread only; LastFrameTime may be read by any thread.
class FrameSilence {
public:
    explicit FrameSilence(const Clock& clock) : clock_(clock) {}

    // The parser starts, or the transport has just switched to RUNNING: the 32 ms count from
    // now and an earlier give-up is settled.
    void Restart();
    // A whole frame was taken.
    void FrameTaken() { Restart(); }
    // The parser asked for a fresh search by itself (the next frame did not follow the last).
    void SearchAsked() { Touch(); }

    // The wait for the transport's next event ran out after waitedMs; `pending` bytes wait at
    // the transport. connectingEntries tells a give-up still being carried out from a new one.
    Silence WaitRanOut(uint32_t waitedMs, uint32_t pending, TTransport kind, uint32_t connectingEntries);
    // A round after the transport's event found no whole frame; emptyRead: the event was a read
    // that brought nothing.
    Silence NoWholeFrame(bool emptyRead, TTransport kind, uint32_t connectingEntries);

    // Tick count of the last whole frame (or of the last restart of the count).
    uint32_t LastFrameTime() const { return lastFrame_.load(std::memory_order_relaxed); }

private:
    void Touch() { lastFrame_.store(clock_.Now(), std::memory_order_relaxed); }
    bool GivenUp(uint32_t connectingEntries) const { return givenUp_ && connectingEntries == givenUpAt_; }
    Silence Decided(Silence s, uint32_t connectingEntries);

    const Clock& clock_;
    std::atomic<uint32_t> lastFrame_{0};
    bool shown_ = false;   // "Lost sync" reported for this silence of a kept link
    bool givenUp_ = false; // the link was given up; the transport has not connected again yet
    uint32_t givenUpAt_ = 0;
};

// What the transport thread does about bytes not coming.
enum class Quiet : uint8_t {
    None,
    NoSignal,  // report "No signal"
    Reconnect, // report "No signal" and ask the window to make the TCP connection again
};

// Transport thread only.
class ByteSilence {
public:
    explicit ByteSilence(const Clock& clock) : clock_(clock) {}

    // A connection was handed over or the state changed to CONNECTING or SYNCHRONIZING: the
    // 15 s of "No signal" count from now.
    void Entered();
    // A new connection: also the count of bytes not coming starts again.
    void Connected();
    // A read brought bytes.
    void BytesCame();
    // A read brought nothing. Each silence is reported once.
    Quiet EmptyRead(TTransportState state, TTransport kind);

private:
    const Clock& clock_;
    uint32_t enteredAt_ = 0;
    uint32_t lastByte_ = 0;
    bool noSignalShown_ = false;
    bool reconnectAsked_ = false;
};

// Window thread only.
class ReconnectSchedule {
public:
    explicit ReconnectSchedule(const Clock& clock) : clock_(clock) {}

    // A reconnection was tried now and is pending until Done.
    void Tried();
    // Connected again, or the user took the connection over.
    void Done() { pending_ = false; }
    bool Pending() const { return pending_; }
    // Pending, and 5 s have passed since the last try.
    bool Due() const { return pending_ && TicksSince(lastTry_, clock_.Now()) > kTcpRetryMs; }

private:
    const Clock& clock_;
    bool pending_ = false;
    uint32_t lastTry_ = 0;
};

} // namespace vintrel
