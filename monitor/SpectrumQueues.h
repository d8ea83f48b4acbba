#pragma once
// The spectrum inputs of the five channel charts. The parsing thread appends every frame's samples
// of each channel as singles; the window thread takes blocks of FFTSamplesNeeded samples from two
// queues per channel in turn, so that each block is normally transformed twice and drawn as two
// columns. Both queues receive the same samples, so they share one ring of 12288 samples per
// channel and differ only in their read positions.
//
// Threads: the parsing thread (OnFrame, Append) writes the samples and the write counts; the window
// thread (InitForFFTplotting, SetSamplesNeeded, TakeBlock) owns the read counts, the toggles and the
// block length; RequestInit may come from any thread. The counts are atomics handed over with
// release/acquire, and the writer never overwrites samples that a queue has not taken: a frame that
// does not fit (nobody takes blocks while the spectrum is off) is dropped, and a queue that has
// fallen more than half a ring behind skips to its newest block. Counts run modulo a multiple of the
// ring size, so they never overflow.
#include "stream/FrameDecoder.h"
#include "stream/FrameExtractor.h"
#include "stream/Types.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

namespace vintrel {

class SpectrumQueues : public FrameConsumer {
public:
    static constexpr int kRingSize = 12288;
    static constexpr int kBacklogLimit = kRingSize / 2;
    static constexpr int kQueues = 2;

    // `decoder` gives the frame records OnFrame reads; may be null when only Append is used.
    explicit SpectrumQueues(const FrameDecoder* decoder);

    // Parsing thread.
    void OnFrame(const DecodedFrame& f) override;
    void Append(int k, const int16_t* samples, int n);

    // Window thread. Empties both queues of every channel, sets the block length and the toggles to
    // the first queue.
    void InitForFFTplotting(int samplesNeeded);
    // A new block length without emptying the queues ("FFT length" changed while shown).
    void SetSamplesNeeded(int samplesNeeded) { FFTSamplesNeeded = samplesNeeded; }
    // Any thread: the next TakeBlock empties the queues first (the stream reached RUNNING).
    void RequestInit() { initRequested_.store(true, std::memory_order_release); }
    // Copies the next block of channel k (1..5) into `out` from the queue FFTinToggle names and
    // switches to the other queue; false (and nothing copied) when that queue holds too few samples.
    bool TakeBlock(int k, float* out);

    // Samples waiting in queue q (0 or 1) of channel k, and the read position in the ring.
    int32_t Counter(int k, int q) const;
    int32_t StartIndx(int k, int q) const;
    int FFTinToggle(int k) const { return toggle_[size_t(k)]; }
    int FFTSamplesNeeded = 256;
    // Samples the writer had to drop because a queue was full.
    uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    static constexpr uint32_t kCountModulo = uint32_t(kRingSize) << 18; // a multiple of the ring
    struct Channel {
        std::array<float, kRingSize> ring;
        std::atomic<uint32_t> written{0};                   // parsing thread
        std::array<std::atomic<uint32_t>, kQueues> taken{}; // window thread
    };
    static uint32_t Diff(uint32_t a, uint32_t b) { return (a + kCountModulo - b) % kCountModulo; }
    void ApplyInit();

    const FrameDecoder* decoder_;
    std::unique_ptr<std::array<Channel, kChannelCharts + 1>> ch_; // [1..5]
    std::array<int, kChannelCharts + 1> toggle_{};
    std::atomic<bool> initRequested_{false};
    std::atomic<uint64_t> dropped_{0};
};

} // namespace vintrel
