#pragma once
// Test signals for the estimator: seeded noise, tones and delayed copies.
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace vintrel::test {

inline std::vector<int16_t> Noise(size_t n, uint32_t seed, int amplitude = 12000) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(-amplitude, amplitude);
    std::vector<int16_t> out(n);
    for (auto& v : out) v = int16_t(d(rng));
    return out;
}

// A sine of `hz` at 8 kHz (or at `rate`).
inline std::vector<int16_t> Tone(size_t n, double hz, int amplitude, int rate = 8000) {
    std::vector<int16_t> out(n);
    for (size_t t = 0; t < n; ++t)
        out[t] = int16_t(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * double(t) / rate)));
    return out;
}

// out[t] = x[t - d]; zeros where t - d falls outside x.
inline std::vector<int16_t> Delayed(const std::vector<int16_t>& x, int d) {
    std::vector<int16_t> out(x.size(), 0);
    for (size_t t = 0; t < x.size(); ++t) {
        const long s = long(t) - d;
        if (s >= 0 && s < long(x.size())) out[t] = x[size_t(s)];
    }
    return out;
}

} // namespace vintrel::test
