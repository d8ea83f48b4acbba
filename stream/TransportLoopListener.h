#pragma once
// What the transport loop tells its owner as it runs: the thread reaching RUNNING, the state of
// every pass and the read-log record of every RUNNING read. The defaults ignore them.
//
// Threads: every call comes from the thread that runs the passes (the transport thread).
#include <cstdint>

namespace vintrel {

class TransportLoopListener {
public:
    virtual ~TransportLoopListener() = default;
    // The thread entered RUNNING (the spectrum queues restart there).
    virtual void OnSwitchedToRunning() {}
    // The state (0-3) of each pass.
    virtual void OnPassState(int state) {}
    // In RUNNING, after each read: the ring index before it, the split of the read, the parser's
    // last valid read time and the ring index after it.
    virtual void OnReadLog(const uint32_t (&bufCopy)[4]) {}

    // A listener that ignores everything, for loops nobody listens to.
    static TransportLoopListener& None() {
        static TransportLoopListener none;
        return none;
    }
};

} // namespace vintrel
