#include "monitor/ScaledSnapshot.h"

#include "monitor/ChartFrame.h"
#include "monitor/ChartPanel.h"
#include "monitor/SimpleChart.h"
#include "monitor/SnapshotLayout.h"
#include "stream/Tags.h"

#include <QFont>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace vintrel {

namespace {

// Right of the bevel the level ticks end 6 pixels out and the labels start 8 pixels out; the time
// ticks go 5 pixels down, their labels below them at least kTickSpacing pixels apart.
constexpr int kTimeTick = 5, kTickSpacing = 48;

const char* const kPlayCaptions[] = {"", "TX1in (mic1)", "TX2in (mic2)", "TXout", "RXin", "RXout"};

QFont CaptionFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

QRect ToQRect(const LayoutRect& r) {
    return QRect(r.X, r.Y, r.W, r.H);
}

// The stretched picture in the window's frame of a chart.
void DrawChart(QPainter& p, const TSimpleChart& chart, const QRect& plot, int labelRoom) {
    p.drawImage(plot, chart.BitMap(), QRect(0, 0, TSimpleChart::kHeight, TSimpleChart::kHeight));
    DrawChartFrame(p, chart, plot, labelRoom);
}

// The selector caption above the plot, the tag and SNR labels (or the MIPS caption) skip pixels
// below it.
void DrawCaptions(QPainter& p, const ScaledSnapshotInput& in, int k, const QRect& plot, int cellWidth,
                  int skip) {
    const QPalette& palette = in.Palette;
    p.setFont(CaptionFont());
    const int x = plot.left() - 1, below = plot.bottom() + 2 + skip;
    const QRect button(x, plot.top() - 1 - 26, 88, 20);
    p.fillRect(button, palette.color(QPalette::Button));
    p.setPen(palette.color(QPalette::Dark));
    p.drawRect(button.adjusted(0, 0, -1, -1));
    p.setPen(QColor(Qt::black));
    p.drawText(button, Qt::AlignCenter,
               k == CHART_MIPS ? QStringLiteral("MIPS") : QString::fromLatin1(kPlayCaptions[k]));
    const QRect tag(x, below + 4, std::min(130, cellWidth - 4), 18);
    if (k == CHART_MIPS) {
        p.drawText(tag.adjusted(0, 0, 50, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromStdString(in.Panel.MIPSLabel));
        return;
    }
    p.fillRect(tag, QColor(Qt::white));
    p.setPen(palette.color(QPalette::Dark));
    p.drawRect(tag.adjusted(0, 0, -1, -1));
    p.setPen(QColor(Qt::black));
    const uint16_t id = uint16_t(in.Tags.ChartTag[size_t(k)].load());
    p.drawText(tag.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromStdString(GetParNameFromTag(id, kMaxTagForLists)));
    const ChartLabel& snr = in.Panel.SnrLabels[size_t(k)];
    if (snr.Visible)
        p.drawText(QRect(x, below + 24, tag.width(), 16), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromStdString(snr.Caption));
}

// Seconds under a plot whose 128 columns each hold columnSeconds, the newest at the right edge.
void DrawTimeAxis(QPainter& p, const QRect& plot, int top, double endSeconds, double columnSeconds,
                  QRgb colour) {
    if (columnSeconds <= 0) return;
    const double span = TSimpleChart::kHeight * columnSeconds, from = endSeconds - span;
    // Narrow plots: closer ticks, so that there are two at the least.
    const TimeTicks ticks =
        ChooseTimeTicks(from, endSeconds, plot.width(), std::min(kTickSpacing, plot.width() / 3));
    p.setFont(TSimpleChart::LabelFont());
    const QFontMetrics fm(p.font());
    p.setPen(QColor::fromRgb(colour));
    p.drawLine(plot.left(), top, plot.right(), top);
    for (const double t : ticks.Seconds) {
        const int x = plot.left() + int(std::lround((t - from) / span * (plot.width() - 1)));
        p.setPen(QColor::fromRgb(colour));
        p.drawLine(x, top, x, top + kTimeTick);
        const QString text = QString::fromStdString(TimeTickLabel(t, ticks.Step));
        const int w = fm.horizontalAdvance(text);
        p.setPen(QColor(Qt::black));
        p.drawText(QRect(x - w / 2 - 1, top + kTimeTick + 1, w + 2, fm.height()), Qt::AlignCenter, text);
    }
    p.setPen(QColor(Qt::black));
    p.drawText(QRect(plot.right() + kChartLabelGap, top + kTimeTick + 1, 20, fm.height()), Qt::AlignLeft,
               "s");
}

} // namespace

int ScaledLabelRoom() {
    return ChartLabelRoom();
}

QImage DrawScaledSnapshot(const ScaledSnapshotInput& in, int width, int height) {
    const int labelRoom = ScaledLabelRoom();
    const SnapshotLayout layout = LayOutSnapshot(width, height, labelRoom);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(in.Palette.color(QPalette::Button));
    QPainter p(&image);
    p.setFont(CaptionFont());
    p.setPen(QColor(Qt::black));
    p.drawText(QRect(SnapshotLayout::kLeft, 2, width - 2 * SnapshotLayout::kLeft, 14),
               Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(in.Title));
    const int cellWidth = layout.Plot[2].X - layout.Plot[1].X;
    for (int k = 1; k <= ChartPanel::kCharts; ++k) {
        const QRect plot = ToQRect(layout.Plot[size_t(k)]);
        DrawChart(p, in.Panel.Chart(k), plot, labelRoom);
        // The bottom row's labels go under the time axis.
        DrawCaptions(p, in, k, plot, cellWidth, k >= 4 ? SnapshotLayout::kTimeAxis : 0);
    }
    // The spectrum columns follow the FFT, not the rate: then only the MIPS chart gets the axis.
    for (int k = 4; k <= ChartPanel::kCharts; ++k)
        if (!in.Spectrum || k == CHART_MIPS)
            DrawTimeAxis(p, ToQRect(layout.Plot[size_t(k)]), layout.AxisTop + 2, in.EndSeconds,
                         in.ColumnSeconds, in.Panel.Chart(k).ShadowColor());
    return image;
}

} // namespace vintrel
