#pragma once
// The small scrolling level chart: five of them show the monitored channels, one the target's MIPS
// load. Every frame hands it a few 16-bit levels; it folds them over DrawingRate frames and draws one
// column at the right edge of its own 130 x 128 image, moving the picture two pixels left: an
// amplitude bar, a dB bar or a spectrum column, with voiced frames in purple, the noise-level and
// held-signal markers, the green line, ticks every 16 columns and stripes for damaged frames. After
// every change the plot is copied onto the parent surface, on which Repaint draws the frame and the
// axis labels. The SNR label and the dB slider belong to the window; the chart holds plain models of
// them that the window binds to its controls.
//
// Threads: window thread only.
#include "monitor/ChartStatistics.h"
#include "monitor/Raster.h"

#include <QImage>
#include <QPalette>
#include <QRect>
#include <functional>
#include <string>

class QFont;
class QFontMetrics;
class QPainter;

namespace vintrel {

// The window's label that shows a chart's SNR text. The window copies the caption after every
// drawn frame; the chart reports a change of visibility at once through Changed.
struct ChartLabel {
    std::string Caption;
    bool Visible = true;
    std::function<void()> Changed; // set by the window that shows the label
};

// The dB offset slider beside a channel chart (a vertical track bar 0..Max). What the chart changes
// (visibility, a position snapped to 6 dB) it reports through Changed; the window applies that to
// its widget without taking it for a move of the slider.
struct DbSlider {
    int Position = 0;
    int Max = 48;
    int Left = 0, Top = 0, Height = 0;
    bool Visible = true;
    std::function<void()> Changed; // set by the window that owns the widget
};

enum ChartMode : int16_t { kModeAmplitude = 0, kModeLog = 1, kModeSpectrum = 2, kModeMips = 3 };

class TSimpleChart : public ChartStatistics {
public:
    static constexpr int kWidth = 130, kHeight = 128;

    // A chart at (x, y) of `Canvas` (32 bits a pixel, may be null), showing its SNR in `SNRl` (may be
    // null), in mode AmLogSpect, with DrawingRate = 2^Rate and the optional dB slider.
    TSimpleChart(QImage* Canvas, ChartLabel* SNRl, int x, int y, int AmLogSpect, int Rate, DbSlider* Slider,
                 const QPalette& palette);

    void SetOptFeatures(bool ShowNoiseM, bool ShowV) override;
    // Sets the mode and erases the picture.
    void SetLogarithmic(int als);
    // The dB slider moved (the window has stored its new position): snaps it in the bar modes and erases.
    void DbSliderChange();
    // The frame and the axis labels on the parent surface.
    void Repaint();

    // One frame's levels; -2 marks a missing value. Add4 and Add5 set the old- or new-protocol tick colour.
    void Add4(int16_t v, int16_t vad, int16_t nl, int16_t vol);
    void Add5(int16_t v, int16_t vad, int16_t nl, int16_t vol);
    void Add(int16_t v, int16_t vad, int16_t nl, int16_t vol);
    // A full-height stripe for a lost or damaged frame.
    void AddIncFrameIndWTick(bool IsSpectrum, bool IsNewProt, bool IsChecksum);
    // One spectrum column from Bands magnitudes.
    void AddSpectrumLog(const float* pSpectrumArr, int Bands, float NormlMax, float LowNrgDB, float EnScale);

    // Pixel row (0 top .. 127 bottom, may be above the top) of a level in the current mode and slider.
    int CalcY(int inp) const;

    const QImage& BitMap() const { return bitmap_; }

    // The axis: label i (5 at the top .. 0 at the bottom) in the current mode and slider position,
    // its row below the plot's top, the font, and the widest level label of any mode and slider.
    QString AxisLabel(int i) const;
    static int LabelRow(int i);
    static QFont LabelFont();
    static int WidestAxisLabel(const QFontMetrics& fm);
    // The six labels at x, each on an opaque box boxWidth wide, at their rows times rowScale below top.
    void DrawAxisLabels(QPainter& p, int x, int top, double rowScale, int boxWidth) const;
    QRgb ShadowColor() const { return btnShadow_; }
    QRgb HighlightColor() const { return btnHighlight_; }

    int Left, Top;
    uint16_t nTick = 0;
    int16_t AmplLogSpectrum = kModeAmplitude;
    QRect DrawRect; // (Left + 1, Top + 1) .. (Left + 128, Top + 128)
    QRgb TickColor;
    int SpectrumMaxFreq = 4000;
    ChartLabel* SNRlabel;
    QImage* ParentCanvas;
    DbSlider* DbMinSlider;

    // Colours.
    static constexpr QRgb kVoiced = 0xFF9E0086, kOrdinary = 0xFF0000FF, kNoiseMarker = 0xFFFF0000,
                          kHeldMarker = 0xFFFF88FF, kGreenLine = 0xFF006008, kTickOld = 0xFF9E0086,
                          kTickNew = 0xFF008000, kTickSpectrum = 0xFFAB00AB, kStripeInconsistent = 0xFFFF2020,
                          kStripeInconsistentSpectrum = 0xFFFFFFFF, kStripeChecksum = 0xFFFF6500,
                          kStripeChecksumSpectrum = 0xFFFF00FF, kScaleDot = 0xFF808080, kWhite = 0xFFFFFFFF;

private:
    void Scroll();
    void CopyToParent();
    int SliderPos() const { return DbMinSlider ? DbMinSlider->Position : 0; }
    bool NearTick(int row) const;
    // Width of the box behind each axis label: the widest label the chart can draw there.
    int LabelBoxWidth(const QFontMetrics& fm);

    QImage bitmap_;
    Raster pen_;
    QRgb btnFace_, btnShadow_, btnHighlight_;
    int widestSpectrumLabel_ = 0; // the widest frequency label drawn so far, in pixels
};

} // namespace vintrel
