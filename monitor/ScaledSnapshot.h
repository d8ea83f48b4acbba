#pragma once
// The six charts of a snapshot redrawn at a size of their own, as the resized main window shows
// them: each chart's image stretched over its plot, the bevel, the level ticks and labels, the
// selector caption, the tag and SNR labels at their own size, and a time axis in seconds under
// the bottom row.
//
// Threads: the caller's (a QGuiApplication must exist for the text).
#include <QImage>
#include <QPalette>
#include <string>

namespace vintrel {

class ChartPanel;
class TagModel;

struct ScaledSnapshotInput {
    const ChartPanel& Panel;
    const TagModel& Tags;
    const std::string& Title;
    const QPalette& Palette;
    double EndSeconds = 0;    // the time of the newest column, at the plots' right edge
    double ColumnSeconds = 0; // the time of one column of the level charts
    bool Spectrum = false;    // the channel charts show spectrum columns (their own time base)
};

// The room right of each plot for the level labels.
int ScaledLabelRoom();
QImage DrawScaledSnapshot(const ScaledSnapshotInput& in, int width, int height);

} // namespace vintrel
