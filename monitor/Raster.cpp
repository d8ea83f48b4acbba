#include "monitor/Raster.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vintrel {

void Raster::Span(int x, int y, bool acrossX) {
    const int lo = -(width_ / 2), hi = (width_ - 1) / 2;
    for (int o = lo; o <= hi; ++o) SetPixel(acrossX ? x + o : x, acrossX ? y : y + o, color_);
}

void Raster::LineTo(int x, int y) {
    const int x0 = x_, y0 = y_;
    x_ = x;
    y_ = y;
    const int dx = std::abs(x - x0), dy = std::abs(y - y0);
    if (dx == 0 && dy == 0) return;
    const bool acrossX = dy > dx;                                   // a steep line is widened sideways
    if (dx == 0 && width_ == 1 && x0 >= 0 && x0 < image_.width()) { // the bars: a fast vertical path
        const int step = y > y0 ? 1 : -1;
        for (int yy = y0; yy != y; yy += step)
            if (yy >= 0 && yy < image_.height()) reinterpret_cast<QRgb*>(image_.scanLine(yy))[x0] = color_;
        return;
    }
    const int sx = x > x0 ? 1 : -1, sy = y > y0 ? 1 : -1;
    int err = dx - dy, cx = x0, cy = y0;
    while (cx != x || cy != y) {
        Span(cx, cy, acrossX);
        const int e2 = 2 * err;
        if (e2 > -dy) {
            err -= dy;
            cx += sx;
        }
        if (e2 < dx) {
            err += dx;
            cy += sy;
        }
    }
}

void Raster::FillRect(int left, int top, int right, int bottom, QRgb c) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, image_.width());
    bottom = std::min(bottom, image_.height());
    for (int y = top; y < bottom; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
        std::fill(line + left, line + std::max(left, right), c);
    }
}

void Raster::CopyRect(int dx, int dy, const QImage& from, int left, int top, int right, int bottom) {
    // Clip the source to both images.
    if (dx < 0) left -= dx, dx = 0;
    if (dy < 0) top -= dy, dy = 0;
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min({right, from.width(), left + image_.width() - dx});
    bottom = std::min({bottom, from.height(), top + image_.height() - dy});
    if (right <= left || bottom <= top) return;
    const size_t bytes = size_t(right - left) * sizeof(QRgb);
    // Within one image moving down, copy the rows bottom first so none is overwritten before it is read.
    const bool upward = &from == &image_ && dy > top;
    for (int i = 0; i < bottom - top; ++i) {
        const int y = upward ? bottom - 1 - i : top + i;
        const QRgb* src = reinterpret_cast<const QRgb*>(from.constScanLine(y)) + left;
        QRgb* dst = reinterpret_cast<QRgb*>(image_.scanLine(dy + y - top)) + dx;
        std::memmove(dst, src, bytes);
    }
}

} // namespace vintrel
