#pragma once
// The six charts of the main window and the drawing of one delivered frame onto them: each channel
// chart gets the frame's peak with the voice or noise indicator and the green-line value the protocol
// and the settings call for, or a spectrum column; the MIPS chart gets the scaled load and the
// underflow indicator, and the MIPS caption its running peak and median. Frame reports add marker
// stripes and restart the noise statistics. The charts draw onto `Canvas`, the window's surface.
//
// Threads: window thread only. The spectrum queues it reads are filled by the parsing thread
// (see SpectrumQueues).
#include "monitor/DspFFT.h"
#include "monitor/SimpleChart.h"
#include "monitor/SpectrumQueues.h"
#include "stream/FrameRecord.h"
#include "stream/TagModel.h"

#include <QImage>
#include <QPalette>
#include <array>
#include <memory>
#include <string>
#include <vector>

namespace vintrel {

// The window's controls that the drawing reads for every frame.
struct PanelSettings {
    bool VadChosen = false;      // "VAD" rather than "ND" (RadioButtonVAD; ND at start)
    bool PlotRxOutVolume = true; // "Plot RXout volume"
    bool ShowSpectrum = false;   // "Show spectrum"
    int EnergyScale = 0;         // "Energy scale =" slider, 0..96 dB
    int SpecMax = 56;            // spectrum-range slider, 0..80: the floor is -40 - SpecMax dB
};

class ChartPanel {
public:
    static constexpr int kCharts = 6; // [1..5] channels, [6] MIPS
    static constexpr int kCanvasWidth = 570, kCanvasHeight = 440;

    // Creates the charts as the main window does: the five channel charts at Chart_XY with their SNR
    // labels and dB sliders, in log or amplitude mode, noise statistics over 1200 frames; the MIPS
    // chart in mode 3 without slider over 250 frames. `ratePosition` is the rate slider (1..7).
    // `queues` (may be null: no spectrum) are the spectrum inputs the parsing thread fills.
    ChartPanel(QImage& canvas, SpectrumQueues* queues, bool logScale, int ratePosition,
               const QPalette& palette);

    TSimpleChart& Chart(int k) { return *charts_[size_t(k)]; }
    const TSimpleChart& Chart(int k) const { return *charts_[size_t(k)]; }
    QImage& Canvas() { return canvas_; }

    // Controls ("Log scale", the rate slider, "VAD threshold", "Plot noise level"/"Paint voiced frames").
    void SetLogScale(bool on);
    void SetRatePosition(int position);
    void SetVadThrItem(int item);
    void SetPlottingFeatures(bool plotNoiseLevel, bool paintVoiced);
    // "Show spectrum" switched: mode 2 and the queues emptied, or back to the bar mode.
    void SetSpectrumShown(bool on, int samplingRate);
    // "FFT length" (256, 512, 1024, 2048): takes effect at the next block.
    void ComboBoxFFTChange(int length);
    // The FFT set up for the chosen length, the queues emptied, the spectrum axis set to half the rate.
    void InitForFFTplotting(int samplingRate);
    // Noise statistics of the five channel charts over 4.8 s of frames (format chosen, connection
    // opened, frame report).
    void RestartStatistics(float msPerFrame);

    // Draws one delivered frame (the record is only read; the engine resets it afterwards).
    void DrawFrame(const TNewProtHeaderEveryFrameData& r, int ProtocolType, const TagModel& tags);
    // Message 0x918: stripes on the charts whose channel carries samples (and on the MIPS chart while
    // MIPS are collected), then the noise statistics restart.
    void FrameReported(bool checksum, int ProtocolType, const TagModel& tags, float msPerFrame);

    PanelSettings Settings;
    std::array<bool, kCharts> ListenButtonEna{};    // [1..5]
    std::array<std::string, kCharts + 1> ChartHint; // [1..6]
    std::array<ChartLabel, kCharts + 1> SnrLabels;  // [1..6]; [6] the MIPS chart's spare hidden label
    std::array<DbSlider, kCharts> DbSliders;        // [1..5]
    std::string MIPSLabel;
    int FFTSamplesNeeded = 256;
    TdspFFT FFTstruct;
    uint64_t SpectrumColumns = 0;

private:
    // Transforms N samples into FFTstruct's RealOut (N/2 magnitudes).
    void CalcFFT(const float* samples, int N);
    void DrawChannel(int k, const TNewProtHeaderEveryFrameData& r, int ProtocolType, const TagModel& tags);
    void DrawMips(const TNewProtHeaderEveryFrameData& r);

    QImage& canvas_;
    SpectrumQueues* queues_;
    bool logScale_;
    std::array<std::unique_ptr<TSimpleChart>, kCharts + 1> charts_;
    std::vector<float> work_; // one block, sized for the longest transform
};

} // namespace vintrel
