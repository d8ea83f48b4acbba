#include "monitor/DspFFT.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace vintrel {

TdspCustomFFT::TdspCustomFFT() {
    SetPower(9);
}

void TdspCustomFFT::SetPower(int value) {
    value = std::clamp(value, 2, 15);
    if (value == FPower) return;
    FPower = value;
    FBufferSize = 1 << value;
    FBufferSize2 = FBufferSize / 2;
    FDivN2 = 1.0f / float(FBufferSize2);
    for (auto* b : {&FRealIn, &FImagIn, &FRealOut, &FImagOut}) b->assign(size_t(FBufferSize), 0.0f);
    FWindowCoeffs.assign(size_t(FBufferSize), 1.0f);
    BuildTables();
    dspCalculateWindow(FWindow, FWindowCoeffs.data(), FBufferSize);
}

void TdspCustomFFT::SetBufferSize(int value) {
    if (value == FBufferSize) return;
    int p = 0;
    while (p < 15 && (1 << (p + 1)) <= value) ++p;
    SetPower(p);
}

void TdspCustomFFT::SetWindow(TdspWindow value) {
    FWindow = value;
    dspCalculateWindow(FWindow, FWindowCoeffs.data(), FBufferSize);
}

void TdspCustomFFT::BuildTables() {
    FCosTable.resize(size_t(FPower));
    FSinTable.resize(size_t(FPower));
    for (int k = 0; k < FPower; ++k) {
        const double a = std::numbers::pi / double(1 << k);
        FCosTable[size_t(k)] = float(std::cos(a));
        FSinTable[size_t(k)] = float(std::sin(a));
    }
    // Bit reversal by the mirrored counter: walk i up, j mirrors it, swap when j is past i.
    const int n = FBufferSize;
    FBitRevTable.resize(size_t(n));
    for (int i = 0; i < n; ++i) FBitRevTable[size_t(i)] = i;
    int j = 0;
    for (int i = 0; i < n - 1; ++i) {
        if (j > i) std::swap(FBitRevTable[size_t(i)], FBitRevTable[size_t(j)]);
        int k = n / 2;
        while (k >= 1 && j >= k) {
            j -= k;
            k /= 2;
        }
        j += k;
    }
}

void TdspCustomFFT::Clear() {
    for (auto* b : {&FRealIn, &FImagIn, &FRealOut, &FImagOut}) std::fill(b->begin(), b->end(), 0.0f);
}

void TdspCustomFFT::FFT() {
    if (FWindow != fwNone)
        for (int i = 0; i < FBufferSize; ++i) FRealIn[size_t(i)] *= FWindowCoeffs[size_t(i)];
    DoFFT(+1);
}

void TdspCustomFFT::DoFFT(int Dir) {
    const int n = FBufferSize;
    float* re = FRealOut.data();
    float* im = FImagOut.data();
    for (int i = 0; i < n; ++i) {
        re[i] = FRealIn[size_t(FBitRevTable[size_t(i)])];
        im[i] = FImagIn[size_t(FBitRevTable[size_t(i)])];
    }
    for (int k = 0; k < FPower; ++k) {
        const int h = 1 << k;
        const float wr = FCosTable[size_t(k)];
        const float wi = float(Dir) * FSinTable[size_t(k)];
        float ur = 1.0f, ui = 0.0f;
        for (int m = 0; m < h; ++m) {
            for (int p = m; p < n; p += 2 * h) {
                const int q = p + h;
                const float tr = ur * re[q] - ui * im[q];
                const float ti = ur * im[q] + ui * re[q];
                re[q] = re[p] - tr;
                im[q] = im[p] - ti;
                re[p] += tr;
                im[p] += ti;
            }
            const float nr = ur * wr - ui * wi;
            ui = ui * wr + ur * wi;
            ur = nr;
        }
    }
}

void TdspCustomFFT::CalculateMagnitudes() {
    float* re = FRealOut.data();
    const float* im = FImagOut.data();
    re[0] *= 0.25f;
    for (int i = 0; i < FBufferSize2; ++i) re[i] = std::sqrt(re[i] * re[i] + im[i] * im[i]) * FDivN2;
}

} // namespace vintrel
