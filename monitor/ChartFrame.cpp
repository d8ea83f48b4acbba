#include "monitor/ChartFrame.h"

#include "monitor/SimpleChart.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>

namespace vintrel {

int ChartLabelRoom() {
    const QFontMetrics fm(TSimpleChart::LabelFont());
    return kChartLabelGap +
           std::max(TSimpleChart::WidestAxisLabel(fm), fm.horizontalAdvance(QStringLiteral("12000")));
}

void DrawChartFrame(QPainter& p, const TSimpleChart& chart, const QRect& plot, int labelWidth) {
    const int left = plot.left() - 1, top = plot.top() - 1, right = plot.right() + 1,
              bottom = plot.bottom() + 1;
    p.setPen(QColor::fromRgb(chart.ShadowColor()));
    p.drawLine(left, bottom, left, top);
    p.drawLine(left, top, right, top);
    const double rowScale = plot.height() / double(TSimpleChart::kHeight);
    for (int i = 5; i >= 0; --i) {
        const int y = plot.top() + int(std::lround(TSimpleChart::LabelRow(i) * rowScale));
        p.drawLine(right + 2, y, right + kChartTickEnd - 1, y);
        // The minor tick half way down to the next label.
        if (i > 0) {
            const int half = plot.top() + int(std::lround((TSimpleChart::LabelRow(i) + 13) * rowScale));
            p.drawLine(right + 2, half, right + 3, half);
        }
    }
    p.setPen(QColor::fromRgb(chart.HighlightColor()));
    p.drawLine(right, top, right, bottom);
    p.drawLine(right, bottom, left + 1, bottom);
    chart.DrawAxisLabels(p, right + kChartLabelGap, plot.top(), rowScale, labelWidth - kChartLabelGap);
}

} // namespace vintrel
