#pragma once
// How often the link to the target was lost and made again, since the user last connected.
//
// A link drop is a connection lost for any reason but the user's own Disconnect: the peer closed
// or reset it, the socket or the port failed, a TCP connection brought nothing for 15 s, or the
// program closed it to connect afresh after a close run of inconsistent frames. A reconnect is a
// reconnection made by the program that ended connected; an attempt that fails is not one (it is
// tried again while the drop stands). A serial or USB link that goes quiet for 32 ms is only
// resynchronised on its open port: that is "Lost sync", not a drop.
//
// Threads: connection management (Engine, on the window thread) is the only writer; everyone
// else reads a const reference on that same thread.
#include <cstdint>

namespace vintrel {

class LinkCounters {
public:
    uint32_t Reconnects() const { return reconnects_; }
    uint32_t LinkDrops() const { return linkDrops_; }

private:
    friend class Engine;
    void Dropped() { ++linkDrops_; }
    void Reconnected() { ++reconnects_; }
    // The user connected: both count from 0.
    void Reset() { reconnects_ = linkDrops_ = 0; }

    uint32_t reconnects_ = 0;
    uint32_t linkDrops_ = 0;
};

} // namespace vintrel
