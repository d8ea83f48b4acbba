#include "monitor/ChartPanel.h"

#include "monitor/ChartLabels.h"
#include "stream/FrameLayout.h"
#include "stream/StreamFormat.h"

#include <algorithm>
#include <cstdio>

namespace vintrel {

namespace {
constexpr int kLongestTransform = 2048;
constexpr int kChannelStatsFrames = 1200, kMipsStatsFrames = 250;
} // namespace

ChartPanel::ChartPanel(QImage& canvas, SpectrumQueues* queues, bool logScale, int ratePosition,
                       const QPalette& palette)
    : canvas_(canvas), queues_(queues), logScale_(logScale), work_(kLongestTransform) {
    for (auto& h : ChartHint) h.reserve(32);
    MIPSLabel.reserve(64);
    for (int k = 1; k <= kChannelCharts; ++k) {
        charts_[size_t(k)] = std::make_unique<TSimpleChart>(
            &canvas_, &SnrLabels[size_t(k)], Chart_XY[size_t(k)].X, Chart_XY[size_t(k)].Y,
            logScale ? kModeLog : kModeAmplitude, ratePosition - 1, &DbSliders[size_t(k)], palette);
        charts_[size_t(k)]->InitExternalSettings(kChannelStatsFrames, true, true);
    }
    charts_[CHART_MIPS] =
        std::make_unique<TSimpleChart>(&canvas_, &SnrLabels[CHART_MIPS], Chart_XY[CHART_MIPS].X,
                                       Chart_XY[CHART_MIPS].Y, kModeMips, ratePosition - 1, nullptr, palette);
    charts_[CHART_MIPS]->InitExternalSettings(kMipsStatsFrames, false, false);
    SnrLabels[CHART_MIPS].Visible = false;
    // The window's start-up: "Paint voiced frames" checked, "Plot noise level" unchecked, threshold 0.50.
    SetPlottingFeatures(false, true);
    SetVadThrItem(kVadThrDefaultItem);
    ComboBoxFFTChange(FFTSamplesNeeded);
}

void ChartPanel::SetLogScale(bool on) {
    logScale_ = on;
    if (Settings.ShowSpectrum) return;
    for (int k = 1; k <= kChannelCharts; ++k) Chart(k).SetLogarithmic(on ? kModeLog : kModeAmplitude);
}

void ChartPanel::SetRatePosition(int position) {
    for (int k = 1; k <= kCharts; ++k) Chart(k).SetRate(position - 1);
}

void ChartPanel::SetVadThrItem(int item) {
    const int thr = VadThrFR[size_t(std::clamp(item, 0, int(VadThrFR.size()) - 1))];
    for (int k = 1; k <= kChannelCharts; ++k) Chart(k).SetVadThr(thr);
}

void ChartPanel::SetPlottingFeatures(bool plotNoiseLevel, bool paintVoiced) {
    for (int k = 1; k <= kChannelCharts; ++k) Chart(k).SetOptFeatures(plotNoiseLevel, paintVoiced);
}

void ChartPanel::SetSpectrumShown(bool on, int samplingRate) {
    Settings.ShowSpectrum = on;
    for (int k = 1; k <= kChannelCharts; ++k)
        Chart(k).SetLogarithmic(on ? kModeSpectrum : logScale_ ? kModeLog : kModeAmplitude);
    if (on) InitForFFTplotting(samplingRate);
}

void ChartPanel::ComboBoxFFTChange(int length) {
    FFTSamplesNeeded = length;
    FFTstruct.Clear();
    FFTstruct.SetWindow(fwHanning);
    FFTstruct.SetBufferSize(length);
    if (work_.size() < size_t(FFTstruct.BufferSize())) work_.resize(size_t(FFTstruct.BufferSize()));
    if (queues_) queues_->SetSamplesNeeded(FFTstruct.BufferSize());
}

void ChartPanel::InitForFFTplotting(int samplingRate) {
    ComboBoxFFTChange(FFTSamplesNeeded);
    if (queues_) queues_->InitForFFTplotting(FFTstruct.BufferSize());
    for (int k = 1; k <= kChannelCharts; ++k) {
        Chart(k).SpectrumMaxFreq = samplingRate / 2;
        if (Chart(k).AmplLogSpectrum == kModeSpectrum) Chart(k).Repaint(); // the axis follows the rate
    }
}

void ChartPanel::RestartStatistics(float msPerFrame) {
    const int frames = int(RoundHalfEven(4800.0 / double(msPerFrame)));
    for (int k = 1; k <= kChannelCharts; ++k) Chart(k).InitNoiseLevelCalc(frames);
}

void ChartPanel::CalcFFT(const float* samples, int N) {
    FFTstruct.Clear();
    std::copy_n(samples, N, FFTstruct.RealIn());
    FFTstruct.FFT();
    FFTstruct.CalculateMagnitudes();
}

void ChartPanel::DrawFrame(const TNewProtHeaderEveryFrameData& r, int ProtocolType, const TagModel& tags) {
    for (int k = 1; k <= kChannelCharts; ++k) ListenButtonEna[size_t(k)] = r.FrameLen[size_t(k)] > 0;
    for (int k = 1; k <= kChannelCharts; ++k) DrawChannel(k, r, ProtocolType, tags);
    if (tags.CollectMIPS.load(std::memory_order_relaxed) != 0) DrawMips(r);
}

void ChartPanel::DrawChannel(int k, const TNewProtHeaderEveryFrameData& r, int ProtocolType,
                             const TagModel& tags) {
    TSimpleChart& chart = Chart(k);
    const size_t i = size_t(k);
    if (Settings.ShowSpectrum && queues_) {
        const int n = queues_->FFTSamplesNeeded;
        if (n <= int(work_.size()) && queues_->TakeBlock(k, work_.data())) {
            CalcFFT(work_.data(), n);
            chart.AddSpectrumLog(FFTstruct.RealOut(), n / 2, 32768.0f, float(-40 - Settings.SpecMax),
                                 float(Settings.EnergyScale));
            ++SpectrumColumns;
        }
    }
    std::string& hint = ChartHint[i];
    hint.clear();
    if (ProtocolType < 1) {
        const TChannel ch = tags.Chart2ChannelOldProt(static_cast<TChart>(k));
        int16_t indicator = -2;
        if (!Settings.VadChosen && (ch == TX1IN || ch == TX2IN || ch == RXIN)) {
            indicator = r.NoiseDetect[i];
            if (indicator != -2) {
                indicator = int16_t(32767 - indicator);
                hint = "+ND";
            }
        }
        if (ch == RXOUT && Settings.PlotRxOutVolume) {
            chart.Add4(r.ChannMax[i], indicator, 0, r.Volume);
            hint = "+VOL";
        } else {
            chart.Add4(r.ChannMax[i], indicator, 0, -2);
        }
    } else {
        if (r.VadStatus[i] != -2) hint += "+VAD";
        if (r.NoiseDetect[i] != -2) hint += "+ND";
        const int16_t indicator = Settings.VadChosen ? r.VadStatus[i] : r.NoiseDetect[i];
        int16_t gain = -2;
        if (r.AGC[i] != -2) {
            gain = int16_t(std::clamp(ConvertAGC(r.AGC[i]), -32768, 32767));
            hint += "+AGCg";
        }
        chart.Add5(r.ChannMax[i], indicator, 0, gain);
    }
}

void ChartPanel::DrawMips(const TNewProtHeaderEveryFrameData& r) {
    TSimpleChart& mips = Chart(CHART_MIPS);
    // The load scaled so that the target's maximum is 32767 (a load above the maximum is capped); the
    // raw value when no maximum is known.
    int m = r.MIPS;
    if (r.maxMIPS > 0 && r.MIPS != -2) m = std::min(int(r.MIPS) * 32767 / int(r.maxMIPS), 32767);
    if (m == -2) {
        MIPSLabel = "MIPS unavailable";
    } else {
        const int peak = mips.GetMax(int16_t(m));
        const int median = mips.GetMedian();
        char text[64];
        std::snprintf(text, sizeof text, "MIPS peak|med,%%= %d|%d", peak * 100 / 32767, median * 100 / 32767);
        MIPSLabel = text;
    }
    mips.Add4(int16_t(m), -2, -2, r.UF);
    ChartHint[CHART_MIPS] = r.UF != -2 ? "+UDF (green line)" : "";
}

void ChartPanel::FrameReported(bool checksum, int ProtocolType, const TagModel& tags, float msPerFrame) {
    for (int k = 1; k <= kChannelCharts; ++k)
        if (ListenButtonEna[size_t(k)])
            Chart(k).AddIncFrameIndWTick(Settings.ShowSpectrum, ProtocolType >= 1, checksum);
    if (tags.CollectMIPS.load(std::memory_order_relaxed) != 0)
        Chart(CHART_MIPS).AddIncFrameIndWTick(Settings.ShowSpectrum, ProtocolType >= 1, checksum);
    RestartStatistics(msPerFrame);
}

} // namespace vintrel
