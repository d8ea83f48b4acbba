#pragma once
// What the window draws round a chart's picture at any size: the bevel, the level ticks right of
// the plot and their labels. Shared by the resizable chart view and the sized snapshot.
#include <QPainter>
#include <QRect>

namespace vintrel {

class TSimpleChart;

// Right of the bevel: the ticks end 6 pixels out, the labels start 8 pixels out.
constexpr int kChartTickEnd = 6, kChartLabelGap = 8;

// The room right of a plot for the ticks and the widest label (the levels or 24 kHz's "12000").
int ChartLabelRoom();
// `labelWidth`: the room right of the plot for the labels, the gap included.
void DrawChartFrame(QPainter& p, const TSimpleChart& chart, const QRect& plot, int labelWidth);

} // namespace vintrel
