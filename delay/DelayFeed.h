#pragma once
// The parsing thread's delay step for every decoded frame: while the feed flag Corr is set, the
// frame's TX1in and RXout peaks and sample blocks go to the delay analysis; a frame without
// either block makes the analysis refuse further frames and ask its window to hide, and the
// window clears the flag as it hides.
//
// Threads: OnFrame runs on the parsing thread (or the replay's one thread).
#include "delay/DelayAnalysis.h"
#include "stream/FrameExtractor.h"

namespace vintrel {

class DelayFeed : public FrameConsumer {
public:
    DelayFeed(StreamState& state, DelayAnalysis& analysis) : state_(state), analysis_(analysis) {}
    void OnFrame(const DecodedFrame& f) override;

private:
    StreamState& state_;
    DelayAnalysis& analysis_;
};

} // namespace vintrel
