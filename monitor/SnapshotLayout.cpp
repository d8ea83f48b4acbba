#include "monitor/SnapshotLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vintrel {

namespace {
constexpr int kBevel = 1;
// Two rows of three cells; a cell is its plot with the bevel and the labels right of it.
int CellWidth(int plot, int labelRoom) {
    return plot + 2 * kBevel + labelRoom;
}
int RowHeight(int plot) {
    return SnapshotLayout::kAbove + plot + 2 * kBevel + SnapshotLayout::kBelow;
}
} // namespace

LayoutRect SmallestSnapshot(int labelRoom) {
    const int m = SnapshotLayout::kMinPlot;
    return {0, 0, SnapshotLayout::kLeft + 3 * CellWidth(m, labelRoom) + SnapshotLayout::kRight,
            SnapshotLayout::kTitle + 2 * RowHeight(m) + SnapshotLayout::kTimeAxis};
}

SnapshotLayout LayOutSnapshot(int width, int height, int labelRoom) {
    SnapshotLayout l;
    l.Width = width;
    l.Height = height;
    const int cell = (width - SnapshotLayout::kLeft - SnapshotLayout::kRight) / 3;
    const int row = (height - SnapshotLayout::kTitle - SnapshotLayout::kTimeAxis) / 2;
    const int plotW = std::max(1, cell - labelRoom - 2 * kBevel);
    const int plotH = std::max(1, row - RowHeight(0));
    for (int k = 1; k <= 6; ++k) {
        const int col = (k - 1) % 3, r = (k - 1) / 3;
        l.Plot[size_t(k)] = {SnapshotLayout::kLeft + col * cell + kBevel,
                             SnapshotLayout::kTitle + r * row + SnapshotLayout::kAbove + kBevel, plotW,
                             plotH};
    }
    l.AxisTop = l.Plot[4].Y + plotH + kBevel;
    return l;
}

std::optional<std::pair<int, int>> ParseSnapshotSize(const std::string& text) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos || x == 0 || x + 1 == text.size() || x > 5 || text.size() - x - 1 > 5)
        return std::nullopt;
    const auto digits = [](const std::string& s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    const std::string w = text.substr(0, x), h = text.substr(x + 1);
    if (!digits(w) || !digits(h)) return std::nullopt;
    return std::make_pair(std::stoi(w), std::stoi(h));
}

std::string SnapshotSizeError(int width, int height, int labelRoom) {
    const LayoutRect least = SmallestSnapshot(labelRoom);
    if (width >= least.W && height >= least.H && width <= SnapshotLayout::kMaxSide &&
        height <= SnapshotLayout::kMaxSide)
        return {};
    return "--size " + std::to_string(width) + "x" + std::to_string(height) + " is out of range: from " +
           std::to_string(least.W) + "x" + std::to_string(least.H) + " (the smallest legible charts) to " +
           std::to_string(SnapshotLayout::kMaxSide) + "x" + std::to_string(SnapshotLayout::kMaxSide);
}

TimeTicks ChooseTimeTicks(double from, double to, int pixels, int minSpacing) {
    TimeTicks t;
    if (!(to > from) || pixels <= 0 || minSpacing <= 0) return t;
    const double least = (to - from) * minSpacing / pixels; // the smallest step that keeps the spacing
    double power = std::pow(10.0, std::floor(std::log10(least)));
    for (;; power *= 10) {
        const double steps[] = {power, 2 * power, 5 * power};
        const auto fit = std::find_if(std::begin(steps), std::end(steps),
                                      [&](double s) { return s >= least * (1 - 1e-9); });
        if (fit != std::end(steps)) {
            t.Step = *fit;
            break;
        }
    }
    for (double n = std::ceil(std::max(0.0, from) / t.Step - 1e-9); n * t.Step <= to * (1 + 1e-12); n += 1)
        t.Seconds.push_back(n * t.Step + 0.0); // never -0
    return t;
}

std::string TimeTickLabel(double seconds, double step) {
    const int decimals = step >= 1 ? 0 : int(std::ceil(-std::log10(step) - 1e-9));
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, seconds);
    return text;
}

} // namespace vintrel
