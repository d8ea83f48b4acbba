#include "monitor/SimpleChart.h"

#include "monitor/ChartLabels.h"
#include "monitor/PaletteLog.h"
#include "stream/StreamFormat.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace vintrel {

namespace {
// Bitmap rectangles: the plot (DRect) and what a scroll moves onto it (SRect), right edges excluded.
constexpr int kPlotW = 128, kScaleColumn = 129;
// Rows between two of the six scale labels: 127 rows in five steps.
constexpr double kLabelStep = 25.4;
// The dB slider stands this far right of the chart's left edge; the scale labels reach up to it.
constexpr int kSliderOffset = 156;
// Decibels of an amplitude from its natural logarithm: 20 / ln 10, to four decimals.
constexpr double kDbPerNeper = 8.6859;
// A full-scale 16-bit sample in decibels, 20 * log10(32768) to one decimal: the log scale shows
// levels relative to it.
constexpr double kFullScaleDb = 90.3;
// The log scale shows this many decibels below the slider's level on its 127 rows.
constexpr int kLogSpanDb = 30;
// Rows per decibel: 127 / kLogSpanDb cut to three decimals (the cut decides how rows round).
constexpr double kRowsPerDb = 4.233;
// The spectrum's 0 dB: an amplitude of 256, 20 * log10(256) to three decimals.
constexpr double kSpectrumReferenceDb = 48.165;

// Spectrum axis label i (5 at the top .. 0 at the bottom): the top frequency, below it fifths of it.
std::string FrequencyLabel(int maxFreq, int i) {
    if (i == 5) return std::to_string(maxFreq);
    std::string f = std::to_string(maxFreq / 5 * i);
    if (f.size() < 4) f += "   ";
    return f;
}

} // namespace

QFont TSimpleChart::LabelFont() {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(10);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

int TSimpleChart::LabelRow(int i) {
    return int(RoundHalfEven((5 - i) * kLabelStep));
}

int TSimpleChart::WidestAxisLabel(const QFontMetrics& fm) {
    // The level labels of every bar mode and slider position.
    static const int widestLevelLabel = [&fm] {
        int w = fm.horizontalAdvance(QStringLiteral("1.0"));
        for (int sl = 0; sl <= 48; ++sl)
            for (int h = 0; h <= 6; ++h) {
                w = std::max(w, fm.horizontalAdvance(QString::fromStdString(YvalLog(h, sl))));
                if (h > 0) w = std::max(w, fm.horizontalAdvance(QString::fromStdString(YvalAmpl(h, sl))));
            }
        return w;
    }();
    return widestLevelLabel;
}

TSimpleChart::TSimpleChart(QImage* Canvas, ChartLabel* SNRl, int x, int y, int AmLogSpect, int Rate,
                           DbSlider* Slider, const QPalette& palette)
    : Left(x), Top(y), TickColor(kTickOld), SNRlabel(SNRl), ParentCanvas(Canvas), DbMinSlider(Slider),
      bitmap_(kWidth, kHeight, QImage::Format_RGB32), pen_(bitmap_),
      btnFace_(palette.color(QPalette::Button).rgb()), btnShadow_(palette.color(QPalette::Dark).rgb()),
      btnHighlight_(palette.color(QPalette::Light).rgb()) {
    SetRate(Rate);
    SetVadThr(kDefaultVadThr);
    CurDrawingRate = DrawingRate;
    SumPeak = 0;
    SumVad = SumVol = LastVol = -2;
    RateCounter = 0;
    Median = -2;
    SNRstr = "*";
    SNRstr.reserve(15);
    if (SNRlabel) SNRlabel->Caption.clear();
    nTick = 0;
    bitmap_.fill(kWhite);
    DrawRect = QRect(QPoint(Left + 1, Top + 1), QPoint(Left + 128, Top + 128));
    // The scale column: grey dots at the label rows and the red reference dot.
    for (int i = 0; i <= 5; ++i) pen_.SetPixel(kScaleColumn, int(RoundHalfEven(i * kLabelStep)), kScaleDot);
    pen_.SetPixel(kScaleColumn, 3, kNoiseMarker);
    if (DbMinSlider) {
        DbMinSlider->Left = x + kSliderOffset;
        DbMinSlider->Top = y - 6;
        DbMinSlider->Max = 48;
        DbMinSlider->Height = 140;
    }
    SetLogarithmic(AmLogSpect);
    Repaint();
}

void TSimpleChart::SetOptFeatures(bool ShowNoiseM, bool ShowV) {
    ChartStatistics::SetOptFeatures(ShowNoiseM, ShowV);
    if (!SNRlabel) return;
    SNRlabel->Visible = ShowNoiseM && ShowV;
    if (SNRlabel->Changed) SNRlabel->Changed();
}

int TSimpleChart::CalcY(int inp) const {
    const int hival = -SliderPos();
    if (AmplLogSpectrum == kModeLog) {
        if (inp == 0) inp = 1;
        const long i = RoundHalfEven(kDbPerNeper * std::log(double(inp)) - kFullScaleDb);
        if (i > hival) return 0;
        if (i < hival - kLogSpanDb) return 127;
        return 126 - int(RoundHalfEven((i - (hival - kLogSpanDb)) * kRowsPerDb));
    }
    const int shift = 8 + hival / 6; // truncating toward zero
    return 126 - (shift >= 0 ? inp >> shift : inp << -shift);
}

void TSimpleChart::Scroll() {
    pen_.CopyRect(0, 0, bitmap_, 2, 0, kWidth, kHeight);
}

void TSimpleChart::CopyToParent() {
    if (!ParentCanvas) return;
    Raster parent(*ParentCanvas);
    parent.CopyRect(DrawRect.left(), DrawRect.top(), bitmap_, 0, 0, kPlotW, kHeight);
}

bool TSimpleChart::NearTick(int row) const {
    const int t = nTick % 16;
    return row >= 126 && (t == 0 || t == 1 || t == 15);
}

void TSimpleChart::Add4(int16_t v, int16_t vad, int16_t nl, int16_t vol) {
    TickColor = kTickOld;
    Add(v, vad, nl, vol);
}

void TSimpleChart::Add5(int16_t v, int16_t vad, int16_t nl, int16_t vol) {
    TickColor = kTickNew;
    Add(v, vad, nl, vol);
}

void TSimpleChart::Add(int16_t v, int16_t vad, int16_t nl, int16_t vol) {
    if (!SumUpEveryFrame(v, vad, nl, vol)) return;
    // The spectrogram replaces the level columns; the levels still feed the statistics above.
    if (AmplLogSpectrum == kModeSpectrum) return;

    const QRgb barColor = ShowVoice && SumVad > VADthr ? kVoiced : kOrdinary;
    // Held-signal marker, drawn before the scroll so that it lands two pixels left of the new column.
    if (ShowVoice && held_sl_current > -2) {
        const int h = held_sl_current;
        if (SumPeak > h && SumVad > VADthr) {
            const std::string_view s = SNR(SumPeak, SumVad);
            if (s != "*") SNRstr.assign(s);
        }
        const int y = CalcY(h);
        if (y < 126 || nTick % 16 >= 2) {
            const QRgb keep = pen_.Color();
            pen_.SetColor(kHeldMarker);
            pen_.MoveTo(126, std::max(y, 1));
            pen_.LineTo(124, std::max(y, 1));
            pen_.SetColor(keep);
        }
    }
    if (SumPeak < 0) { // no data: a button-face column, the tick counter stays
        Scroll();
        const QRgb keepColor = pen_.Color();
        const int keepWidth = pen_.Width();
        pen_.SetColor(btnFace_);
        pen_.SetWidth(2);
        pen_.MoveTo(127, 127);
        pen_.LineTo(127, 0);
        pen_.SetColor(keepColor);
        pen_.SetWidth(keepWidth);
        CopyToParent();
        return;
    }
    int y = CalcY(SumPeak);
    Scroll();
    int m = -2;
    if (y < -1) { // far above the top: a bar to row 0, no noise marker
        y = 0;
    } else {
        if (SNRstr != "*" && SNRlabel) SNRlabel->Caption.assign(SNRstr);
        m = Median > -2 ? CalcY(Median) : -2;
    }
    pen_.SetColor(barColor);
    if (nTick % 16 == 0) {
        const int w = pen_.Width();
        pen_.SetColor(TickColor);
        pen_.SetWidth(w + 1);
        pen_.MoveTo(126, 127);
        pen_.LineTo(126, 126);
        pen_.SetColor(barColor);
        pen_.SetWidth(w);
        pen_.LineTo(126, y);
    } else {
        pen_.MoveTo(126, 127);
        pen_.LineTo(126, y);
    }
    if (ShowNoiseMedian && m > -2 && !NearTick(m)) {
        const int row = std::max(m, 1);
        if (row <= 127) {
            const int w = pen_.Width();
            pen_.SetWidth(2 * w);
            pen_.SetColor(kNoiseMarker);
            pen_.MoveTo(126, row);
            pen_.LineTo(124, row);
            pen_.SetWidth(w);
        }
    }
    if (SumVol > -2) {
        const int g = CalcY(SumVol);
        const int row = std::max(g, 1);
        if (!NearTick(g) && row <= 127) {
            const int w = pen_.Width();
            pen_.SetWidth(2 * w);
            pen_.SetColor(kGreenLine);
            pen_.MoveTo(126, row);
            pen_.LineTo(124, LastVol == -2 ? row : LastVol);
            LastVol = int16_t(row);
            pen_.SetWidth(w);
        }
    }
    pen_.SetColor(barColor);
    ++nTick;
    CopyToParent();
}

void TSimpleChart::AddIncFrameIndWTick(bool IsSpectrum, bool IsNewProt, bool IsChecksum) {
    Scroll();
    pen_.SetWidth(pen_.Width() + 1);
    if (nTick % 16 == 0) {
        pen_.SetColor(IsNewProt ? kTickNew : kTickOld);
        pen_.MoveTo(126, 127);
        pen_.LineTo(126, 126);
    }
    if (IsChecksum)
        pen_.SetColor(IsSpectrum ? kStripeChecksumSpectrum : kStripeChecksum);
    else
        pen_.SetColor(IsSpectrum ? kStripeInconsistentSpectrum : kStripeInconsistent);
    pen_.MoveTo(126, 127);
    pen_.LineTo(126, 0);
    pen_.SetWidth(pen_.Width() - 1);
    ++nTick;
    CopyToParent();
}

void TSimpleChart::AddSpectrumLog(const float* pSpectrumArr, int Bands, float NormlMax, float LowNrgDB,
                                  float EnScale) {
    const int SumUp = std::max(1, Bands / 128);
    const float NormlQ = 128.0f / NormlMax;
    pen_.SetWidth(2);
    Scroll();
    // Every one of the 128 rows shows its band: 0 Hz at the bottom, half the sampling rate at the top.
    const float range = -LowNrgDB;
    for (int i = 0; i < 128; ++i) {
        float Ampl = 0;
        for (int j = 0; j < SumUp; ++j) {
            const int bin = i * SumUp + j;
            if (bin < Bands) Ampl += pSpectrumArr[bin];
        }
        Ampl *= NormlQ;
        if (Ampl < 0.000001f) Ampl = 0.000001f;
        const float level = float(kDbPerNeper) * std::log(Ampl) - float(kSpectrumReferenceDb);
        const float a = level - LowNrgDB + EnScale;
        const float index = a > range ? 255.0f : a < 0 ? 0.0f : a / range * 255.0f;
        const QRgb c = PaletteLog[size_t(std::clamp<long>(RoundHalfEven(index), 0, 255))];
        pen_.SetPixel(125, 127 - i, c);
        pen_.SetPixel(126, 127 - i, c);
    }
    pen_.MoveTo(126, 127);
    if (nTick % 16 == 0) {
        pen_.SetColor(kTickSpectrum);
        pen_.LineTo(126, 126);
    }
    ++nTick;
    CopyToParent();
}

void TSimpleChart::SetLogarithmic(int als) {
    AmplLogSpectrum = int16_t(als);
    if (DbMinSlider) {
        DbMinSlider->Visible = als != kModeSpectrum;
        if (als == kModeAmplitude) DbMinSlider->Position = DbMinSlider->Position / 6 * 6;
        if (DbMinSlider->Changed) DbMinSlider->Changed();
    }
    if (als != kModeSpectrum) pen_.SetWidth(1);
    pen_.FillRect(0, 0, kPlotW, kHeight, kWhite);
    // The red reference line marks about -1 dB below full scale, only while no dB offset applies.
    if (DbMinSlider && DbMinSlider->Visible && DbMinSlider->Position == 0) {
        pen_.SetPixel(kScaleColumn, 10, als == kModeLog ? kWhite : kNoiseMarker);
        pen_.SetPixel(kScaleColumn, 3, als == kModeLog ? kNoiseMarker : kWhite);
    } else {
        pen_.SetPixel(kScaleColumn, 10, kWhite);
        pen_.SetPixel(kScaleColumn, 3, kWhite);
    }
    Repaint();
}

void TSimpleChart::DbSliderChange() {
    if (DbMinSlider && (AmplLogSpectrum == kModeAmplitude || AmplLogSpectrum == kModeMips))
        DbMinSlider->Position = int(RoundHalfEven(DbMinSlider->Position / 6.0)) * 6;
    SetLogarithmic(AmplLogSpectrum);
    Repaint();
}

int TSimpleChart::LabelBoxWidth(const QFontMetrics& fm) {
    // The frequency labels follow the sampling rate: the widest one drawn so far stays covered.
    for (int i = 0; i <= 5; ++i)
        widestSpectrumLabel_ =
            std::max(widestSpectrumLabel_,
                     fm.horizontalAdvance(QString::fromStdString(FrequencyLabel(SpectrumMaxFreq, i))));
    return std::max(WidestAxisLabel(fm), widestSpectrumLabel_);
}

QString TSimpleChart::AxisLabel(int i) const {
    const int sl = SliderPos();
    auto cut = [](std::string s) { return QString::fromStdString(s.size() > 8 ? s.substr(0, 8) : s); };
    // The top label by mode, the others as the ticks below it.
    if (i == 5) {
        switch (AmplLogSpectrum) {
        case kModeMips:
            return QStringLiteral("1.0");
        case kModeAmplitude:
            return cut(YvalAmpl(6, sl));
        case kModeLog:
            return cut(YvalLog(6, sl));
        default:
            return cut(FrequencyLabel(SpectrumMaxFreq, 5));
        }
    }
    switch (AmplLogSpectrum) {
    case kModeAmplitude:
    case kModeMips:
        return cut(YvalAmpl(i + 1, sl));
    case kModeLog:
        return cut(YvalLog(i + 1, sl));
    default:
        return cut(FrequencyLabel(SpectrumMaxFreq, i));
    }
}

void TSimpleChart::DrawAxisLabels(QPainter& p, int x, int top, double rowScale, int boxWidth) const {
    p.setFont(LabelFont());
    const QFontMetrics fm(p.font());
    p.setPen(QColor(Qt::black));
    for (int i = 5; i >= 0; --i) {
        const int y = top + int(std::lround(LabelRow(i) * rowScale));
        // Opaque on the button face as wide as any label drawn there, so that a shorter label
        // covers a longer one of another mode or slider position.
        const QRect box(x, y - 6, boxWidth, fm.height());
        p.fillRect(box, QColor::fromRgb(btnFace_));
        p.drawText(box, Qt::AlignLeft | Qt::AlignTop, AxisLabel(i));
    }
}

void TSimpleChart::Repaint() {
    CopyToParent();
    if (!ParentCanvas) return;
    const int right = DrawRect.left() + 128; // the plot's right edge, excluded
    {
        QPainter p(ParentCanvas);
        p.setFont(LabelFont());
        DrawAxisLabels(p, right + 8, DrawRect.top(), 1.0, LabelBoxWidth(QFontMetrics(p.font())));
    }
    Raster canvas(*ParentCanvas);
    canvas.SetColor(btnShadow_);
    for (int i = 5; i >= 0; --i) {
        const int y = DrawRect.top() + LabelRow(i);
        canvas.MoveTo(right + 2, y);
        canvas.LineTo(right + 6, y);
        if (i > 0) {
            canvas.MoveTo(right + 2, y + 13);
            canvas.LineTo(right + 4, y + 13);
        }
    }
    canvas.MoveTo(Left, Top + 129);
    canvas.LineTo(Left, Top);
    canvas.LineTo(Left + 129, Top);
    canvas.SetColor(btnHighlight_);
    canvas.LineTo(Left + 129, Top + 129);
    canvas.LineTo(Left + 1, Top + 129);
}

} // namespace vintrel
