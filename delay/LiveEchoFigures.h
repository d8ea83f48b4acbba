#pragma once
// The echo figures while connected: the parsing thread feeds every decoded frame to the figures
// and hands the last two seconds' figures to the window once per second of stream.
//
// The delay comes from the delay window's analysis while it runs and has a good estimate, and
// otherwise from the figures' own estimate.
//
// Threads: OnFrame runs on the parsing thread, the only writer of the figures, the delay sources
// and the published copy; RequestRestart and Latest are the window thread's.
#include "delay/CorrEntryPoints.h"
#include "delay/EchoDelaySource.h"
#include "delay/EchoFigures.h"
#include "delay/EchoMetrics.h"
#include "delay/EchoMetricsFeed.h"
#include "stream/FrameExtractor.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace vintrel {

class DelayAnalysis;
struct StreamState;

// The analysis's delay while its window is on screen and it has one, else the own estimate.
class EchoDelayChoice : public EchoDelaySource {
public:
    EchoDelayChoice(EchoDelaySource& own, EchoDelaySource& analysis, const DelayAnalysis& running)
        : own_(own), analysis_(analysis), running_(running) {}
    void AddFrame(double rx, double mic) override;
    void AddBlocks(const int16_t* rx, const int16_t* mic, int samples) override;
    std::optional<int> DelayFrames() const override;

private:
    EchoDelaySource& own_;
    EchoDelaySource& analysis_;
    const DelayAnalysis& running_;
};

// "ERL 9.1 dB  ERLE 20.0 dB  TER 29.1 dB  residual -52 dBov  double talk 12 %", "N/A" for each
// figure that is missing.
std::string EchoFiguresLine(const std::optional<EchoFigures>& f);

class LiveEchoFigures : public FrameConsumer {
public:
    LiveEchoFigures(StreamState& state, const DelayAnalysis& analysis, const CorrEntryPoints& correlator);
    ~LiveEchoFigures() override;

    // Window thread: start over at the next frame (a new connection) with this voice threshold,
    // a share of full scale; the published figures are cleared at once.
    void RequestRestart(double vadThreshold);
    // Window thread: the last two seconds' figures, empty until two seconds of stream are counted.
    std::optional<EchoFigures> Latest() const;

    // Parsing thread.
    void OnFrame(const DecodedFrame& f) override;

private:
    void Restart();

    StreamState& state_;
    const DelayAnalysis& analysis_;
    const CorrEntryPoints correlator_;
    std::atomic<bool> restart_{true};
    std::atomic<double> vadThreshold_{0.5};
    // Parsing thread's: rebuilt at a restart or a change of frame rate, never per frame.
    double framesPerSec_ = 0;
    std::unique_ptr<EchoMetrics> metrics_;
    std::unique_ptr<EchoDelaySource> own_, fromAnalysis_, choice_;
    std::unique_ptr<EchoMetricsFeed> feed_;

    mutable std::mutex publishedMutex_;
    std::optional<EchoFigures> published_; // guarded by publishedMutex_
};

} // namespace vintrel
