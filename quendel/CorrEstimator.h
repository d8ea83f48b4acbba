#pragma once
// One delay estimator: rings of the two signals, the band weights and the transform workspace,
// all in the object's own arena.
//
// The estimate correlates A with B: both rings are packed, newest sample first, as the real and
// imaginary parts of one complex sequence and transformed (scaled by 2^-floor(log2 N / 2)); the
// two spectra are separated, multiplied (A times conj B) and weighted, and the product is
// transformed back. The product spectrum is Hermitian, so the back transform is done as one of
// half the length whose even and odd outputs are the real and imaginary parts. The peak is
// searched in the order of a bit-reversed N-point result, the first strictly largest absolute
// value winning.
#include "quendel/Arena.h"
#include "quendel/Quendel.h"
#include "quendel/RadixFft.h"

#include <cstddef>
#include <cstdint>

namespace quendel {

struct CorrSettings {
    int32_t fs = 8000;
    int32_t length = 8000;
    int32_t f_low = 200;
    int32_t f_high = 1200;
    int32_t f_trans = 200;
    double rms_a_min = 0.2;
    double rms_b_min = 0.2;
    double max_min = 0.3;
};

class CorrEstimator {
public:
    enum : int32_t { kOk = 0, kNoMemory = -1, kRefused = -2 };
    // Longest history accepted; longer ones are refused rather than overflow the transform length.
    static constexpr int32_t kMaxLength = int32_t(1) << 26;

    // kOk with the new object in *out, or kRefused / kNoMemory with nothing allocated.
    static int32_t Create(const CorrSettings& settings, CorrEstimator** out);
    static void Destroy(CorrEstimator* e);

    void PutFrame(const int16_t* samplesA, const int16_t* samplesB, int32_t count);
    TCorrRes State();

    int32_t N() const { return N_; }
    int32_t Log2N() const { return log2N_; }
    int32_t LowBin() const { return low_; }
    int32_t HighBin() const { return high_; }
    int32_t HalfRamp() const { return half_; }
    const double* Weights() const { return weights_; } // N / 2 values
    size_t ArenaBytes() const { return arena_->BytesMapped(); }

private:
    CorrEstimator() = default;
    bool Allocate();
    void MakeWeights(const CorrSettings& s);
    void Load();
    // Separates the two spectra, weights their product into the half-length buffer and returns
    // the weighted energies.
    void CrossSpectrum(double& energyA, double& energyB);
    void FoldForHalfLength();
    int32_t FindPeak(double& peak) const;

    Arena* arena_ = nullptr;
    RadixFft fft_;
    int32_t N_ = 0;
    int32_t log2N_ = 0;
    double* historyA_ = nullptr;
    double* historyB_ = nullptr;
    int32_t writePos_ = 0;
    double* workRe_ = nullptr; // N points
    double* workIm_ = nullptr;
    double* halfRe_ = nullptr; // N / 2 points
    double* halfIm_ = nullptr;
    double* weights_ = nullptr;  // N / 2
    uint32_t* bitRev_ = nullptr; // N: bit reversal within log2 N bits
    int32_t low_ = 0, high_ = 0, half_ = 0;
    int32_t bandFrom_ = 0, bandTo_ = 0; // bins with a non-zero weight, excluding DC
    double rmsAMin_ = 0, rmsBMin_ = 0, maxMin_ = 0;
    double lastRmsA_ = 0, lastRmsB_ = 0, lastPwr_ = 0;
};

} // namespace quendel
