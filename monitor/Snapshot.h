#pragma once
// A picture of a raw record as the main window would show it at its end: the stream is replayed
// through the receiver with the spectrum inputs attached, its frame batches and frame reports are
// handled as the window handles them, and the six charts are drawn with their axis labels, the
// channel captions, the SNR labels and the MIPS caption.
//
// Threads: the caller's (a QGuiApplication must exist for the text).
#include "stream/Replay.h"

#include <QImage>
#include <functional>
#include <string>

namespace vintrel {

struct SnapshotOptions {
    ReplayOptions Replay;
    bool Spectrum = false;   // "Show spectrum"
    int FftLength = 256;     // "FFT length"
    int RatePosition = 4;    // the rate slider, 1..7
    bool Linear = false;     // "Log scale" unchecked
    bool Vad = false;        // "VAD" rather than "ND"
    bool NoiseLevel = false; // "Plot noise level"
    int DbOffset = 0;        // the channel charts' dB sliders, 0..48
    double Seconds = 0;      // the first seconds of the stream; 0 = all of it
    std::string Title;       // shown above the charts
    // The picture's size; 0 x 0 is the window's own 570 x 440 layout. Any other size lays the
    // charts out as the resized window does and adds a time axis (SnapshotLayout).
    int Width = 0, Height = 0;
};

struct SnapshotResult {
    QImage Image;
    ReplayTotals Totals;
    uint64_t FramesDrawn = 0;
    uint64_t SpectrumColumns = 0;
};

// The room right of each plot for its level labels (a QGuiApplication must exist).
int SnapshotLabelRoom();

SnapshotResult DrawSnapshot(Transport& transport, std::function<bool()> exhausted, const SnapshotOptions& o);

} // namespace vintrel
