#include "app/WindowPlacement.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace vintrel {

QPoint ClampToArea(const QRect& frame, const QRect& area) {
    const int x = std::max(std::min(frame.x(), area.x() + area.width() - frame.width()), area.x());
    const int y = std::max(std::min(frame.y(), area.y() + area.height() - frame.height()), area.y());
    return {x, y};
}

// The frame's size; before a show it is the size show() will give the window (its own size once
// set, else its size hint) with a frame as wide as the anchor's.
static QSize FrameSize(const QWidget& window, const QWidget& anchor) {
    if (window.isVisible()) return window.frameGeometry().size();
    QSize client = window.size();
    if (!window.testAttribute(Qt::WA_Resized) && window.sizeHint().isValid())
        client = window.sizeHint().expandedTo(window.minimumSize()).boundedTo(window.maximumSize());
    return client + (anchor.frameGeometry().size() - anchor.size());
}

void PlaceOnScreen(QWidget& window, QPoint topLeft, const QWidget& anchor) {
    const QScreen* screen = anchor.screen();
    if (screen) topLeft = ClampToArea(QRect(topLeft, FrameSize(window, anchor)), screen->availableGeometry());
    window.move(topLeft);
}

QPoint CentredOn(const QWidget& window, const QWidget& anchor) {
    return anchor.geometry().center() - window.rect().center();
}

} // namespace vintrel
