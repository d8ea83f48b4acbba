#pragma once
// The charts on the main window. Each chart model keeps its 130 x 128 image; a ChartView draws
// that image scaled to the room the layout gives it, and the bevel, the ticks and the axis labels
// at their real size. The ChartGrid holds the six charts with their controls in two rows and draws
// the frame around the chart being listened to.
#include <QPixmap>
#include <QStringList>
#include <QWidget>

#include <array>

namespace vintrel {

class TMainForm;
class TSimpleChart;

class ChartView : public QWidget {
public:
    // Chart k (1..5 the channels, 6 the MIPS load) of the form's panel.
    ChartView(TMainForm& form, const TSimpleChart& chart, int k, QWidget* parent);

    // Where the chart's image is drawn, inside the bevel.
    QRect PlotRect() const;
    // The image at its own size, and half of it at the least.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    // The ticks and the labels right of the plot.
    int AxisWidth() const;
    // Everything but the picture: the background, the bevel, the ticks and the labels, drawn again
    // only when the size or a label changes.
    void DrawAxis(const QStringList& labels);

    TMainForm& form_;
    const TSimpleChart& chart_;
    int k_;
    QPixmap axis_;
    QStringList axisLabels_;
};

class ChartGrid : public QWidget {
public:
    explicit ChartGrid(TMainForm& form, QWidget* parent) : QWidget(parent), form_(form) {}
    // Chart k's widget (its selector, Play button, chart, dB slider and label) as the layout
    // places it, and its chart.
    void SetCell(int k, QWidget* cell, ChartView* view) {
        cells_[size_t(k)] = cell;
        views_[size_t(k)] = view;
    }
    // The charts' pictures changed: only they are painted again.
    void UpdateCharts();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    TMainForm& form_;
    std::array<QWidget*, 7> cells_{}; // [1..6]
    std::array<ChartView*, 7> views_{};
};

} // namespace vintrel
