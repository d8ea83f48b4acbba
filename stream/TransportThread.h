#pragma once
// The transport thread: created with the window, the only reader of the open transport, it runs
// the transport passes until it finds TERMINATING, sleeping as each pass asks and signalling the
// parsing thread.
#include "stream/Events.h"
#include "stream/TransportLoop.h"

#include <thread>

namespace vintrel {

// The four events between the threads, on one hub.
struct StreamEvents {
    EventHub Hub;
    AutoResetEvent SwitchedToRunning{Hub};
    AutoResetEvent DataArrived{Hub};
    AutoResetEvent DataTimedOut{Hub};
    AutoResetEvent TerminateParsingThread{Hub};
};

class TTransportThread {
public:
    TTransportThread(TransportLoop& loop, StreamEvents& events) : loop_(loop), events_(events) {}
    ~TTransportThread() { WaitFor(); }
    TTransportThread(const TTransportThread&) = delete;
    TTransportThread& operator=(const TTransportThread&) = delete;

    void Resume();
    // Waits until the thread has ended (someone must have set TERMINATING).
    void WaitFor();

private:
    void Execute();
    TransportLoop& loop_;
    StreamEvents& events_;
    std::thread thread_;
};

} // namespace vintrel
