#pragma once
// Where the echo figures take the echo delay from, in whole frames: the delay analysis's trusted
// estimates, or an estimate of their own (CorrelatorDelaySource).
//
// Threads: both run on the thread that feeds the figures (the parsing thread or a replay).
#include <cstdint>
#include <optional>

namespace vintrel {

class DelayAnalysis;

class EchoDelaySource {
public:
    virtual ~EchoDelaySource() = default;
    // Called once per counted frame with its RXout and TX1in mean squares.
    virtual void AddFrame(double rx, double mic) = 0;
    // Then with the frame's first RXout and TX1in blocks, `samples` long each.
    virtual void AddBlocks(const int16_t* /*rx*/, const int16_t* /*mic*/, int /*samples*/) {}
    virtual std::optional<int> DelayFrames() const = 0;
};

// The delay analysis's estimates that carry no warning; the last good one stays.
class AnalysisDelaySource : public EchoDelaySource {
public:
    AnalysisDelaySource(const DelayAnalysis& analysis, double samplesPerFrame)
        : analysis_(analysis), samplesPerFrame_(samplesPerFrame) {}
    void AddFrame(double rx, double mic) override;
    std::optional<int> DelayFrames() const override { return delay_; }

private:
    const DelayAnalysis& analysis_;
    double samplesPerFrame_;
    uint64_t seen_ = 0;
    std::optional<int> delay_;
};

} // namespace vintrel
