#include "stream/FrameReports.h"

namespace vintrel {

void FrameReports::OnFrameReport(uintptr_t wParam, intptr_t lParam) {
    if (s_.Ring.ProtocolType() > 0) s_.Decoder.RequestScarceDataInit();
    if (wParam == kReportChecksum) {
        s_.Sink.SetStat("Checksum error", StatStyle::BoldRed);
        s_.Sink.SetCounter(CounterLabel::ChecksumErrors, ++counters_.CSerrorsCount);
    } else if (wParam == kReportInconsistent) {
        s_.Sink.SetStat("Inconsistent frame numbers.", StatStyle::Normal);
        ProcessInconsistentFrames(static_cast<uint32_t>(lParam));
    }
}

bool FrameReports::ProcessInconsistentFrames(uint32_t FrameCount) {
    StreamCounters& c = counters_;
    // The parser found the transport connecting again since the last report: a new run.
    const uint32_t breaks = s_.Parser.RunBreaks();
    if (breaks != runBreaksSeen_) {
        runBreaksSeen_ = breaks;
        c.InconsistFramesCount = 0;
    }
    const uint32_t delta = c.InconsistFramesCount > 0 ? FrameCount - c.FirstFaultyFrameCounter : 0;
    c.FirstFaultyFrameCounter = FrameCount;
    // A frame far from the previous one starts a new run. It is still an inconsistent frame,
    // so it is counted in the total like any other.
    if (delta > kCloseRunFrames) c.InconsistFramesCount = 0;
    ++c.InconsistFramesCount;
    s_.Sink.SetCounter(CounterLabel::InconsistentFrames, ++c.TotalInconsFrCount);

    const int32_t thresh = c.InconsistFramesThresh;
    if (thresh > 0 && c.InconsistFramesCount > uint32_t(thresh) && s_.Control.State() != TERMINATING) {
        c.InconsistFramesCount = 0;
        if (reconnect_) reconnect_->Reconnect();
        static constexpr std::string_view kWord[] = {"Inconsistent "};
        s_.Sink.ClearStatIfContains(kWord, 1);
        return true;
    }
    return false;
}

} // namespace vintrel
