#pragma once
// Recording driven by a replay of a simulated stream: the recorder sees every frame the parsing
// thread would decode, and the window's part (the clock and the time limit) runs at every batch.
#include "LimitedFiles.h"
#include "RecordTestSupport.h"
#include "recording/RecordingControl.h"
#include "stream/Replay.h"
#include "stream/ReplayTransport.h"

#include <memory>

namespace vintrel::test {

// A status line that keeps every text it was given.
class StatusLog : public QueueSink {
public:
    struct Entry {
        std::string text;
        StatStyle style;
        StatKind kind;
    };
    std::vector<Entry> entries;
    using QueueSink::SetStat;
    void SetStat(std::string_view text, StatStyle style, StatKind kind) override {
        entries.push_back({std::string(text), style, kind});
        QueueSink::SetStat(text, style, kind);
    }
    size_t Count(std::string_view part) const {
        size_t n = 0;
        for (const Entry& e : entries) n += e.text.find(part) != std::string::npos;
        return n;
    }
};

class RecordingRun : public RecordingView {
public:
    RecordingRun(const std::vector<uint8_t>& bytes, const ReplayOptions& options)
        : transport_(bytes), replay_(
                                 transport_, [this] { return transport_.Exhausted(); }, options),
          rc(replay_.State(), status, files, *this) {
        replay_.AddConsumer(&rc.Consumer());
        settings.RecordingsFolder = dir.Path();
        settings.FileNameBase = "rec";
        settings.IncludeTimeStamp = false;
        settings.ShowFiles = false;
    }
    // Plays the whole stream (or until maxPasses transport passes).
    ReplayTotals Play(uint64_t maxPasses = ~0ull) {
        return replay_.Run(
            [this](const QueuedMessage& m) {
                if (m.Msg != WM_FRAMES_READY) return;
                for (intptr_t i = 0; i < m.LParam; ++i) rc.OnFrameDelivered();
            },
            maxPasses);
    }
    Replay& Replayed() { return replay_; }
    WavContent Wav(const std::string& param) const { return ReadWav(dir.File("rec-" + param + ".wav")); }
    RecordSettings RecordingSettings() override { return settings; }
    UserQuestions* RecordingQuestions() override { return &questions; }
    // The parse as the window sees it: "[" busy, "p" a run of progress, "h" the bar hidden, "]" done.
    void ParseBusy(bool busy) override { shown += busy ? '[' : ']'; }
    void ParseProgressChanged(int percent) override {
        if (percent < 0)
            shown += 'h';
        else if (shown.empty() || shown.back() != 'p')
            shown += 'p';
    }

    TempDir dir;
    StatusLog status;
    ScriptedQuestions questions;
    RecordSettings settings;
    LimitedFiles files;
    std::string shown;

private:
    MemoryTransport transport_;
    Replay replay_;

public:
    RecordingControl rc;
};

} // namespace vintrel::test
