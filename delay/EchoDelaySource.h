#pragma once
// Where the echo figures take the echo delay from, in whole frames: the delay analysis's trusted
// estimates, or an estimate of their own from the frame levels.
//
// Threads: both run on the thread that feeds the figures (the parsing thread or a replay).
#include <array>
#include <cstdint>
#include <optional>

namespace vintrel {

class DelayAnalysis;

class EchoDelaySource {
public:
    virtual ~EchoDelaySource() = default;
    // Called once per counted frame with its RXout and TX1in mean squares.
    virtual void AddFrame(double rx, double mic) = 0;
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

// Correlates the RXout and TX1in level envelopes (dB per frame) over the last second against lags
// up to one second, twice a second; a peak whose correlation reaches 0.5 becomes the delay (a
// change of it once two estimates in a row agree), and the last such one stays. Fixed storage.
class EnvelopeDelaySource : public EchoDelaySource {
public:
    static constexpr int kRing = 2048; // frames kept: two seconds at the fastest format

    explicit EnvelopeDelaySource(double framesPerSecond);
    void AddFrame(double rx, double mic) override;
    std::optional<int> DelayFrames() const override { return delay_; }

private:
    void Estimate();

    int span_;   // frames correlated
    int maxLag_; // largest lag tried
    int everyN_; // frames between estimates
    int filled_ = 0, sinceLast_ = 0, head_ = 0;
    std::array<float, kRing> rx_{}, mic_{};
    std::array<float, kRing> rxLine_{}, micLine_{}; // the ring unrolled for one estimate
    int candidate_ = -1;
    std::optional<int> delay_;
};

} // namespace vintrel
