#pragma once
// How narrow-band a signal is: the spectral flatness of its last `history` samples at 8 kHz
// between 200 and 1200 Hz, the band the delay estimator correlates. A correlation of a tone (or
// of a few steady harmonics) with its echo peaks at every multiple of its period, so its delay and
// its high reliability mean nothing; the library cannot tell, as it returns only the peak.
//
// The spectrum is Welch's average over the history: 256-sample Hann segments (31.25 Hz bins) with
// half overlap, bins 7 .. 38 (219 .. 1188 Hz). The flatness is the geometric mean of those 32
// bins' power over their arithmetic mean: 1 for white noise, near 0 for a tone.
//
// Threads: Reset on the window thread while no frame is fed; Put and Flatness on the parsing
// thread (the owner's feed lock orders them). Buffers are sized by Reset, never per estimate.
#include "monitor/DspFFT.h"

#include <cstdint>
#include <vector>

namespace vintrel {

class BandFlatness {
public:
    static constexpr int kSegment = 256;
    static constexpr int kFirstBin = 7;
    static constexpr int kLastBin = 38;
    // Below this the signal counts as narrow-band. Measured over histories of 1, 2 and 4 s: a sine
    // of amplitude 8000 in the band gives below 1e-5 clean, 5e-5 with the simulator's line noise
    // (20 rms) and 0.002 with 300 rms; the simulator's voice (six gliding harmonics of a 100 to
    // 220 Hz pitch, pauses of line noise) 0.25 on average and 0.004 at its worst over 150 talkers,
    // also while the history fills; white noise 0.99.
    static constexpr double kNarrowBand = 0.001;

    BandFlatness();
    // Forgets the samples; the history is the last `history` samples (at least one segment).
    void Reset(int history);
    void Put(const int16_t* samples, int count);
    // The flatness of the samples put since Reset, at most the last `history` of them; 1 while
    // less than a segment has come or the band holds no power (nothing to judge).
    double Flatness();
    bool NarrowBand() { return Flatness() < kNarrowBand; }

private:
    std::vector<int16_t> ring_;
    int write_ = 0;
    int filled_ = 0;
    TdspFFT fft_;
};

} // namespace vintrel
