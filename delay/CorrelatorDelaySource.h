#pragma once
// The echo figures' own delay estimate through the correlator library, for when the delay
// window's analysis does not run: RXout and TX1in taken down to 8 kHz as the analysis takes them,
// an estimate every 32 frames' worth of 8 kHz samples, kept when its peak reaches 0.35 at a lag
// of TX1in behind RXout; the last good one stays.
// The caller hands in the library's entry points: this module does not load it.
//
// Threads: one thread (the parsing thread or a replay) calls everything after construction.
#include "delay/CorrEntryPoints.h"
#include "delay/EchoDelaySource.h"

#include <array>
#include <cstdint>
#include <optional>

namespace vintrel {

class CorrelatorDelaySource : public EchoDelaySource {
public:
    static constexpr int kScaleMs = 2000;  // as the delay window's default: echoes up to about 1 s
    static constexpr int kMaxStaged = 256; // 8 kHz samples of one frame, any format

    // `samplesPerFrame` and `samplingRate` of the stream's channels.
    CorrelatorDelaySource(const CorrEntryPoints& entries, double samplesPerFrame, int samplingRate);
    ~CorrelatorDelaySource() override;
    CorrelatorDelaySource(const CorrelatorDelaySource&) = delete;
    CorrelatorDelaySource& operator=(const CorrelatorDelaySource&) = delete;

    // False when the library lacks an entry point or refused the estimator: no delay ever comes.
    bool Ready() const { return obj_ != nullptr; }

    void AddFrame(double, double) override {}
    void AddBlocks(const int16_t* rx, const int16_t* mic, int samples) override;
    std::optional<int> DelayFrames() const override { return delay_; }

private:
    const CorrEntryPoints entries_;
    void* obj_ = nullptr;
    double samplesPerFrame_;
    int step_;
    int phase_ = 0;
    int staged_ = 0; // 8 kHz samples put since the last estimate
    std::array<int16_t, kMaxStaged> rx_{}, mic_{};
    std::optional<int> delay_;
};

} // namespace vintrel
