#include "monitor/SpectrumQueues.h"

#include <algorithm>

namespace vintrel {

SpectrumQueues::SpectrumQueues(const FrameDecoder* decoder)
    : decoder_(decoder), ch_(std::make_unique<std::array<Channel, kChannelCharts + 1>>()) {
    for (Channel& c : *ch_) c.ring.fill(0.0f);
}

void SpectrumQueues::OnFrame(const DecodedFrame& f) {
    if (!decoder_) return;
    const TNewProtHeaderEveryFrameData& r = decoder_->HeaderEveryFrInfo[size_t(f.FrameBufN)];
    for (int k = 1; k <= kChannelCharts; ++k)
        if (r.SampleIndInBuf[size_t(k)] != 0 && r.SamplesPtr[size_t(k)])
            Append(k, r.SamplesPtr[size_t(k)], r.FrameLen[size_t(k)]);
}

void SpectrumQueues::Append(int k, const int16_t* samples, int n) {
    if (k < 1 || k > kChannelCharts || n <= 0) return;
    Channel& c = (*ch_)[size_t(k)];
    const uint32_t w = c.written.load(std::memory_order_relaxed);
    // The queue furthest behind bounds the room: its samples must not be overwritten.
    uint32_t backlog = 0;
    for (auto& t : c.taken) backlog = std::max(backlog, Diff(w, t.load(std::memory_order_acquire)));
    if (uint32_t(n) > kRingSize - std::min<uint32_t>(backlog, kRingSize)) {
        dropped_.fetch_add(uint64_t(n), std::memory_order_relaxed);
        return;
    }
    int pos = int(w % kRingSize);
    for (int j = 0; j < n; ++j) {
        c.ring[size_t(pos)] = float(samples[j]);
        if (++pos == kRingSize) pos = 0;
    }
    c.written.store((w + uint32_t(n)) % kCountModulo, std::memory_order_release);
}

void SpectrumQueues::ApplyInit() {
    initRequested_.store(false, std::memory_order_relaxed);
    for (int k = 1; k <= kChannelCharts; ++k) {
        Channel& c = (*ch_)[size_t(k)];
        const uint32_t w = c.written.load(std::memory_order_acquire);
        for (auto& t : c.taken) t.store(w, std::memory_order_release);
        toggle_[size_t(k)] = 0;
    }
}

void SpectrumQueues::InitForFFTplotting(int samplesNeeded) {
    FFTSamplesNeeded = samplesNeeded;
    ApplyInit();
}

bool SpectrumQueues::TakeBlock(int k, float* out) {
    if (initRequested_.load(std::memory_order_acquire)) ApplyInit();
    if (k < 1 || k > kChannelCharts) return false;
    const int n = FFTSamplesNeeded;
    if (n <= 0 || n > kRingSize) return false;
    Channel& c = (*ch_)[size_t(k)];
    const int q = toggle_[size_t(k)];
    const uint32_t w = c.written.load(std::memory_order_acquire);
    uint32_t t = c.taken[size_t(q)].load(std::memory_order_relaxed);
    if (Diff(w, t) > uint32_t(std::max(kBacklogLimit, n)))
        t = Diff(w, uint32_t(n)); // far behind: newest block
    if (Diff(w, t) < uint32_t(n)) return false;
    const int start = int(t % kRingSize);
    const int first = std::min(n, kRingSize - start);
    std::copy_n(c.ring.data() + start, first, out);
    std::copy_n(c.ring.data(), n - first, out + first);
    c.taken[size_t(q)].store((t + uint32_t(n)) % kCountModulo, std::memory_order_release);
    toggle_[size_t(k)] = 1 - q;
    return true;
}

int32_t SpectrumQueues::Counter(int k, int q) const {
    const Channel& c = (*ch_)[size_t(k)];
    return int32_t(
        Diff(c.written.load(std::memory_order_acquire), c.taken[size_t(q)].load(std::memory_order_acquire)));
}

int32_t SpectrumQueues::StartIndx(int k, int q) const {
    return int32_t((*ch_)[size_t(k)].taken[size_t(q)].load(std::memory_order_acquire) % kRingSize);
}

} // namespace vintrel
