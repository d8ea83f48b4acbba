#include "stream/Replay.h"

#include <algorithm>
#include <cmath>

namespace vintrel {

Replay::Replay(Transport& transport, std::function<bool()> exhausted, const ReplayOptions& o)
    : clock_(1000), state_(std::make_unique<StreamState>(sink_, clock_)), loop_(*state_), extractor_(*state_),
      reports_(*state_, this), transport_(transport), exhausted_(std::move(exhausted)) {
    StreamState& s = *state_;
    s.SetFormat(o.Format);
    s.Settings.BigEndian = o.BigEndian;
    s.Settings.VerifyChecksum = o.VerifyChecksum;
    reports_.Counters().InconsistFramesThresh = o.InconsistFramesThresh;
    transportIs_ = o.TransportIs;
    frameMs_ = s.Format().MsPerFrame;
}

void Replay::AccumulateParserTotals() {
    totals_.Frames += extractor_.FramesFromStart();
    totals_.ChecksumErrors += reports_.Counters().CSerrorsCount;
    totals_.Inconsistent += reports_.Counters().TotalInconsFrCount;
}

void Replay::Reconnect() {
    // As the Connect button would: park both threads, close, zero the ring, open again and start
    // a fresh parsing thread. The transport stays where it is, as a live target goes on sending.
    StreamState& s = *state_;
    s.Control.RequestPark();
    loop_.Pass();
    AccumulateParserTotals();
    s.Ring.ZeroFill();
    s.Ring.ResetParked();
    s.Decoder.NewProtHeaderScarceDataInit();
    Connect();
    ++totals_.Reconnects;
}

void Replay::Advance(double ms) {
    pendingMs_ += ms;
    const double whole = std::floor(pendingMs_);
    clock_.Advance(static_cast<uint32_t>(whole));
    pendingMs_ -= whole;
}

void Replay::DispatchMessages(const MessageHandler& onMessage) {
    QueuedMessage m;
    while (sink_.Take(m)) {
        if (m.Msg == WM_FRAME_REPORT) reports_.OnFrameReport(m.WParam, m.LParam);
        if (m.Msg == WM_TRANSPORT_REPORT) (m.LParam ? totals_.LostSync : totals_.NoSignal) += 1;
        if (onMessage) onMessage(m);
    }
}

void Replay::Connect() {
    // The next transport pass takes the transport over; the parsing thread starts afresh.
    state_->Control.Connect(&transport_, transportIs_);
    extractor_.Start();
    reports_.ParserStarts();
}

ReplayTotals Replay::Run(const MessageHandler& onMessage, uint64_t maxPasses) {
    StreamState& s = *state_;
    const uint64_t malformedBefore = s.Parser.MalformedChunks();
    if (s.Control.State() == INACTIVE) Connect();
    for (uint64_t pass = 0; pass < maxPasses; ++pass) {
        const TransportPassResult r = loop_.Pass();
        if (r.SleepMs > 0) Advance(r.SleepMs);
        // The bytes take the time the target needs to send them: a frame's length per frame period.
        if (r.Got > 0) Advance(frameMs_ * r.Got / std::max<uint32_t>(loop_.ReadRecSize(), 1));
        if (r.Event == TransportEvent::DataArrived || r.Event == TransportEvent::SwitchedToRunning) {
            extractor_.Round(r.Event);
        } else if (r.Event == TransportEvent::DataTimedOut) {
            if (exhausted_()) {
                extractor_.Round(r.Event, true, true); // whole frames still in the ring
                break;
            }
            Advance(frameMs_);
            extractor_.Round(r.Event);
        } else if (r.Event == TransportEvent::None && s.Control.State() >= CONNECTING && exhausted_()) {
            extractor_.Round(TransportEvent::DataArrived, true, true); // whole frames still in the ring
            break;
        }
        DispatchMessages(onMessage);
    }
    DispatchMessages(onMessage);
    AccumulateParserTotals();
    ReplayTotals t = totals_;
    t.MalformedChunks = s.Parser.MalformedChunks() - malformedBefore;
    totals_ = ReplayTotals{};
    return t;
}

} // namespace vintrel
