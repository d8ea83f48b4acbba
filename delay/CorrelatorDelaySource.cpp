#include "delay/CorrelatorDelaySource.h"

#include <algorithm>
#include <cmath>

namespace vintrel {

namespace {

constexpr int kRate = 8000;
constexpr int kEstimateSamples = 32 * 32; // 32 frames of the 4-ms format at 8 kHz
constexpr double kReliable = 0.35;

} // namespace

CorrelatorDelaySource::CorrelatorDelaySource(const CorrEntryPoints& entries, double samplesPerFrame,
                                             int samplingRate)
    : entries_(entries), samplesPerFrame_(samplesPerFrame), step_(std::max(1, samplingRate / kRate)) {
    if (!entries_.Complete()) return;
    void* obj = nullptr;
    if (entries_.CreateObj(&obj, kRate, kScaleMs * 8, 200, 1200, 200, 0.2, 0.2, 0.3) == 0) obj_ = obj;
}

CorrelatorDelaySource::~CorrelatorDelaySource() {
    if (obj_) entries_.FreeObj(obj_);
}

void CorrelatorDelaySource::AddBlocks(const int16_t* rx, const int16_t* mic, int samples) {
    if (!obj_ || !rx || !mic || samples <= 0) return;
    // Every step-th sample, the phase carried from frame to frame, so that frames whose length is
    // not a multiple of the step still give 8000 samples a second.
    const int start = phase_;
    int num = samples > start ? (samples - start + step_ - 1) / step_ : 0;
    const bool cut = num > kMaxStaged;
    if (cut) num = kMaxStaged;
    for (int k = 0; k < num; ++k) {
        rx_[size_t(k)] = rx[start + k * step_];
        mic_[size_t(k)] = mic[start + k * step_];
    }
    phase_ = cut ? 0 : start + num * step_ - samples;
    // TX1in is signal A and RXout signal B: a positive delay means TX1in lags RXout.
    entries_.PutFrame(obj_, mic_.data(), rx_.data(), num);
    staged_ += num;
    if (staged_ < kEstimateSamples) return;
    staged_ = 0;
    const TCorrRes r = entries_.GetCorr(obj_);
    // As the delay window judges it: a peak below 0.35 is unreliable whatever the library says of
    // the levels.
    if (r.max >= kReliable && r.delay >= 0 && samplesPerFrame_ > 0)
        delay_ = int(std::lround(double(r.delay) * step_ / samplesPerFrame_));
}

} // namespace vintrel
