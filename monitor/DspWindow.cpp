#include "monitor/DspWindow.h"

#include <cmath>
#include <numbers>

namespace vintrel {

float dspGetWindowValue(TdspWindow Window, int i, int N) {
    const double pi = std::numbers::pi;
    const double x = double(i), n = double(N);
    switch (Window) {
    case fwHamming:
        return float(0.54 - 0.46 * std::cos(2 * pi * x / n));
    case fwHanning:
        return float(0.5 - 0.5 * std::cos(2 * pi * x / n));
    case fwBlackman:
        return float(0.42 - 0.5 * std::cos(2 * pi * x / n) + 0.08 * std::cos(4 * pi * x / n));
    case fwGaussian:
        return float(std::exp(-0.5 * (2 * x - n) * (2 * x - n) / (n * n)));
    case fwWelch: {
        const double r = (2 * x - n) / (n + 1);
        return float(1 - r * r);
    }
    case fwParzen:
        return float(1 - std::abs((2 * x - n) / (n + 1)));
    case fwNone:
    default:
        return 1.0f;
    }
}

void dspCalculateWindow(TdspWindow Window, float* Coeffs, int N) {
    for (int i = 0; i < N; ++i) Coeffs[i] = dspGetWindowValue(Window, i, N);
}

} // namespace vintrel
