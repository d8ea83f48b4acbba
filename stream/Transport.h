#pragma once
// What the receive ring reads from: one open transport (FTDI adapter, COM port, TCP client,
// or a file or memory block in replays and tests).
//
// Threads: only the transport thread calls Read. Cancel and Pending may be called from any
// thread while a Read runs.
#include <cstdint>

namespace vintrel {

struct TransportRead {
    uint32_t Got = 0;    // bytes placed at dst
    bool Failed = false; // the read raised an error: the second part of a split read is skipped
};

class Transport {
public:
    virtual ~Transport() = default;
    // Reads what has arrived, at most len bytes, waiting at most the transport's read time-out
    // for it; a short or empty read is normal. firstPart is false for the part of a request that
    // wrapped to the start of the ring.
    virtual TransportRead Read(uint8_t* dst, uint32_t len, bool firstPart) = 0;
    // Bytes that have arrived and wait for a read (0 when the transport cannot tell). The
    // parsing thread asks, so it must not disturb a Read running at the same time.
    virtual uint32_t Pending() const { return 0; }
    // Ends a Read (or a reconnection inside it) that is blocked now, at once, and makes every
    // later Read return at once with nothing. A cancelled transport stays cancelled: the next
    // connection opens a new one. Transports that never block need not do anything.
    virtual void Cancel() {}
};

} // namespace vintrel
