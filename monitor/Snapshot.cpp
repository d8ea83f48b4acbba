#include "monitor/Snapshot.h"

#include "monitor/ChartLabels.h"
#include "monitor/ChartPanel.h"
#include "monitor/ScaledSnapshot.h"
#include "monitor/SpectrumQueues.h"
#include "stream/Tags.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <algorithm>

namespace vintrel {

namespace {

// Reads until told to stop: the replay of the first seconds of a record.
class StoppableTransport : public Transport {
public:
    StoppableTransport(Transport& inner, std::function<bool()> exhausted)
        : inner_(inner), exhausted_(std::move(exhausted)) {}
    TransportRead Read(uint8_t* dst, uint32_t len, bool firstPart) override {
        return stopped_ ? TransportRead{} : inner_.Read(dst, len, firstPart);
    }
    bool Exhausted() const { return stopped_ || exhausted_(); }
    void Stop() { stopped_ = true; }

private:
    Transport& inner_;
    std::function<bool()> exhausted_;
    bool stopped_ = false;
};

const char* const kPlayCaptions[] = {"", "TX1in (mic1)", "TX2in (mic2)", "TXout", "RXin", "RXout"};

// The captions and labels the window shows around its charts.
void DrawDecorations(QImage& canvas, const ChartPanel& panel, const TagModel& tags, const std::string& title,
                     const QPalette& palette) {
    QPainter p(&canvas);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::NoAntialias);
    p.setFont(font);
    p.setPen(QColor(Qt::black));
    p.drawText(QRect(16, 2, ChartPanel::kCanvasWidth - 32, 14), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromStdString(title));
    for (int k = 1; k <= ChartPanel::kCharts; ++k) {
        const int x = Chart_XY[size_t(k)].X, y = Chart_XY[size_t(k)].Y;
        const QRect button(x, y - 26, 88, 20);
        p.fillRect(button, palette.color(QPalette::Button));
        p.setPen(palette.color(QPalette::Dark));
        p.drawRect(button.adjusted(0, 0, -1, -1));
        p.setPen(QColor(Qt::black));
        const QString caption =
            k == CHART_MIPS ? QStringLiteral("MIPS") : QString::fromLatin1(kPlayCaptions[k]);
        p.drawText(button, Qt::AlignCenter, caption);
        const QRect below(x, y + 134, 130, 18);
        if (k == CHART_MIPS) {
            p.drawText(below.adjusted(0, 0, 50, 0), Qt::AlignLeft | Qt::AlignVCenter,
                       QString::fromStdString(panel.MIPSLabel));
            continue;
        }
        p.fillRect(below, QColor(Qt::white));
        p.setPen(palette.color(QPalette::Dark));
        p.drawRect(below.adjusted(0, 0, -1, -1));
        p.setPen(QColor(Qt::black));
        const uint16_t tag = uint16_t(tags.ChartTag[size_t(k)].load());
        p.drawText(below.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromStdString(GetParNameFromTag(tag, kMaxTagForLists)));
        const ChartLabel& snr = panel.SnrLabels[size_t(k)];
        if (snr.Visible)
            p.drawText(QRect(x, y + 154, 130, 16), Qt::AlignLeft | Qt::AlignVCenter,
                       QString::fromStdString(snr.Caption));
    }
}

} // namespace

int SnapshotLabelRoom() {
    return ScaledLabelRoom();
}

SnapshotResult DrawSnapshot(Transport& transport, std::function<bool()> exhausted, const SnapshotOptions& o) {
    SnapshotResult result;
    const StreamFormat format = GetStreamFormat(o.Replay.Format);
    StoppableTransport source(transport, std::move(exhausted));
    Replay replay(
        source, [&source] { return source.Exhausted(); }, o.Replay);
    StreamState& s = replay.State();
    const uint64_t limit = o.Seconds > 0 ? uint64_t(RoundHalfEven(o.Seconds * format.FramesPerSec)) : 0;
    SpectrumQueues queues(&s.Decoder);
    replay.AddConsumer(&queues);

    const QPalette palette = QGuiApplication::palette();
    QImage canvas(ChartPanel::kCanvasWidth, ChartPanel::kCanvasHeight, QImage::Format_RGB32);
    canvas.fill(palette.color(QPalette::Button));
    ChartPanel panel(canvas, &queues, !o.Linear, o.RatePosition, palette);
    panel.Settings.VadChosen = o.Vad;
    panel.SetPlottingFeatures(o.NoiseLevel, true);
    panel.RestartStatistics(format.MsPerFrame); // a format chosen, a connection opened
    panel.ComboBoxFFTChange(o.FftLength);
    for (int k = 1; k <= kChannelCharts; ++k) {
        panel.DbSliders[size_t(k)].Position = std::clamp(o.DbOffset, 0, 48);
        panel.Chart(k).DbSliderChange();
    }
    if (o.Spectrum) panel.SetSpectrumShown(true, format.SamplingRateFromSettings);

    const auto draw = [&](const QueuedMessage& m) {
        const int protocol = s.Ring.ProtocolType();
        if (m.Msg == WM_FRAMES_READY) {
            const int last = int(m.WParam);
            const int count = m.LParam > 0 ? int(m.LParam) : format.BuffersToSendWithWinMsg;
            for (int i = last - count + 1; i <= last; ++i) {
                if (limit && result.FramesDrawn >= limit) return;
                TNewProtHeaderEveryFrameData& r =
                    s.Decoder.HeaderEveryFrInfo[size_t((i + kFrameBuffers) % kFrameBuffers)];
                panel.DrawFrame(r, protocol, s.Tags);
                // What the window writes back once a frame is drawn.
                r.ChannMax.fill(kNotAvailable);
                r.UF = r.MIPS = kNotAvailable;
                r.NoiseDetect.fill(kNotAvailable);
                r.VadStatus.fill(kNotAvailable);
                r.AGC.fill(kNotAvailable);
                if (++result.FramesDrawn == limit) source.Stop(); // the first seconds are drawn
            }
        } else if (m.Msg == WM_FRAME_REPORT) {
            panel.FrameReported(m.WParam == kReportChecksum, protocol, s.Tags, format.MsPerFrame);
        }
    };
    result.Totals = replay.Run(draw);
    DrawDecorations(canvas, panel, s.Tags, o.Title, palette);
    result.SpectrumColumns = panel.SpectrumColumns;
    if (o.Width > 0 && o.Height > 0) {
        ScaledSnapshotInput in{panel, s.Tags, o.Title, palette};
        in.EndSeconds = double(result.FramesDrawn) * format.MsPerFrame / 1000.0;
        in.ColumnSeconds = double(1 << (std::clamp(o.RatePosition, 1, 7) - 1)) * format.MsPerFrame / 1000.0;
        in.Spectrum = o.Spectrum;
        result.Image = DrawScaledSnapshot(in, o.Width, o.Height);
        return result;
    }
    result.Image = canvas;
    return result;
}

} // namespace vintrel
