#pragma once
// Top-level windows go where the main window puts them, but never off the screen it is on.
#include <QPoint>
#include <QRect>

class QWidget;

namespace vintrel {

// The top-left corner that brings `frame` inside `area`: a frame sticking out on the right or at
// the bottom moves left or up by the excess; one then still left of or above the area moves right
// or down, so a frame larger than the area keeps its top-left corner on it.
QPoint ClampToArea(const QRect& frame, const QRect& area);

// Moves `window`'s frame to `topLeft`, clamped to the available area of the screen that shows
// `anchor`. A window not on screen yet is taken at the size its next show gives it, with the
// anchor's frame around it.
void PlaceOnScreen(QWidget& window, QPoint topLeft, const QWidget& anchor);

// The frame's top-left corner that centres `window` on `anchor`.
QPoint CentredOn(const QWidget& window, const QWidget& anchor);

} // namespace vintrel
