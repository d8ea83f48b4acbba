#include "delay/LiveEchoFigures.h"

#include "delay/CorrelatorDelaySource.h"
#include "delay/DelayAnalysis.h"
#include "stream/StreamState.h"

#include <cmath>
#include <cstdio>

namespace vintrel {

namespace {

void Figure(std::string& line, const char* name, const std::optional<double>& v, const char* format,
            double scale = 1.0) {
    if (!line.empty()) line += "  ";
    line += name;
    char text[32] = "N/A";
    if (v) std::snprintf(text, sizeof text, format, *v * scale);
    line += text;
}

} // namespace

std::string EchoFiguresLine(const std::optional<EchoFigures>& f) {
    const EchoFigures none;
    const EchoFigures& v = f ? *f : none;
    std::string line;
    Figure(line, "ERL ", v.ErlDb, "%.1f dB");
    Figure(line, "ERLE ", v.ErleDb, "%.1f dB");
    Figure(line, "TER ", v.TerDb, "%.1f dB");
    Figure(line, "residual ", v.ResidualEchoDbov, "%.0f dBov");
    Figure(line, "double talk ", v.DoubleTalkShare, "%.0f %%", 100.0);
    return line;
}

// The analysis's view is read (under its lock) only while its window runs, not with every frame.
void EchoDelayChoice::AddFrame(double rx, double mic) {
    own_.AddFrame(rx, mic);
    if (running_.IsOnScreen()) analysis_.AddFrame(rx, mic);
}

void EchoDelayChoice::AddBlocks(const int16_t* rx, const int16_t* mic, int samples) {
    own_.AddBlocks(rx, mic, samples);
    if (running_.IsOnScreen()) analysis_.AddBlocks(rx, mic, samples);
}

std::optional<int> EchoDelayChoice::DelayFrames() const {
    if (running_.IsOnScreen())
        if (auto d = analysis_.DelayFrames()) return d;
    return own_.DelayFrames();
}

LiveEchoFigures::LiveEchoFigures(StreamState& state, const DelayAnalysis& analysis,
                                 const CorrEntryPoints& correlator)
    : state_(state), analysis_(analysis), correlator_(correlator) {}

LiveEchoFigures::~LiveEchoFigures() = default;

void LiveEchoFigures::RequestRestart(double vadThreshold) {
    vadThreshold_.store(vadThreshold, std::memory_order_relaxed);
    restart_.store(true, std::memory_order_release);
    std::lock_guard<std::mutex> lock(publishedMutex_);
    published_.reset();
}

std::optional<EchoFigures> LiveEchoFigures::Latest() const {
    std::lock_guard<std::mutex> lock(publishedMutex_);
    return published_;
}

void LiveEchoFigures::Restart() {
    const StreamFormat format = state_.Format();
    framesPerSec_ = format.FramesPerSec;
    const double samplesPerFrame = format.ChannLenWords;
    metrics_ = std::make_unique<EchoMetrics>(format.FramesPerSec, format.MsPerFrame,
                                             vadThreshold_.load(std::memory_order_relaxed));
    own_ = std::make_unique<CorrelatorDelaySource>(correlator_, samplesPerFrame,
                                                   format.SamplingRateFromSettings);
    fromAnalysis_ = std::make_unique<AnalysisDelaySource>(analysis_, samplesPerFrame);
    choice_ = std::make_unique<EchoDelayChoice>(*own_, *fromAnalysis_, analysis_);
    feed_ = std::make_unique<EchoMetricsFeed>(state_, *metrics_, *choice_);
}

void LiveEchoFigures::OnFrame(const DecodedFrame& f) {
    if (restart_.exchange(false, std::memory_order_acq_rel) ||
        state_.Format().FramesPerSec != framesPerSec_) {
        Restart();
        std::lock_guard<std::mutex> lock(publishedMutex_);
        published_.reset();
    }
    feed_->OnFrame(f);
    if (!metrics_->SecondDone() || metrics_->Seconds() < 2) return;
    const EchoFigures figures = metrics_->Window();
    std::lock_guard<std::mutex> lock(publishedMutex_);
    published_ = figures;
}

} // namespace vintrel
