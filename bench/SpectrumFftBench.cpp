// The spectrum's transform (TdspFFT, single precision, radix 2) for the lengths the window offers
// (256, 512, 1024, 2048), next to FFTW computing the same complex transform of the same length in
// single precision (fftwf, out of place, FFTW_MEASURE), and FFTW's real-input transform of that
// length, which is the least a spectrum of real samples needs. FFTW is linked into this program only.
// bench/performance_report.py divides the CPU times of the same length.
#include "monitor/DspFFT.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <random>

namespace {

// Samples of the size a 16-bit channel gives, imaginary part zero (as the spectrum feeds them).
float Sample(std::mt19937& rng) {
    return float(std::uniform_int_distribution<int>(-12000, 12000)(rng));
}

// Runs a planned FFTW transform for as long as the benchmark asks, then frees the plan.
void TimePlan(benchmark::State& state, fftwf_plan plan, fftwf_complex* out) {
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::DoNotOptimize(out[1][0]);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
}

void FftwfComplex(benchmark::State& state) {
    const int n = int(state.range(0));
    fftwf_complex* in = fftwf_alloc_complex(size_t(n));
    fftwf_complex* out = fftwf_alloc_complex(size_t(n));
    fftwf_plan plan = fftwf_plan_dft_1d(n, in, out, FFTW_FORWARD, FFTW_MEASURE);
    std::mt19937 rng(1);
    for (int i = 0; i < n; ++i) {
        in[i][0] = Sample(rng);
        in[i][1] = 0.0f;
    }
    TimePlan(state, plan, out);
    fftwf_free(out);
    fftwf_free(in);
}

void FftwfReal(benchmark::State& state) {
    const int n = int(state.range(0));
    float* in = fftwf_alloc_real(size_t(n));
    fftwf_complex* out = fftwf_alloc_complex(size_t(n / 2 + 1));
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
    std::mt19937 rng(1);
    for (int i = 0; i < n; ++i) in[i] = Sample(rng);
    TimePlan(state, plan, out);
    fftwf_free(out);
    fftwf_free(in);
}

// TdspFFT::FFT() without a window is the transform alone: bit-reversed copy plus butterflies.
void DspFft(benchmark::State& state) {
    const int n = int(state.range(0));
    vintrel::TdspFFT fft;
    fft.SetBufferSize(n);
    fft.SetWindow(vintrel::fwNone);
    fft.Clear();
    std::mt19937 rng(1);
    for (int i = 0; i < n; ++i) fft.RealIn()[i] = Sample(rng);
    for (auto _ : state) {
        fft.FFT();
        benchmark::DoNotOptimize(fft.RealOut()[1]);
        benchmark::ClobberMemory();
    }
    if (fft.BufferSize() != n) state.SkipWithError("length not taken");
}

} // namespace

BENCHMARK(FftwfComplex)->Arg(256)->Arg(512)->Arg(1024)->Arg(2048)->Unit(benchmark::kMicrosecond);
BENCHMARK(FftwfReal)->Arg(256)->Arg(512)->Arg(1024)->Arg(2048)->Unit(benchmark::kMicrosecond);
BENCHMARK(DspFft)->Arg(256)->Arg(512)->Arg(1024)->Arg(2048)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
