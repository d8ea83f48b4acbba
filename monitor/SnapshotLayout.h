#pragma once
// Where a picture of the six charts puts them at a size of its own: the charts share the room as
// the main window's grid shares it when the window is resized (two rows of three, the plots
// stretched, the captions, the level labels and the selectors at their own size), and right under
// the bottom row's plots a time axis. Also the limits of the size and the ticks of the time axis.
#include <array>
#include <optional>
#include <string>
#include <vector>

namespace vintrel {

struct LayoutRect {
    int X = 0, Y = 0, W = 0, H = 0;
};

struct SnapshotLayout {
    // The fixed rooms: the title, the selector above a plot, the tag and SNR labels below it, the
    // time axis under the bottom row, and the margins.
    static constexpr int kTitle = 22, kAbove = 26, kBelow = 44, kTimeAxis = 30, kLeft = 16, kRight = 8;
    // The smallest plot that stays legible (half of its own 128 x 128, as the window allows) and
    // the largest side of a picture.
    static constexpr int kMinPlot = 64, kMaxSide = 8192;

    int Width = 0, Height = 0;
    std::array<LayoutRect, 7> Plot{}; // [1..6]: inside the bevel, where the 128 x 128 image goes
    int AxisTop = 0; // under the bottom row's plots: the time axis (kTimeAxis high), then their labels
};

// The smallest picture whose plots keep kMinPlot when labelRoom pixels are right of each plot.
LayoutRect SmallestSnapshot(int labelRoom);
// The charts laid out on width x height with labelRoom right of each plot.
SnapshotLayout LayOutSnapshot(int width, int height, int labelRoom);
// "WxH" (decimal, 'x' or 'X'); nullopt when malformed.
std::optional<std::pair<int, int>> ParseSnapshotSize(const std::string& text);
// Why width x height cannot be drawn (naming the limits), or empty.
std::string SnapshotSizeError(int width, int height, int labelRoom);

// Ticks of a time axis from `from` to `to` seconds over `pixels`, at least minSpacing pixels
// apart: multiples of 1, 2 or 5 times a power of ten, none below 0.
struct TimeTicks {
    double Step = 0;
    std::vector<double> Seconds;
};
TimeTicks ChooseTimeTicks(double from, double to, int pixels, int minSpacing);
// A tick's label: as many decimals as the step needs.
std::string TimeTickLabel(double seconds, double step);

} // namespace vintrel
