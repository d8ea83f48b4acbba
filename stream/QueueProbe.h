#pragma once
// Where the listening queue stands, for the parse log of the debug dump.
//
// Threads: asked from the parsing thread.
#include <cstdint>

namespace vintrel {

class QueueProbe {
public:
    virtual ~QueueProbe() = default;
    // Head and tail of the listening queue as one byte, head * 16 + tail (0 when nobody listens).
    virtual uint8_t HeadTail() const = 0;
};

} // namespace vintrel
