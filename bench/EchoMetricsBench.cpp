// The echo figures' cost per frame at "24 Ksps, 1.33ms" (750 frames/s, 32 samples per channel):
// three blocks' mean squares, the delay estimate of their own through the correlator library, and
// the figures. "core_%" is the share of one core the stream's 750 frames a second take.
#include "delay/CorrLibrary.h"
#include "delay/CorrelatorDelaySource.h"
#include "delay/EchoMetrics.h"
#include "quendel/QuendelImage.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr int kSamples = 32;
constexpr double kFramesPerSecond = 750.0;

double MeanSquare(const int16_t* s) {
    double sum = 0;
    for (int i = 0; i < kSamples; ++i) sum += double(s[i]) * s[i];
    return sum / kSamples;
}

void BM_EchoFigures24k1_33(benchmark::State& state) {
    // 8 s of far-end bursts with an echo 6 frames later, repeated.
    constexpr int kFrames = 6000;
    std::vector<std::array<int16_t, kSamples>> rx(kFrames), mic(kFrames), out(kFrames);
    uint32_t seed = 1;
    for (int k = 0; k < kFrames; ++k)
        for (int i = 0; i < kSamples; ++i) {
            seed = seed * 1664525u + 1013904223u;
            rx[k][i] = (k / 750) % 4 == 3 ? 0 : int16_t(int(seed >> 20) - 2048);
            mic[k][i] = int16_t(k >= 6 ? rx[k - 6][i] / 3 : 0);
            out[k][i] = int16_t(mic[k][i] / 10);
        }
    auto metrics = std::make_unique<vintrel::EchoMetrics>(kFramesPerSecond, 4.0 / 3.0);
    vintrel::CorrLibrary library;
    if (library.LoadDll(vintrel::QuendelImage()) != vintrel::LoadDllStatus::Loaded) {
        state.SkipWithError("the correlator library did not load");
        return;
    }
    auto delay = std::make_unique<vintrel::CorrelatorDelaySource>(library.Entries(), kSamples, 24000);
    int k = 0;
    for (auto _ : state) {
        vintrel::EchoFrame f;
        f.Rx = MeanSquare(rx[k].data());
        f.Mic = MeanSquare(mic[k].data());
        f.Out = MeanSquare(out[k].data());
        delay->AddFrame(f.Rx, f.Mic);
        delay->AddBlocks(rx[k].data(), mic[k].data(), kSamples);
        metrics->AddFrame(f, delay->DelayFrames());
        k = (k + 1) % kFrames;
    }
    benchmark::DoNotOptimize(metrics->Whole());
    state.counters["core_%"] =
        benchmark::Counter(1.0 / (kFramesPerSecond * 100.0),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_EchoFigures24k1_33);
BENCHMARK_MAIN();
