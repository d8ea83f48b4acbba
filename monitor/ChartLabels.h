#pragma once
// Axis label texts of the level charts and where the charts sit on the main window.
#include <array>
#include <string>

namespace vintrel {

// dB label of tick h (0..6) with the dB slider at sl: 6h - 36 - sl, padded to a fixed width.
std::string YvalLog(int h, int sl);
// Amplitude label of tick h: the full-scale text by slider position for h = 6, "0.8" .. "0.0" below.
std::string YvalAmpl(int h, int sl);

struct ChartPoint {
    int X;
    int Y;
};
// Top-left corners of the five channel charts ([1..5]) and the MIPS chart ([6]) on the main window.
constexpr std::array<ChartPoint, 7> Chart_XY = {
    {{0, 0}, {16, 48}, {200, 48}, {384, 48}, {16, 240}, {200, 240}, {384, 240}}};

} // namespace vintrel
