#pragma once
// Plays a captured stream through the receiver in one thread: transport passes, parsing
// rounds and the window's handling of the reports, in the order the three threads would make
// them, on a clock that advances one frame period per frame-sized read. The command-line
// inspection, the tests and the benchmarks use it.
#include "stream/FrameExtractor.h"
#include "stream/FrameReports.h"
#include "stream/QueueSink.h"
#include "stream/StreamState.h"
#include "stream/TransportLoop.h"

#include <functional>
#include <memory>

namespace vintrel {

struct ReplayOptions {
    DataStreamFormat Format = DataStreamFormat::Ksps8Ms4;
    bool BigEndian = false;
    bool VerifyChecksum = true;
    int InconsistFramesThresh = 3;
    TTransport TransportIs = TR_FTDI;
};

struct ReplayTotals {
    uint64_t Frames = 0;
    uint64_t ChecksumErrors = 0;
    uint64_t Inconsistent = 0;
    uint64_t Reconnects = 0;
    uint64_t LostSync = 0; // 0x915 reports with lParam 1
    uint64_t NoSignal = 0; // lParam 0
    uint64_t MalformedChunks = 0;
};

class Replay : private ReconnectControl {
public:
    // `exhausted` tells when the transport has nothing more to give.
    Replay(Transport& transport, std::function<bool()> exhausted, const ReplayOptions& o);

    StreamState& State() { return *state_; }
    FrameExtractor& Extractor() { return extractor_; }
    QueueSink& Sink() { return sink_; }
    void AddConsumer(FrameConsumer* c) { extractor_.AddConsumer(c); }
    // Handles a queued message as the window would.
    using MessageHandler = std::function<void(const QueuedMessage&)>;

    // Runs until the transport is exhausted or maxPasses transport passes have run; every queued
    // message goes to onMessage after the replay's own handling.
    ReplayTotals Run(const MessageHandler& onMessage, uint64_t maxPasses = ~0ull);
    ReplayTotals Run(uint64_t maxPasses = ~0ull) { return Run({}, maxPasses); }

private:
    void Reconnect() override;
    void Connect();
    void DispatchMessages(const MessageHandler& onMessage);
    void AccumulateParserTotals();
    void Advance(double ms);

    QueueSink sink_;
    ManualClock clock_;
    std::unique_ptr<StreamState> state_;
    TransportLoop loop_;
    FrameExtractor extractor_;
    FrameReports reports_;
    Transport& transport_;
    TTransport transportIs_ = TR_FTDI;
    std::function<bool()> exhausted_;
    ReplayTotals totals_;
    double frameMs_ = 4;
    double pendingMs_ = 0;
};

} // namespace vintrel
