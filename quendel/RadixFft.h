#pragma once
// An in-place complex FFT of power-of-two length on split real and imaginary arrays: decimation
// in frequency with radix-4 butterflies for blocks of the full length, a quarter of it, and so
// on, and one radix-2 stage at the end when the length is an odd power of two. The kernel is
// exp(+2 pi j k n / size); the input is in natural order and the output in bit-reversed order.
// No scaling.
//
// The twiddle tables serve every size up to the one given at Init and live in the caller's
// arena.
#include "quendel/Arena.h"

namespace quendel {

class RadixFft {
public:
    static constexpr int kMaxLog2 = 30;

    // Tables for sizes up to 2^maxLog2; false when the arena is out of memory.
    bool Init(Arena& arena, int maxLog2);
    // Transforms 2^log2 points (log2 <= maxLog2 of Init).
    void Transform(double* re, double* im, int log2) const;
    // exp(+2 pi j k / 2^log2) for 2 <= log2 <= maxLog2 and 0 <= k < 2^log2 / 2.
    void Root(int log2, int k, double& c, double& s) const {
        const int q = 1 << (log2 - 2);
        const double* t = twiddles_[log2];
        if (k < q) {
            c = t[k];
            s = t[q + k];
        } else { // j times the root a quarter turn back
            const int m = k - q;
            c = -t[q + m];
            s = t[m];
        }
    }

private:
    // The butterfly loops for this processor (AVX2 where it has it), chosen at Init.
    struct Kernels {
        void (*radix4)(double*, double*, int size, int block, const double* twiddles) = nullptr;
        void (*radix4Last)(double*, double*, int size) = nullptr;
        void (*radix2Last)(double*, double*, int size) = nullptr;
    };
    Kernels kernels_;
    // For the block of 2^p points (p >= 2), six arrays of 2^p / 4 values for the butterfly at
    // position m: cos, sin of theta; of 2 theta; of 3 theta; theta = 2 pi m / 2^p.
    const double* twiddles_[kMaxLog2 + 1] = {};
};

} // namespace quendel
