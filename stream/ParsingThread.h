#pragma once
// The parsing thread: one per connection. It sleeps until the transport has data, then finds
// and takes frames from the ring after every transport event, and ends when told to. It leaves
// the transport thread's state alone: the window parks that thread before ending this one.
#include "stream/FrameExtractor.h"
#include "stream/TransportThread.h"

#include <atomic>
#include <thread>

namespace vintrel {

class TParsingThread {
public:
    TParsingThread(StreamState& s, FrameExtractor& extractor, StreamEvents& events)
        : s_(s), extractor_(extractor), events_(events) {}
    ~TParsingThread() { Terminate(); }
    TParsingThread(const TParsingThread&) = delete;
    TParsingThread& operator=(const TParsingThread&) = delete;

    void Resume();
    bool Started() const { return thread_.joinable(); }
    // Asks the thread to end and waits for it. With takeWholeFrames (the transport parked for
    // a reconnection) it first takes the whole frames still in the ring, so that a recording
    // kept across the reconnection has every frame that arrived.
    void Terminate(bool takeWholeFrames = false);

private:
    void Execute();
    StreamState& s_;
    FrameExtractor& extractor_;
    StreamEvents& events_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> takeWholeFrames_{false};
    std::thread thread_;
};

} // namespace vintrel
