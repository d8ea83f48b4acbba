#pragma once
// A pen on an RGB32 image that draws the way the charts need it, pixel-exact and without
// anti-aliasing: move-to/line-to with the end point excluded, pens wider than one pixel spread
// across the line (offsets -(w/2) .. (w-1)/2, so a width-2 line at row y covers rows y-1 and y),
// single pixels, rectangle fills and copies. Everything is clipped to the image.
#include <QImage>
#include <QRect>

namespace vintrel {

class Raster {
public:
    explicit Raster(QImage& image) : image_(image) {}

    void SetColor(QRgb c) { color_ = c; }
    QRgb Color() const { return color_; }
    void SetWidth(int w) { width_ = w < 1 ? 1 : w; }
    int Width() const { return width_; }

    void MoveTo(int x, int y) {
        x_ = x;
        y_ = y;
    }
    // Draws from the current position up to, not including, (x, y), which becomes the current position.
    void LineTo(int x, int y);
    void SetPixel(int x, int y, QRgb c) {
        if (x >= 0 && y >= 0 && x < image_.width() && y < image_.height())
            reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = c;
    }
    QRgb Pixel(int x, int y) const { return reinterpret_cast<const QRgb*>(image_.constScanLine(y))[x]; }
    // Fills columns left .. right-1 of rows top .. bottom-1.
    void FillRect(int left, int top, int right, int bottom, QRgb c);
    // Copies the rectangle left..right-1, top..bottom-1 of `from` to (dx, dy) of this image; `from` may be
    // this image, the areas overlapping. Both images are 32 bits a pixel.
    void CopyRect(int dx, int dy, const QImage& from, int left, int top, int right, int bottom);

private:
    void Span(int x, int y, bool acrossX);

    QImage& image_;
    QRgb color_ = 0xFF000000;
    int width_ = 1;
    int x_ = 0, y_ = 0;
};

} // namespace vintrel
