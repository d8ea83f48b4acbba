#pragma once
// An independent computation of what the estimator must return: the band weights from their
// formulas, the spectra by a direct DFT (small lengths) or a plain recursive FFT, the
// band-weighted circular correlation, its peak searched in bit-reversed order, the RMS values
// and the peak height.
#include <cstdint>
#include <vector>

namespace vintrel::test {

struct CorrBand {
    int fs = 8000, fLow = 200, fHigh = 1200, fTrans = 200;
};

std::vector<double> ReferenceWeights(int n, const CorrBand& band);

struct ReferenceResult {
    int delay = 0;
    double max = 0, rmsA = 0, rmsB = 0, pwr = 0;
};

// `a` and `b`: the last n samples of each signal in time order, as the estimator holds them
// (zeros where fewer were fed), scaled to -1..1. `direct` uses the O(n^2) sums.
ReferenceResult ReferenceCorrelate(const std::vector<double>& a, const std::vector<double>& b,
                                   const std::vector<double>& weights, bool direct);

// The last n of the given samples (zeros before them when fewer), divided by 32768.
std::vector<double> LastSamples(const std::vector<int16_t>& samples, int n);

} // namespace vintrel::test
