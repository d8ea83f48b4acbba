#pragma once
// The transform of one block: an iterative radix-2 decimation in time in single precision with a
// window applied first, and the magnitudes of the lower half of the spectrum. Buffers and tables are
// sized when the length changes, never per block.
//
// Threads: window thread only (one object shared by all channels).
#include "monitor/DspWindow.h"

#include <cstdint>
#include <vector>

namespace vintrel {

class TdspCustomFFT {
public:
    TdspCustomFFT();
    virtual ~TdspCustomFFT() = default;

    // log2 of the length, clamped to 2..15; a change resizes and clears the buffers and rebuilds the tables.
    void SetPower(int value);
    int Power() const { return FPower; }
    // Sets the length to the largest power of two (at most 2^15) not above `value`.
    void SetBufferSize(int value);
    int BufferSize() const { return FBufferSize; }
    void SetWindow(TdspWindow value);
    TdspWindow Window() const { return FWindow; }

    void Clear();
    // Applies the window to RealIn (in place) and transforms RealIn/ImagIn into RealOut/ImagOut.
    void FFT();
    // RealOut[0 .. N/2 - 1] := magnitudes x 2/N, the DC bin first scaled by 0.25.
    void CalculateMagnitudes();

    float* RealIn() { return FRealIn.data(); }
    float* ImagIn() { return FImagIn.data(); }
    float* RealOut() { return FRealOut.data(); }
    float* ImagOut() { return FImagOut.data(); }
    const float* RealOut() const { return FRealOut.data(); }
    const float* ImagOut() const { return FImagOut.data(); }
    const float* WindowCoeffs() const { return FWindowCoeffs.data(); }

protected:
    void DoFFT(int Dir);
    void BuildTables();

    int FPower = 0;
    TdspWindow FWindow = fwNone;
    int FBufferSize = 0;
    int FBufferSize2 = 0;
    float FDivN2 = 0;
    std::vector<float> FWindowCoeffs, FCosTable, FSinTable;
    std::vector<int32_t> FBitRevTable;
    std::vector<float> FRealIn, FImagIn, FRealOut, FImagOut;
};

// The component the window owns: starts with N = 512 and no window.
class TdspFFT : public TdspCustomFFT {};

} // namespace vintrel
