#include "app/ChartView.h"

#include "app/MainForm.h"
#include "monitor/ChartFrame.h"
#include "monitor/SimpleChart.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace vintrel {

namespace {
// The bevel around the image; above and below it the room for half a label.
constexpr int kBevel = 1, kHalfLabel = 6;
} // namespace

ChartView::ChartView(TMainForm& form, const TSimpleChart& chart, int k, QWidget* parent)
    : QWidget(parent), form_(form), chart_(chart), k_(k) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

int ChartView::AxisWidth() const {
    return ChartLabelRoom();
}

QRect ChartView::PlotRect() const {
    return QRect(kBevel, kHalfLabel + kBevel, std::max(1, width() - AxisWidth() - 2 * kBevel),
                 std::max(1, height() - 2 * (kHalfLabel + kBevel)));
}

QSize ChartView::sizeHint() const {
    return QSize(TSimpleChart::kHeight + 2 * kBevel + AxisWidth(),
                 TSimpleChart::kHeight + 2 * (kHalfLabel + kBevel));
}

QSize ChartView::minimumSizeHint() const {
    return QSize(TSimpleChart::kHeight / 2 + 2 * kBevel + AxisWidth(),
                 TSimpleChart::kHeight / 2 + 2 * (kHalfLabel + kBevel));
}

void ChartView::DrawAxis(const QStringList& labels) {
    const qreal ratio = devicePixelRatioF();
    axis_ = QPixmap(size() * ratio);
    axis_.setDevicePixelRatio(ratio);
    axisLabels_ = labels;
    QPainter p(&axis_);
    p.fillRect(rect(), palette().color(QPalette::Button));
    const QRect plot = PlotRect();
    DrawChartFrame(p, chart_, plot, width() - plot.right() - 1);
}

void ChartView::paintEvent(QPaintEvent*) {
    QStringList labels;
    for (int i = 5; i >= 0; --i) labels << chart_.AxisLabel(i);
    if (axis_.deviceIndependentSize().toSize() != size() || axis_.devicePixelRatio() != devicePixelRatioF() ||
        labels != axisLabels_)
        DrawAxis(labels);
    QPainter p(this);
    p.drawPixmap(0, 0, axis_);
    // The plot's 128 columns, each pixel of the image a block of the scaled size.
    p.drawImage(PlotRect(), chart_.BitMap(), QRect(0, 0, TSimpleChart::kHeight, TSimpleChart::kHeight));
}

void ChartView::mouseMoveEvent(QMouseEvent* e) {
    form_.ShowChartText(k_, true, e->globalPosition().toPoint());
}

void ChartView::contextMenuEvent(QContextMenuEvent* e) {
    if (k_ <= 5) form_.ShowChartText(k_, false, e->globalPos());
}

void ChartGrid::UpdateCharts() {
    for (ChartView* v : views_)
        if (v) v->update();
}

void ChartGrid::paintEvent(QPaintEvent*) {
    const TNarrowBevel& b = form_.ActiveChannelBevel;
    if (!b.Visible || b.Chart < 1 || b.Chart > 6 || !cells_[size_t(b.Chart)]) return;
    // A red frame round the chart's cell, and a narrow bevel inside it.
    const QRect cell = cells_[size_t(b.Chart)]->geometry();
    QPainter p(this);
    p.setPen(QPen(QColor(255, 0, 0), 3));
    p.drawRect(cell.adjusted(1, 1, -2, -2));
    const QRect inner = cell.adjusted(3, 3, -4, -4);
    p.setPen(QPen(palette().color(QPalette::Light), 1));
    p.drawPolyline(QPolygon({inner.bottomLeft(), inner.topLeft(), inner.topRight()}));
    p.setPen(QPen(palette().color(QPalette::Dark), 1));
    p.drawPolyline(QPolygon({inner.topRight(), inner.bottomRight(), inner.bottomLeft()}));
}

} // namespace vintrel
