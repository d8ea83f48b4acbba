#pragma once
// The charts' surface on the main window.
#include "app/MainForm.h"

#include <QPainter>
#include <QWidget>

namespace vintrel {

// Paints the charts' surface and the listened-channel frame; names the chart under the pointer.
class ChartCanvas : public QWidget {
public:
    ChartCanvas(TMainForm& form, const QImage& image, QWidget* parent)
        : QWidget(parent), form_(form), image_(image) {
        setMouseTracking(true);
        setFixedSize(image.size());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawImage(0, 0, image_);
        const TNarrowBevel& b = form_.ActiveChannelBevel;
        if (!b.Visible) return;
        const int x = b.cLeft, y = b.cTop;
        p.setPen(QPen(QColor(255, 0, 0), 3));
        p.drawRect(QRect(QPoint(x - 3, y - 3), QPoint(x + 179, y + 188)));
        p.setPen(QPen(palette().color(QPalette::Light), 1));
        p.drawPolyline(QPolygon({QPoint(x - 1, y + 186), QPoint(x - 1, y - 1), QPoint(x + 177, y - 1)}));
        p.drawPolyline(QPolygon({QPoint(x + 175, y + 1), QPoint(x + 175, y + 184), QPoint(x + 1, y + 184)}));
        p.setPen(QPen(palette().color(QPalette::Dark), 1));
        p.drawPolyline(QPolygon({QPoint(x + 1, y + 183), QPoint(x + 1, y + 1), QPoint(x + 175, y + 1)}));
        p.drawPolyline(QPolygon({QPoint(x + 177, y + 1), QPoint(x + 177, y + 186), QPoint(x + 1, y + 186)}));
    }
    void mouseMoveEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    TMainForm& form_;
    const QImage& image_;
};

} // namespace vintrel
