#include "delay/CorrReference.h"

#include <cmath>
#include <complex>

namespace vintrel::test {

namespace {

using Complex = std::complex<double>;
const double kPi = std::acos(-1.0);

// exp(sign 2 pi j k n / N) summed directly.
std::vector<Complex> DirectDft(const std::vector<Complex>& x, int sign) {
    const size_t n = x.size();
    std::vector<Complex> out(n);
    for (size_t k = 0; k < n; ++k) {
        Complex s = 0;
        for (size_t t = 0; t < n; ++t)
            s += x[t] * std::polar(1.0, sign * 2 * kPi * double((k * t) % n) / double(n));
        out[k] = s;
    }
    return out;
}

// Textbook recursive radix-2 FFT in natural order.
std::vector<Complex> PlainFft(const std::vector<Complex>& x, int sign) {
    const size_t n = x.size();
    if (n == 1) return x;
    std::vector<Complex> even(n / 2), odd(n / 2);
    for (size_t i = 0; i < n / 2; ++i) {
        even[i] = x[2 * i];
        odd[i] = x[2 * i + 1];
    }
    const auto e = PlainFft(even, sign), o = PlainFft(odd, sign);
    std::vector<Complex> out(n);
    for (size_t k = 0; k < n / 2; ++k) {
        const Complex t = std::polar(1.0, sign * 2 * kPi * double(k) / double(n)) * o[k];
        out[k] = e[k] + t;
        out[k + n / 2] = e[k] - t;
    }
    return out;
}

int Log2(int n) {
    int l = 0;
    while ((1 << l) < n) ++l;
    return l;
}

int BitReverse(int i, int bits) {
    int r = 0;
    for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
    return r;
}

} // namespace

std::vector<double> ReferenceWeights(int n, const CorrBand& band) {
    const long long low = (long long)n * band.fLow / band.fs;
    const long long high = (long long)n * band.fHigh / band.fs;
    const long long half = (long long)n * band.fTrans / band.fs / 2;
    std::vector<double> w(n / 2, 0.0);
    // Rising ramp, flat part, falling ramp, a later part overriding an earlier one on a shared bin.
    for (long long k = 0; k < n / 2; ++k) {
        if (k >= high - half && k < high + half)
            w[k] = std::pow(std::cos(kPi * double(k - (high - half)) / (4.0 * half)), 4);
        else if (k >= low + half && k < high - half)
            w[k] = 1;
        else if (k >= low - half && k < low + half)
            w[k] = std::pow(std::sin(kPi * double(k - (low - half)) / (4.0 * half)), 4);
    }
    return w;
}

ReferenceResult ReferenceCorrelate(const std::vector<double>& a, const std::vector<double>& b,
                                   const std::vector<double>& weights, bool direct) {
    const int n = int(a.size()), bits = Log2(n);
    std::vector<Complex> ca(a.begin(), a.end()), cb(b.begin(), b.end());
    const auto fa = direct ? DirectDft(ca, -1) : PlainFft(ca, -1);
    const auto fb = direct ? DirectDft(cb, -1) : PlainFft(cb, -1);
    // The analysis pass of the estimator is scaled by 2^-floor(log2 N / 2); energies and the
    // cross spectrum carry that factor squared.
    const double s2 = std::pow(2.0, -2 * (bits / 2));
    double ea = 0, eb = 0;
    std::vector<Complex> y(n, 0.0);
    for (int k = 1; k < n / 2; ++k) {
        ea += weights[k] * s2 * std::norm(fa[k]);
        eb += weights[k] * s2 * std::norm(fb[k]);
        y[k] = weights[k] * s2 * fa[k] * std::conj(fb[k]);
        y[n - k] = std::conj(y[k]);
    }
    const auto c = direct ? DirectDft(y, +1) : PlainFft(y, +1);
    double best = 0;
    int at = -1;
    for (int s = 0; s < n; ++s) {
        const double v = std::fabs(c[BitReverse(s, bits)].real());
        if (v > best) {
            best = v;
            at = s;
        }
    }
    ReferenceResult r;
    r.delay = at < 0 ? n - 1 : BitReverse(at, bits);
    if (r.delay > n / 2) r.delay -= n;
    r.rmsA = std::sqrt(2 * ea / n);
    r.rmsB = std::sqrt(2 * eb / n);
    r.pwr = r.rmsA * r.rmsB;
    r.max = r.pwr != 0 ? best / r.pwr / n : 0;
    return r;
}

std::vector<double> LastSamples(const std::vector<int16_t>& samples, int n) {
    std::vector<double> out(n, 0.0);
    const int have = int(samples.size());
    for (int i = 0; i < n && i < have; ++i) out[n - 1 - i] = samples[have - 1 - i] / 32768.0;
    return out;
}

} // namespace vintrel::test
