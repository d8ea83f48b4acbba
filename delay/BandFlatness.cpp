#include "delay/BandFlatness.h"

#include <algorithm>
#include <cmath>

namespace vintrel {

BandFlatness::BandFlatness() {
    fft_.SetBufferSize(kSegment);
    fft_.SetWindow(fwHanning);
    Reset(kSegment);
}

void BandFlatness::Reset(int history) {
    ring_.assign(size_t(std::max(history, kSegment)), 0);
    write_ = 0;
    filled_ = 0;
}

void BandFlatness::Put(const int16_t* samples, int count) {
    const int n = int(ring_.size());
    for (int i = 0; i < count; ++i) {
        ring_[size_t(write_)] = samples[i];
        if (++write_ == n) write_ = 0;
    }
    filled_ = std::min(n, filled_ + std::max(count, 0));
}

double BandFlatness::Flatness() {
    if (filled_ < kSegment) return 1.0;
    const int n = int(ring_.size());
    const int oldest = (write_ - filled_ + n) % n;
    constexpr int kBins = kLastBin - kFirstBin + 1;
    double power[kBins] = {};
    for (int start = 0; start + kSegment <= filled_; start += kSegment / 2) {
        float* re = fft_.RealIn();
        float* im = fft_.ImagIn();
        for (int i = 0; i < kSegment; ++i) {
            re[i] = float(ring_[size_t((oldest + start + i) % n)]);
            im[i] = 0.0f;
        }
        fft_.FFT(); // applies the window to RealIn first
        const float* outRe = fft_.RealOut();
        const float* outIm = fft_.ImagOut();
        for (int k = 0; k < kBins; ++k) {
            const double r = outRe[kFirstBin + k], j = outIm[kFirstBin + k];
            power[k] += r * r + j * j;
        }
    }
    double sum = 0, logSum = 0;
    for (double p : power) sum += p;
    if (!(sum > 0)) return 1.0;
    const double mean = sum / kBins;
    // A bin of exact zeros would make the logarithm infinite; far below any real floor.
    const double floor = mean * 1e-15;
    for (double p : power) logSum += std::log(p + floor);
    return std::exp(logSum / kBins) / mean;
}

} // namespace vintrel
