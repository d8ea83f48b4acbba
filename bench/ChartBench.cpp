// Drawing cost of the charts at the fastest format ("24 Ksps, 1.33ms": 750 frames a second, 32 samples
// a channel): one batch of frames onto the five channel charts and the MIPS chart, one spectrum column
// of 2048 points on five channels, and all the drawing of one second of frames. The target is under
// 100 ms of one core for a second of frames.
#include "monitor/ChartPanel.h"
#include "sim/StreamGenerator.h"
#include "stream/Replay.h"
#include "stream/ReplayTransport.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <memory>
#include <vector>

namespace {

using namespace vintrel;

constexpr DataStreamFormat kFastest = DataStreamFormat::Ksps24Ms1_33;

struct Recorded {
    std::vector<TNewProtHeaderEveryFrameData> records; // one second of decoded frames
    std::vector<std::array<int16_t, 32 * 6>> samples;  // their samples, slots 1..5
};

// One second of the simulator's stream, decoded: what the window gets to draw.
const Recorded& OneSecond() {
    static Recorded rec = [] {
        struct Keep : FrameConsumer {
            explicit Keep(StreamState& s, Recorded& r) : s_(s), r_(r) {}
            void OnFrame(const DecodedFrame& f) override {
                const auto& r = s_.Decoder.HeaderEveryFrInfo[size_t(f.FrameBufN)];
                r_.records.push_back(r);
                std::array<int16_t, 32 * 6> s{};
                for (int k = 1; k <= kChannelCharts; ++k)
                    if (r.SamplesPtr[size_t(k)] && r.FrameLen[size_t(k)] == 32)
                        std::copy_n(r.SamplesPtr[size_t(k)], 32, s.data() + 32 * k);
                r_.samples.push_back(s);
            }
            StreamState& s_;
            Recorded& r_;
        };
        Recorded out;
        sim::StreamConfig cfg;
        cfg.format = kFastest;
        MemoryTransport t(sim::GenerateStream(cfg, 750));
        Replay replay(t, [&t] { return t.Exhausted(); }, {.Format = kFastest});
        Keep keep(replay.State(), out);
        replay.AddConsumer(&keep);
        replay.Run();
        return out;
    }();
    return rec;
}

struct Window {
    explicit Window(int ratePosition, bool spectrum = false, int fft = 256) {
        canvas = QImage(ChartPanel::kCanvasWidth, ChartPanel::kCanvasHeight, QImage::Format_RGB32);
        panel = std::make_unique<ChartPanel>(canvas, &queues, true, ratePosition, QGuiApplication::palette());
        panel->SetPlottingFeatures(true, true);
        tags.CollectMIPS = 1;
        panel->ComboBoxFFTChange(fft);
        if (spectrum) panel->SetSpectrumShown(true, 24000);
    }
    // The parsing thread's share for frame i (feeding the spectrum inputs), then the window's drawing.
    void Frame(const Recorded& rec, size_t i) {
        const auto& s = rec.samples[i];
        for (int k = 1; k <= kChannelCharts; ++k) queues.Append(k, s.data() + 32 * k, 32);
        panel->DrawFrame(rec.records[i], 1, tags);
    }
    QImage canvas;
    SpectrumQueues queues{nullptr};
    std::unique_ptr<ChartPanel> panel;
    TagModel tags;
};

// One batch (24 frames) at the given rate slider position (1: a column every frame on every chart).
void BM_DrawBatchOf24(benchmark::State& state) {
    const Recorded& rec = OneSecond();
    Window w(int(state.range(0)));
    size_t i = 0;
    for (auto _ : state) {
        for (int j = 0; j < 24; ++j, i = (i + 1) % rec.records.size()) w.Frame(rec, i);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 24);
}
BENCHMARK(BM_DrawBatchOf24)->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond);

// One spectrum column of 2048 points on each of the five channel charts.
void BM_SpectrumColumn2048x5(benchmark::State& state) {
    const Recorded& rec = OneSecond();
    Window w(4, true, 2048);
    size_t i = 0;
    const uint64_t before = w.panel->SpectrumColumns;
    for (auto _ : state) {
        state.PauseTiming(); // 64 frames of samples make the next block due on every channel
        for (int j = 0; j < 64; ++j, i = (i + 1) % rec.samples.size())
            for (int k = 1; k <= kChannelCharts; ++k) w.queues.Append(k, rec.samples[i].data() + 32 * k, 32);
        state.ResumeTiming();
        w.panel->DrawFrame(rec.records[i], 1, w.tags);
    }
    if (w.panel->SpectrumColumns - before != 5 * uint64_t(state.iterations()))
        state.SkipWithError("not one column per channel");
}
BENCHMARK(BM_SpectrumColumn2048x5)->Unit(benchmark::kMicrosecond);

// All drawing of one second of frames (750): level charts at the fastest and the default rate, and
// spectra of 256 and 2048 points (the sample feeding of the parsing thread included).
void BM_DrawOneSecond(benchmark::State& state) {
    const Recorded& rec = OneSecond();
    const bool spectrum = state.range(1) > 0;
    Window w(int(state.range(0)), spectrum, spectrum ? int(state.range(1)) : 256);
    for (auto _ : state) // one iteration: one second of stream
        for (size_t i = 0; i < rec.records.size(); ++i) w.Frame(rec, i);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(rec.records.size()));
}
BENCHMARK(BM_DrawOneSecond)
    ->Args({1, 0})
    ->Args({4, 0})
    ->Args({1, 256})
    ->Args({1, 2048})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv); // the charts' axis labels need fonts
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
