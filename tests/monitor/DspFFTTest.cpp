// The single-precision transform against a direct DFT, for every window and length the window offers.
#include "monitor/DspFFT.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace vintrel {

namespace {

// X[k] = sum x[n] e^(+2 pi i k n / N): the transform turns its twiddle factor by +pi/h per step.
std::vector<std::complex<double>> DirectDft(const std::vector<double>& x) {
    const size_t n = x.size();
    std::vector<std::complex<double>> w(n), out(n);
    for (size_t i = 0; i < n; ++i) w[i] = std::polar(1.0, 2 * std::numbers::pi * double(i) / double(n));
    for (size_t k = 0; k < n; ++k) {
        std::complex<double> sum = 0;
        for (size_t j = 0; j < n; ++j) sum += x[j] * w[(k * j) % n];
        out[k] = sum;
    }
    return out;
}

} // namespace

TEST(DspFFT, MatchesADirectDftForEveryWindowAndLength) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> sample(-32768, 32767);
    for (int power = 8; power <= 11; ++power) {
        const int n = 1 << power;
        std::vector<double> x(static_cast<size_t>(n));
        for (size_t i = 0; i < x.size(); ++i) // a tone plus noise, as a channel carries
            x[i] = 8000 * std::sin(2 * std::numbers::pi * 0.07 * double(i)) + sample(rng) / 4;
        for (int w = fwNone; w <= fwParzen; ++w) {
            SCOPED_TRACE(testing::Message() << "N " << n << " window " << w);
            TdspFFT fft;
            fft.SetWindow(TdspWindow(w));
            fft.SetPower(power);
            ASSERT_EQ(fft.BufferSize(), n);
            fft.Clear();
            std::vector<double> windowed(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) {
                fft.RealIn()[i] = float(x[size_t(i)]);
                windowed[size_t(i)] = double(float(x[size_t(i)])) * dspGetWindowValue(TdspWindow(w), i, n);
            }
            fft.FFT();
            const auto expected = DirectDft(windowed);
            double peak = 0;
            for (const auto& c : expected) peak = std::max(peak, std::abs(c));
            const double tolerance = 2e-6 * peak * power; // single precision, log2(N) stages
            for (int k = 0; k < n; ++k) {
                ASSERT_NEAR(fft.RealOut()[k], expected[size_t(k)].real(), tolerance) << "bin " << k;
                ASSERT_NEAR(fft.ImagOut()[k], expected[size_t(k)].imag(), tolerance) << "bin " << k;
            }
            fft.CalculateMagnitudes();
            for (int k = 0; k < n / 2; ++k) {
                const double scale = (k == 0 ? 0.25 : 1.0) * 2.0 / n;
                ASSERT_NEAR(fft.RealOut()[k], std::abs(expected[size_t(k)]) * scale, tolerance * scale * 2)
                    << "magnitude " << k;
            }
        }
    }
}

TEST(DspFFT, WindowValuesFollowTheirFormulas) {
    const int n = 256;
    EXPECT_FLOAT_EQ(dspGetWindowValue(fwNone, 17, n), 1.0f);
    EXPECT_NEAR(dspGetWindowValue(fwHamming, 0, n), 0.08, 1e-6);
    EXPECT_NEAR(dspGetWindowValue(fwHamming, n / 2, n), 1.0, 1e-6);
    EXPECT_NEAR(dspGetWindowValue(fwHanning, 0, n), 0.0, 1e-6);
    EXPECT_NEAR(dspGetWindowValue(fwHanning, n / 4, n), 0.5, 1e-6);
    EXPECT_NEAR(dspGetWindowValue(fwBlackman, 0, n), 0.0, 1e-6);
    EXPECT_NEAR(dspGetWindowValue(fwBlackman, n / 2, n), 1.0, 1e-6);
    EXPECT_NEAR(dspGetWindowValue(fwGaussian, 0, n), std::exp(-0.5), 1e-6);
    EXPECT_NEAR(dspGetWindowValue(fwGaussian, n / 2, n), 1.0, 1e-6);
    EXPECT_NEAR(dspGetWindowValue(fwWelch, 0, n), 1 - std::pow(256.0 / 257.0, 2), 1e-6);
    EXPECT_NEAR(dspGetWindowValue(fwParzen, 0, n), 1 - 256.0 / 257.0, 1e-6);
    EXPECT_NEAR(dspGetWindowValue(fwParzen, 3 * n / 4, n), 1 - 128.0 / 257.0, 1e-6);
    std::vector<float> coeffs(static_cast<size_t>(n));
    dspCalculateWindow(fwBlackman, coeffs.data(), n);
    for (int i = 0; i < n; ++i) EXPECT_FLOAT_EQ(coeffs[size_t(i)], dspGetWindowValue(fwBlackman, i, n));
}

TEST(DspFFT, LengthSettingsAreClampedAndResetTheBuffers) {
    TdspFFT fft;
    EXPECT_EQ(fft.Power(), 9); // a new component: N = 512, no window
    EXPECT_EQ(fft.Window(), fwNone);
    fft.SetBufferSize(3000);
    EXPECT_EQ(fft.BufferSize(), 2048);
    fft.SetBufferSize(100);
    EXPECT_EQ(fft.BufferSize(), 64);
    fft.SetPower(1);
    EXPECT_EQ(fft.BufferSize(), 4);
    fft.SetPower(20);
    EXPECT_EQ(fft.BufferSize(), 32768);
    fft.SetPower(8);
    fft.SetWindow(fwHanning);
    EXPECT_NEAR(fft.WindowCoeffs()[64], 0.5, 1e-6);
    fft.RealIn()[3] = 5;
    fft.SetPower(10); // a new length: cleared buffers, coefficients for 1024
    EXPECT_EQ(fft.RealIn()[3], 0.0f);
    EXPECT_NEAR(fft.WindowCoeffs()[256], 0.5, 1e-6);
}

} // namespace vintrel
