// One delivered frame onto the six charts: the inputs each protocol and setting calls for, the hints,
// the MIPS caption, frame reports and the spectrum columns.
#include "monitor/ChartPanel.h"

#include "QtTestApp.h"
#include "stream/FrameLayout.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <memory>
#include <vector>

namespace vintrel {

namespace {

struct PanelRig {
    explicit PanelRig(bool withQueues = false) {
        test::QtApp();
        canvas = QImage(ChartPanel::kCanvasWidth, ChartPanel::kCanvasHeight, QImage::Format_RGB32);
        if (withQueues) queues = std::make_unique<SpectrumQueues>(nullptr);
        panel = std::make_unique<ChartPanel>(canvas, queues.get(), true, 1, QGuiApplication::palette());
        panel->SetPlottingFeatures(true, true);
        Clear();
    }
    void Clear() {
        r = TNewProtHeaderEveryFrameData{};
        r.ChannMax.fill(-2);
        r.VadStatus.fill(-2);
        r.NoiseDetect.fill(-2);
        r.AGC.fill(-2);
        r.FrameLen.fill(0);
    }
    QImage canvas;
    std::unique_ptr<SpectrumQueues> queues;
    std::unique_ptr<ChartPanel> panel;
    TagModel tags; // charts 1..5: TX1in, TX2in, TXout, RXin, RXout
    TNewProtHeaderEveryFrameData r;
};

} // namespace

TEST(ChartPanel, NewProtocolFramesFeedPeakIndicatorAndGain) {
    PanelRig p;
    p.r.ChannMax[1] = 5000;
    p.r.VadStatus[1] = 300;
    p.r.NoiseDetect[1] = 20000;
    p.r.AGC[1] = 0x2000 + 512; // exponent 2, mantissa 512: a gain of 2048
    p.r.ChannMax[2] = 700;
    p.r.FrameLen[1] = p.r.FrameLen[2] = 32;
    p.panel->DrawFrame(p.r, 1, p.tags);
    const TSimpleChart& c1 = p.panel->Chart(1);
    EXPECT_EQ(c1.SumPeak, 5000);
    EXPECT_EQ(c1.SumVad, 20000); // "ND" is chosen: the noise detector, as received
    EXPECT_EQ(c1.SumVol, ConvertAGC(int16_t(0x2000 + 512)));
    EXPECT_EQ(c1.SumVol, 2048);
    EXPECT_EQ(c1.TickColor, TSimpleChart::kTickNew);
    EXPECT_EQ(p.panel->ChartHint[1], "+VAD+ND+AGCg");
    EXPECT_EQ(p.panel->Chart(2).SumVad, -2);
    EXPECT_EQ(p.panel->Chart(2).SumVol, -2);
    EXPECT_EQ(p.panel->ChartHint[2], "");
    EXPECT_TRUE(p.panel->ListenButtonEna[1]);
    EXPECT_FALSE(p.panel->ListenButtonEna[3]);
    EXPECT_EQ(p.panel->Chart(3).SumPeak, -2); // no data: a button-face column
    p.panel->Settings.VadChosen = true;
    p.panel->DrawFrame(p.r, 1, p.tags);
    EXPECT_EQ(c1.SumVad, 300);
}

TEST(ChartPanel, OldProtocolFramesInvertTheNoiseDetectorAndPlotTheVolume) {
    PanelRig p;
    for (int k = 1; k <= 5; ++k) {
        p.r.ChannMax[size_t(k)] = int16_t(1000 * k);
        p.r.NoiseDetect[size_t(k)] = 1000;
        p.r.FrameLen[size_t(k)] = 32;
    }
    p.r.Volume = 12000;
    p.panel->DrawFrame(p.r, 0, p.tags);
    // TX1in, TX2in and RXin carry 32767 minus the noise detector; TXout and RXout nothing.
    for (int k : {1, 2, 4}) {
        EXPECT_EQ(p.panel->Chart(k).SumVad, 31767) << k;
        EXPECT_EQ(p.panel->ChartHint[size_t(k)], "+ND") << k;
        EXPECT_EQ(p.panel->Chart(k).TickColor, TSimpleChart::kTickOld);
    }
    EXPECT_EQ(p.panel->Chart(3).SumVad, -2);
    EXPECT_EQ(p.panel->Chart(5).SumVad, -2);
    EXPECT_EQ(p.panel->Chart(5).SumVol, 12000); // "Plot RXout volume"
    EXPECT_EQ(p.panel->ChartHint[5], "+VOL");
    EXPECT_EQ(p.panel->Chart(3).SumVol, -2);
    p.panel->Settings.PlotRxOutVolume = false;
    p.panel->Settings.VadChosen = true; // the old protocol has no VAD: -2 everywhere
    p.panel->DrawFrame(p.r, 0, p.tags);
    for (int k = 1; k <= 5; ++k) EXPECT_EQ(p.panel->Chart(k).SumVad, -2) << k;
    EXPECT_EQ(p.panel->Chart(5).SumVol, -2);
    EXPECT_EQ(p.panel->ChartHint[5], "");
}

TEST(ChartPanel, MipsChartAndCaption) {
    PanelRig p;
    p.tags.CollectMIPS = 1;
    p.r.MIPS = 60;
    p.r.maxMIPS = 120;
    p.panel->DrawFrame(p.r, 1, p.tags);
    EXPECT_EQ(p.panel->Chart(CHART_MIPS).SumPeak, 16383);   // 60 x 32767 / 120
    EXPECT_EQ(p.panel->MIPSLabel, "MIPS peak|med,%= 49|0"); // the window of 250 starts as zeros
    EXPECT_EQ(p.panel->ChartHint[CHART_MIPS], "");
    for (int i = 0; i < 125; ++i) p.panel->DrawFrame(p.r, 1, p.tags);
    EXPECT_EQ(p.panel->MIPSLabel, "MIPS peak|med,%= 49|49"); // 126 of 250: element 124 is now 16383
    p.r.MIPS = 150; // above the target's own maximum: capped at full scale
    p.r.UF = 1;
    p.panel->DrawFrame(p.r, 1, p.tags);
    EXPECT_EQ(p.panel->Chart(CHART_MIPS).SumPeak, 32767);
    EXPECT_EQ(p.panel->MIPSLabel, "MIPS peak|med,%= 100|49");
    EXPECT_EQ(p.panel->ChartHint[CHART_MIPS], "+UDF (green line)");
    EXPECT_EQ(p.panel->Chart(CHART_MIPS).SumVol, 1);
    p.r.MIPS = -2;
    p.panel->DrawFrame(p.r, 1, p.tags);
    EXPECT_EQ(p.panel->MIPSLabel, "MIPS unavailable");
    EXPECT_EQ(p.panel->Chart(CHART_MIPS).SumPeak, -2);
    p.r.MIPS = 77;
    p.r.maxMIPS = 0; // no maximum known: the raw value
    p.panel->DrawFrame(p.r, 1, p.tags);
    EXPECT_EQ(p.panel->Chart(CHART_MIPS).SumPeak, 77);
    // Without MIPS in the stream the MIPS chart is left alone.
    const uint16_t ticks = p.panel->Chart(CHART_MIPS).nTick;
    p.tags.CollectMIPS = 0;
    p.panel->DrawFrame(p.r, 1, p.tags);
    EXPECT_EQ(p.panel->Chart(CHART_MIPS).nTick, ticks);
}

TEST(ChartPanel, FrameReportsStripeTheChartsWithSamplesAndRestartTheStatistics) {
    PanelRig p;
    p.tags.CollectMIPS = 1;
    p.r.FrameLen[1] = p.r.FrameLen[4] = 32;
    p.r.ChannMax[1] = p.r.ChannMax[4] = 100;
    p.r.MIPS = 10;
    p.r.maxMIPS = 100;
    p.panel->DrawFrame(p.r, 1, p.tags);
    std::array<uint16_t, 7> before{};
    for (int k = 1; k <= 6; ++k) before[size_t(k)] = p.panel->Chart(k).nTick;
    p.panel->FrameReported(true, 1, p.tags, 4.0f);
    for (int k : {1, 4, 6}) {
        EXPECT_EQ(p.panel->Chart(k).nTick, before[size_t(k)] + 1) << k;
        EXPECT_EQ(p.panel->Chart(k).BitMap().pixel(126, 64), TSimpleChart::kStripeChecksum) << k;
    }
    for (int k : {2, 3, 5}) EXPECT_EQ(p.panel->Chart(k).nTick, before[size_t(k)]) << k;
    for (int k = 1; k <= 5; ++k) {
        EXPECT_EQ(p.panel->Chart(k).Nsamples, 1200); // 4.8 s of 4-ms frames
        EXPECT_FALSE(p.panel->Chart(k).BufFilled);
    }
    EXPECT_EQ(p.panel->Chart(CHART_MIPS).Nsamples, 250);
    p.panel->FrameReported(false, 1, p.tags, 4.0f / 3.0f);
    EXPECT_EQ(p.panel->Chart(1).BitMap().pixel(126, 64), TSimpleChart::kStripeInconsistent);
    EXPECT_EQ(p.panel->Chart(1).Nsamples, 3600);
}

TEST(ChartPanel, SpectrumColumnsFromTheQueuesReplaceTheLevelColumns) {
    PanelRig p(true);
    p.panel->ComboBoxFFTChange(2048);
    p.panel->SetSpectrumShown(true, 8000);
    EXPECT_EQ(p.panel->Chart(1).AmplLogSpectrum, kModeSpectrum);
    EXPECT_EQ(p.panel->Chart(1).SpectrumMaxFreq, 4000);
    std::vector<int16_t> tone(32);
    std::vector<int> columnsAt;
    for (int frame = 1; frame <= 70; ++frame) {
        for (int j = 0; j < 32; ++j) tone[size_t(j)] = int16_t(8000 * std::sin(0.5 * ((frame - 1) * 32 + j)));
        p.queues->Append(2, tone.data(), 32);
        p.Clear();
        p.r.FrameLen[2] = 32;
        p.r.ChannMax[2] = 8000;
        const uint64_t before = p.panel->SpectrumColumns;
        p.panel->DrawFrame(p.r, 1, p.tags);
        if (p.panel->SpectrumColumns != before) columnsAt.push_back(frame);
    }
    EXPECT_EQ(columnsAt, (std::vector<int>{64, 65}));
    EXPECT_EQ(p.panel->Chart(2).nTick, 2); // the level columns are not drawn over the spectrogram
    // The tone (0.5 rad a sample: 637 Hz at 8 kHz) is the brightest row, 637 / 4000 x 128 = 20 up.
    const QImage& img = p.panel->Chart(2).BitMap();
    int brightest = 0, best = -1;
    for (int row = 0; row < 128; ++row) {
        const int v = qRed(img.pixel(126, row)) + qGreen(img.pixel(126, row)) + qBlue(img.pixel(126, row));
        if (v > best) best = v, brightest = row;
    }
    EXPECT_NEAR(127 - brightest, 20, 1);
    p.panel->SetSpectrumShown(false, 8000);
    EXPECT_EQ(p.panel->Chart(2).AmplLogSpectrum, kModeLog);
}

} // namespace vintrel
