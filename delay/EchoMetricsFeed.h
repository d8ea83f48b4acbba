#pragma once
// The parsing thread's echo-figures step for every decoded frame: the first RXout, TX1in and
// TXout blocks' mean squares and the VAD RX / VAD TX values go to the figures, with the delay from
// the chosen source. Frames without all three blocks are not counted.
//
// Threads: OnFrame runs on the parsing thread (or the replay's one thread), the only writer of the
// figures and the delay source it is given.
#include "delay/EchoDelaySource.h"
#include "delay/EchoMetrics.h"
#include "stream/FrameChannels.h"
#include "stream/FrameExtractor.h"

namespace vintrel {

class EchoMetricsFeed : public FrameConsumer {
public:
    EchoMetricsFeed(StreamState& state, EchoMetrics& metrics, EchoDelaySource& delay)
        : state_(state), metrics_(metrics), delay_(delay) {}
    void OnFrame(const DecodedFrame& f) override;
    // Frames counted and frames that lacked one of the three blocks.
    uint64_t Counted() const { return counted_; }
    uint64_t Lacking() const { return lacking_; }

private:
    StreamState& state_;
    EchoMetrics& metrics_;
    EchoDelaySource& delay_;
    FrameChannels channels_;
    uint64_t counted_ = 0, lacking_ = 0;
};

} // namespace vintrel
