#include "stream/FrameReports.h"
#include "stream/QueueSink.h"

#include <gtest/gtest.h>

namespace vintrel {

namespace {
struct CountingReconnect : ReconnectControl {
    int calls = 0;
    void Reconnect() override { ++calls; }
};

struct Fixture {
    QueueSink sink;
    ManualClock clock;
    StreamState state{sink, clock};
    CountingReconnect rc;
    FrameReports reports{state, &rc};
};
} // namespace

TEST(FrameReports, RunsOfCloseInconsistentFrames) {
    Fixture f;
    f.reports.ProcessInconsistentFrames(1000);
    f.reports.ProcessInconsistentFrames(1125); // 125 apart: same run
    EXPECT_EQ(f.reports.Counters().InconsistFramesCount, 2u);
    f.reports.ProcessInconsistentFrames(1251); // 126 apart: a new run, still counted
    EXPECT_EQ(f.reports.Counters().InconsistFramesCount, 1u);
    EXPECT_EQ(f.reports.Counters().TotalInconsFrCount, 3u);
    EXPECT_EQ(f.sink.Counter(CounterLabel::InconsistentFrames), 3);
    EXPECT_EQ(f.rc.calls, 0);
    f.reports.ProcessInconsistentFrames(1260);
    f.reports.ProcessInconsistentFrames(1270);
    EXPECT_EQ(f.rc.calls, 0);
    f.reports.ProcessInconsistentFrames(1280); // fourth of the run: reconnect
    EXPECT_EQ(f.rc.calls, 1);
    EXPECT_EQ(f.reports.Counters().InconsistFramesCount, 0u);
}

TEST(FrameReports, ThresholdZeroNeverReconnects) {
    Fixture f;
    f.reports.Counters().InconsistFramesThresh = 0;
    for (uint32_t i = 0; i < 20; ++i) f.reports.ProcessInconsistentFrames(300 + i);
    EXPECT_EQ(f.rc.calls, 0);
    EXPECT_EQ(f.reports.Counters().TotalInconsFrCount, 20u);
}

TEST(FrameReports, NoReconnectWhileTerminating) {
    Fixture f;
    f.state.Control.Terminate();
    uint32_t unused;
    f.state.Control.BeginPass(unused); // the transport thread carries it out
    for (uint32_t i = 0; i < 5; ++i) f.reports.ProcessInconsistentFrames(300 + i);
    EXPECT_EQ(f.rc.calls, 0);
}

TEST(FrameReports, ChecksumReportsCountAndShow) {
    Fixture f;
    f.reports.OnFrameReport(kReportChecksum, 0);
    f.reports.OnFrameReport(kReportChecksum, 0);
    EXPECT_EQ(f.reports.Counters().CSerrorsCount, 2u);
    EXPECT_EQ(f.sink.Counter(CounterLabel::ChecksumErrors), 2);
    EXPECT_EQ(f.sink.Status(), "Checksum error");
    EXPECT_EQ(f.sink.StatusStyle(), StatStyle::BoldRed);
    f.reports.OnFrameReport(kReportInconsistent, 400);
    EXPECT_EQ(f.sink.Status(), "Inconsistent frame numbers.");
}

} // namespace vintrel
