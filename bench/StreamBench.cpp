#include <cstring>
#include <map>
// Synchronisation plus decoding of long streams, read one frame length at a time as the
// transport thread reads them. Reported in bytes of stream per second.
#include "sim/StreamGenerator.h"
#include "stream/Replay.h"
#include "stream/ReplayTransport.h"

#include <benchmark/benchmark.h>

namespace {

using namespace vintrel;

const std::vector<uint8_t>& Stream(sim::Protocol protocol, DataStreamFormat format) {
    static std::map<std::pair<int, int>, std::vector<uint8_t>> cache;
    auto& s = cache[{int(protocol), int(format)}];
    if (s.empty()) {
        sim::StreamConfig c;
        c.protocol = protocol;
        c.format = format;
        // About 32 MB of stream, whatever the frame size.
        sim::StreamGenerator g(c);
        while (s.size() < (32u << 20)) g.AppendNextFrame(s);
    }
    return s;
}

void Replay(benchmark::State& state, sim::Protocol protocol, DataStreamFormat format) {
    const auto& bytes = Stream(protocol, format);
    uint64_t frames = 0;
    for (auto _ : state) {
        MemoryTransport t(bytes);
        vintrel::Replay replay(t, [&t] { return t.Exhausted(); }, {.Format = format});
        const ReplayTotals totals = replay.Run();
        frames += totals.Frames;
        if (totals.ChecksumErrors || totals.Inconsistent)
            state.SkipWithError("damaged frames in a clean stream");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}

void BM_SyncDecodeNew8k4(benchmark::State& s) {
    Replay(s, sim::Protocol::New, DataStreamFormat::Ksps8Ms4);
}
void BM_SyncDecodeNew24k1_33(benchmark::State& s) {
    Replay(s, sim::Protocol::New, DataStreamFormat::Ksps24Ms1_33);
}
void BM_SyncDecodeNew16k16(benchmark::State& s) {
    Replay(s, sim::Protocol::New, DataStreamFormat::Ksps16Ms16);
}
void BM_SyncDecodeOld8k4(benchmark::State& s) {
    Replay(s, sim::Protocol::Old, DataStreamFormat::Ksps8Ms4);
}
void BM_SyncDecodeOld16k16(benchmark::State& s) {
    Replay(s, sim::Protocol::Old, DataStreamFormat::Ksps16Ms16);
}

// The physical limit next to it: copying the same bytes once.
void BM_Memcpy32MB(benchmark::State& state) {
    const auto& bytes = Stream(sim::Protocol::New, DataStreamFormat::Ksps8Ms4);
    std::vector<uint8_t> dst(bytes.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), bytes.data(), bytes.size());
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

} // namespace

BENCHMARK(BM_SyncDecodeNew8k4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SyncDecodeNew24k1_33)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SyncDecodeNew16k16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SyncDecodeOld8k4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SyncDecodeOld16k16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy32MB)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
