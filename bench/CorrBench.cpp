// corr_state of libQuendel.so for the delay window's three history lengths, next to FFTW
// computing two complex transforms of the same length (FFTW is linked into this program only).
// Each corr_state benchmark reports its time as a multiple of FFTW's ("x_fftw") when the FFTW
// benchmark of the same length ran before it.
#include "quendel/Quendel.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <chrono>
#include <map>
#include <random>
#include <vector>

namespace {

std::map<int, double>& FftwNanos() {
    static std::map<int, double> m;
    return m;
}

double NanosSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
}

void FftwTwoTransforms(benchmark::State& state) {
    const int n = int(state.range(0));
    fftw_complex* data = fftw_alloc_complex(size_t(n));
    fftw_plan plan = fftw_plan_dft_1d(n, data, data, FFTW_BACKWARD, FFTW_MEASURE); // in place, + kernel
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> d(-1, 1);
    for (int i = 0; i < n; ++i) {
        data[i][0] = d(rng);
        data[i][1] = d(rng);
    }
    double nanos = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        fftw_execute(plan);
        fftw_execute(plan);
        nanos += NanosSince(t0);
        benchmark::DoNotOptimize(data[0][0]);
        benchmark::ClobberMemory();
        // Keep the values bounded from one iteration to the next.
        const double scale = 1.0 / n;
        data[0][0] *= scale;
        data[0][1] *= scale;
    }
    FftwNanos()[n] = nanos / double(state.iterations());
    fftw_destroy_plan(plan);
    fftw_free(data);
}

void CorrState(benchmark::State& state) {
    const int n = int(state.range(0));
    void* obj = nullptr;
    // The delay window's parameters; length n gives a transform of n points.
    if (corr_init(&obj, 8000, n, 200, 1200, 200, 0.2, 0.2, 0.3) != 0) {
        state.SkipWithError("corr_init failed");
        return;
    }
    std::mt19937 rng(2);
    std::uniform_int_distribution<int> d(-12000, 12000);
    std::vector<int16_t> a(static_cast<size_t>(n)), b(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        b[size_t(i)] = int16_t(d(rng));
        a[size_t(i)] = i >= 300 ? b[size_t(i - 300)] : 0;
    }
    corr_put_frame(obj, a.data(), b.data(), n);
    double nanos = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        TCorrRes r = corr_state(obj);
        nanos += NanosSince(t0);
        benchmark::DoNotOptimize(r);
    }
    const double mine = nanos / double(state.iterations());
    if (auto it = FftwNanos().find(n); it != FftwNanos().end()) state.counters["x_fftw"] = mine / it->second;
    corr_destroy(obj);
}

} // namespace

BENCHMARK(FftwTwoTransforms)->Arg(8192)->Arg(16384)->Arg(32768)->Unit(benchmark::kMicrosecond);
BENCHMARK(CorrState)->Arg(8192)->Arg(16384)->Arg(32768)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
