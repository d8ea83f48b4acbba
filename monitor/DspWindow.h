#pragma once
// Window functions applied to a block before its transform.
namespace vintrel {

enum TdspWindow : int {
    fwNone = 0,
    fwHamming = 1,
    fwHanning = 2,
    fwBlackman = 3,
    fwGaussian = 4,
    fwWelch = 5,
    fwParzen = 6,
};

// The window's value at i (0 .. N - 1) for a block of N.
float dspGetWindowValue(TdspWindow Window, int i, int N);
// Fills N coefficients.
void dspCalculateWindow(TdspWindow Window, float* Coeffs, int N);

} // namespace vintrel
