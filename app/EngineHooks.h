#pragma once
// What the engine's worker threads ask of its owner: a wrapper around every transport opened,
// word of the transport thread reaching RUNNING, and the listening queue's position for the
// debug dump. The defaults add nothing.
#include "stream/Transport.h"

#include <cstdint>
#include <memory>

namespace vintrel {

class EngineHooks {
public:
    virtual ~EngineHooks() = default;
    // Every transport opened passes here before the transport thread gets it (tests put a
    // transport that misbehaves around a real one). Window thread.
    virtual std::unique_ptr<Transport> Wrap(std::unique_ptr<Transport> t) { return t; }
    // The transport thread reached RUNNING (the spectrum queues restart); called on that thread.
    virtual void SwitchedToRunning() {}
    // Head and tail of the listening queue (head * 16 + tail; 0 when nobody listens), for the
    // parse log of the debug dump. Parsing thread.
    virtual uint8_t ListenQueueHeadTail() const { return 0; }

    // Hooks that add nothing.
    static EngineHooks& None() {
        static EngineHooks none;
        return none;
    }
};

} // namespace vintrel
