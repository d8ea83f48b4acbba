#pragma once
// The "stop now" of one transport. The window thread raises it; the transport thread sees it
// both as a flag and as a descriptor that turns readable, so a poll() waiting for the line or
// for a handshake wakes at once instead of after its time-out. Nothing is ever closed or shut
// down from the raising thread: descriptors stay with the thread that uses them.
//
// It is never lowered: a new connection makes a new transport and with it a new signal.
// Threads: any thread may raise it and ask for it, any number of times.
#include <atomic>
#include <cstdint>

namespace vintrel {

class CancelSignal {
public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    void Raise();
    bool Raised() const { return raised_.load(std::memory_order_acquire); }
    // An eventfd that is readable once the signal is raised, for poll sets. -1 when none could
    // be made (descriptors ran out); poll() skips a negative descriptor.
    int Fd() const { return fd_; }

    // The time-out for one poll() that watches `cancel` during a wait of ms (negative counts as
    // 0). Without a descriptor to wake the poll, waits are cut into slices so that a raise is
    // still seen within kCancelCheckMs.
    static int PollMs(const CancelSignal* cancel, int64_t ms);
    // Sleeps ms or until the signal is raised, whichever comes first.
    void WaitFor(int ms) const;
    static constexpr int kCancelCheckMs = 20;

private:
    int fd_ = -1;
    std::atomic<bool> raised_{false};
};

} // namespace vintrel
