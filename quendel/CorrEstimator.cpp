#include "quendel/CorrEstimator.h"

#include <cmath>
#include <cstring>
#include <new>

namespace quendel {

namespace {

bool Refused(const CorrSettings& s) {
    // 64-bit sums: no parameter combination can overflow the checks.
    const int64_t low = s.f_low, high = s.f_high, trans = s.f_trans, fs = s.fs;
    if (high - low < trans || trans == 0 || high + trans / 2 >= fs / 2) return true;
    // Beyond the published rules: values that would index the weights outside the spectrum or
    // overflow the transform length.
    return fs <= 0 || low < 0 || trans < 0 || s.length > CorrEstimator::kMaxLength;
}

} // namespace

int32_t CorrEstimator::Create(const CorrSettings& settings, CorrEstimator** out) {
    if (!out || Refused(settings)) return kRefused;
    int32_t n = 4, log2n = 2;
    while (n < settings.length) {
        n *= 2;
        ++log2n;
    }
    Arena* arena = Arena::Create();
    if (!arena) return kNoMemory;
    void* place = arena->Alloc(sizeof(CorrEstimator));
    if (!place) {
        Arena::Release(arena);
        return kNoMemory;
    }
    CorrEstimator* e = new (place) CorrEstimator();
    e->arena_ = arena;
    e->N_ = n;
    e->log2N_ = log2n;
    e->rmsAMin_ = settings.rms_a_min;
    e->rmsBMin_ = settings.rms_b_min;
    e->maxMin_ = settings.max_min;
    if (!e->Allocate()) {
        Destroy(e); // a half-built object is never handed out
        return kNoMemory;
    }
    e->MakeWeights(settings);
    *out = e;
    return kOk;
}

void CorrEstimator::Destroy(CorrEstimator* e) {
    if (!e) return;
    Arena* arena = e->arena_;
    e->~CorrEstimator();
    Arena::Release(arena);
}

bool CorrEstimator::Allocate() {
    const size_t n = size_t(N_);
    historyA_ = arena_->AllocArray<double>(n);
    historyB_ = arena_->AllocArray<double>(n);
    workRe_ = arena_->AllocArray<double>(n);
    workIm_ = arena_->AllocArray<double>(n);
    halfRe_ = arena_->AllocArray<double>(n / 2);
    halfIm_ = arena_->AllocArray<double>(n / 2);
    weights_ = arena_->AllocArray<double>(n / 2);
    bitRev_ = arena_->AllocArray<uint32_t>(n);
    if (!historyA_ || !historyB_ || !workRe_ || !workIm_ || !halfRe_ || !halfIm_ || !weights_ || !bitRev_)
        return false;
    if (!fft_.Init(*arena_, log2N_)) return false;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t r = 0;
        for (int b = 0; b < log2N_; ++b) r |= ((i >> b) & 1u) << (log2N_ - 1 - b);
        bitRev_[i] = r;
    }
    writePos_ = 0;
    return true;
}

void CorrEstimator::MakeWeights(const CorrSettings& s) {
    const int64_t n = N_;
    low_ = int32_t(n * s.f_low / s.fs);
    high_ = int32_t(n * s.f_high / s.fs);
    half_ = int32_t(n * s.f_trans / s.fs / 2);
    const int32_t bins = N_ / 2;
    const double pi = std::acos(-1.0);
    // The weights start as zeros (arena memory). Bins outside the spectrum are skipped: with a
    // low edge closer to DC than half a ramp the rising ramp would begin below bin 0.
    auto set = [&](int32_t k, double w) {
        if (k >= 0 && k < bins) weights_[k] = w;
    };
    for (int32_t k = low_ - half_; k < low_ + half_; ++k) {
        const double x = std::sin(pi * (k - (low_ - half_)) / (4.0 * half_));
        set(k, x * x * x * x);
    }
    for (int32_t k = low_ + half_; k < high_ - half_; ++k) set(k, 1.0);
    for (int32_t k = high_ - half_; k < high_ + half_; ++k) {
        const double x = std::cos(pi * (k - (high_ - half_)) / (4.0 * half_));
        set(k, x * x * x * x);
    }
    bandFrom_ = bins;
    bandTo_ = 1;
    for (int32_t k = 1; k < bins; ++k) {
        if (weights_[k] == 0) continue;
        if (k < bandFrom_) bandFrom_ = k;
        bandTo_ = k + 1;
    }
}

void CorrEstimator::PutFrame(const int16_t* samplesA, const int16_t* samplesB, int32_t count) {
    if (!samplesA || !samplesB) return;
    for (int32_t i = 0; i < count; ++i) {
        historyA_[writePos_] = samplesA[i] / 32768.0;
        historyB_[writePos_] = samplesB[i] / 32768.0;
        if (++writePos_ == N_) writePos_ = 0;
    }
}

void CorrEstimator::Load() {
    // work[i] = a + j b of the sample pair i steps before the newest one, scaled for the
    // analysis transform by 2^-floor(log2 N / 2) (a power of two: exact).
    const double scale = std::ldexp(1.0, -(log2N_ / 2));
    double* __restrict re = workRe_;
    double* __restrict im = workIm_;
    const double* __restrict a = historyA_;
    const double* __restrict b = historyB_;
    int32_t i = 0;
    for (int32_t t = writePos_ - 1; t >= 0; --t, ++i) {
        re[i] = a[t] * scale;
        im[i] = b[t] * scale;
    }
    for (int32_t t = N_ - 1; i < N_; --t, ++i) {
        re[i] = a[t] * scale;
        im[i] = b[t] * scale;
    }
}

void CorrEstimator::CrossSpectrum(double& energyA, double& energyB) {
    std::memset(halfRe_, 0, sizeof(double) * size_t(N_ / 2));
    std::memset(halfIm_, 0, sizeof(double) * size_t(N_ / 2));
    double ea = 0, eb = 0;
    for (int32_t k = bandFrom_; k < bandTo_; ++k) {
        const uint32_t p = bitRev_[k], q = bitRev_[N_ - k]; // the analysis output is bit-reversed
        const double pr = workRe_[p], pi = workIm_[p], qr = workRe_[q], qi = workIm_[q];
        const double ar = (pr + qr) / 2, ai = (pi - qi) / 2;
        const double br = (pi + qi) / 2, bi = (qr - pr) / 2;
        const double w = weights_[k];
        halfRe_[k] = w * (ar * br + ai * bi); // w A conj(B)
        halfIm_[k] = w * (ai * br - ar * bi);
        ea += w * (ar * ar + ai * ai);
        eb += w * (br * br + bi * bi);
    }
    energyA = ea;
    energyB = eb;
}

void CorrEstimator::FoldForHalfLength() {
    // The product spectrum Y (bins 0 .. N/2 - 1 here; Y[N - k] = conj Y[k], Y[0] = Y[N/2] = 0)
    // becomes Z[k] = (Y[k] + Y[k + N/2]) + j (Y[k] - Y[k + N/2]) w^k, whose half-length
    // transform z gives the real result x as x[2m] = Re z[m], x[2m + 1] = Im z[m].
    // Y[k + N/2] = conj Y[N/2 - k], so the bins are rewritten in pairs k, N/2 - k.
    const int32_t h = N_ / 2;
    auto make = [&](double yr, double yi, double cr, double ci, int32_t k, double& zr, double& zi) {
        // (yr + j yi): Y[k]; (cr + j ci): conj Y[N/2 - k] = Y[k + N/2]
        double c, s;
        fft_.Root(log2N_, k, c, s);
        const double er = yr + cr, ei = yi + ci;
        const double dr = yr - cr, di = yi - ci;
        const double orr = dr * c - di * s, oi = dr * s + di * c;
        zr = er - oi; // E + j O
        zi = ei + orr;
    };
    halfRe_[0] = 0;
    halfIm_[0] = 0;
    for (int32_t k = 1; k <= h / 2; ++k) {
        const int32_t j = h - k;
        const double ykr = halfRe_[k], yki = halfIm_[k], yjr = halfRe_[j], yji = halfIm_[j];
        double zkr, zki;
        make(ykr, yki, yjr, -yji, k, zkr, zki);
        if (j != k) make(yjr, yji, ykr, -yki, j, halfRe_[j], halfIm_[j]);
        halfRe_[k] = zkr;
        halfIm_[k] = zki;
    }
}

int32_t CorrEstimator::FindPeak(double& peak) const {
    // Storage position s < N/2 of the N-point bit-reversed result holds x[2 rev(s)] = Re z at
    // storage s of the half-length result; s >= N/2 holds the odd x, Im z at s - N/2.
    const int32_t h = N_ / 2;
    double best = 0;
    int32_t at = -1;
    for (int32_t s = 0; s < h; ++s) {
        const double v = std::fabs(halfRe_[s]);
        if (v > best) {
            best = v;
            at = s;
        }
    }
    for (int32_t s = 0; s < h; ++s) {
        const double v = std::fabs(halfIm_[s]);
        if (v > best) {
            best = v;
            at = h + s;
        }
    }
    peak = best;
    // No value above zero: the index -1 reverses to N - 1.
    int32_t lag = at < 0 ? N_ - 1 : int32_t(bitRev_[at]);
    if (lag > h) lag -= N_;
    return lag;
}

TCorrRes CorrEstimator::State() {
    Load();
    fft_.Transform(workRe_, workIm_, log2N_);
    double ea, eb;
    CrossSpectrum(ea, eb);
    // A silent signal packed with a live one picks up rounding noise of the live one's size
    // times 1e-16 or so; taken at face value it would give a large "max" for a signal that has
    // no power at all. Energies more than 1e-24 below the other signal's (an amplitude ratio of
    // 1e-12, far below one step of a 16-bit sample against full scale) count as none, and with
    // no power in either signal there is nothing to correlate.
    const double floor = 1e-24 * (ea > eb ? ea : eb);
    if (ea <= floor || eb <= floor) {
        ea = ea <= floor ? 0 : ea;
        eb = eb <= floor ? 0 : eb;
        std::memset(halfRe_, 0, sizeof(double) * size_t(N_ / 2));
        std::memset(halfIm_, 0, sizeof(double) * size_t(N_ / 2));
    }
    FoldForHalfLength();
    fft_.Transform(halfRe_, halfIm_, log2N_ - 1);
    double peak;
    TCorrRes r{};
    r.delay = FindPeak(peak);
    r.rms_a = std::sqrt(2 * ea / N_);
    r.rms_b = std::sqrt(2 * eb / N_);
    r.pwr = r.rms_a * r.rms_b;
    r.max = r.pwr != 0 ? peak / r.pwr / N_ : 0;
    lastRmsA_ = r.rms_a;
    lastRmsB_ = r.rms_b;
    lastPwr_ = r.pwr;
    r.warnings = (r.rms_a < rmsAMin_ ? CORR_WARN_RMS_A : 0) | (r.rms_b < rmsBMin_ ? CORR_WARN_RMS_B : 0) |
                 (r.max < maxMin_ ? CORR_WARN_MAX : 0);
    return r;
}

} // namespace quendel
