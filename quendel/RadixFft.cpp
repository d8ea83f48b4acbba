#include "quendel/RadixFft.h"

#include <cmath>

#if defined(__x86_64__) && defined(__GNUC__)
#define QUENDEL_HAVE_AVX2 1
#else
#define QUENDEL_HAVE_AVX2 0
#endif

namespace quendel {

namespace {

#define QUENDEL_KERNEL_NS portable
#define QUENDEL_KERNEL_ATTR
#include "quendel/RadixKernels.inc"
#undef QUENDEL_KERNEL_NS
#undef QUENDEL_KERNEL_ATTR

#if QUENDEL_HAVE_AVX2
#define QUENDEL_KERNEL_NS avx2
#define QUENDEL_KERNEL_ATTR __attribute__((target("avx2")))
#include "quendel/RadixKernels.inc"
#undef QUENDEL_KERNEL_NS
#undef QUENDEL_KERNEL_ATTR
#endif

} // namespace

bool RadixFft::Init(Arena& arena, int maxLog2) {
    if (maxLog2 < 2 || maxLog2 > kMaxLog2) return false;
    kernels_ = {portable::Radix4Stage, portable::Radix4Last, portable::Radix2Last};
#if QUENDEL_HAVE_AVX2
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) kernels_ = {avx2::Radix4Stage, avx2::Radix4Last, avx2::Radix2Last};
#endif
    // The largest block's table is computed; a smaller block's angles are every (2^maxLog2 / 2^p)-th
    // of those, so its table is copied out of it with that stride (the same values exactly).
    const double twoPi = 2.0 * std::acos(-1.0);
    for (int p = maxLog2; p >= 2; --p) {
        const int block = 1 << p, q = block / 4;
        double* t = arena.AllocArray<double>(size_t(6) * q);
        if (!t) return false;
        if (p == maxLog2) {
            for (int m = 0; m < q; ++m) {
                const double theta = twoPi * m / block;
                t[m] = std::cos(theta);
                t[q + m] = std::sin(theta);
                t[2 * q + m] = std::cos(2 * theta);
                t[3 * q + m] = std::sin(2 * theta);
                t[4 * q + m] = std::cos(3 * theta);
                t[5 * q + m] = std::sin(3 * theta);
            }
        } else {
            const double* big = twiddles_[maxLog2];
            const int bigQ = 1 << (maxLog2 - 2), stride = 1 << (maxLog2 - p);
            for (int part = 0; part < 6; ++part)
                for (int m = 0; m < q; ++m) t[part * q + m] = big[part * bigQ + m * stride];
        }
        twiddles_[p] = t;
    }
    return true;
}

void RadixFft::Transform(double* re, double* im, int log2) const {
    const int size = 1 << log2;
    int p = log2;
    for (; p >= 3; p -= 2) kernels_.radix4(re, im, size, 1 << p, twiddles_[p]);
    if (p == 2)
        kernels_.radix4Last(re, im, size);
    else if (p == 1)
        kernels_.radix2Last(re, im, size);
}

} // namespace quendel
