#pragma once
// A message sink that queues thread messages for whoever plays the window thread (the command-
// line tool, replays, tests) and keeps the last status line and counter values. Its status line is
// the last text set, of any kind: there is no user here to release a sticky text.
#include "stream/MessageSink.h"

#include <array>
#include <deque>
#include <mutex>
#include <string>

namespace vintrel {

struct QueuedMessage {
    uint32_t Msg;
    uintptr_t WParam;
    intptr_t LParam;
};

class QueueSink : public MessageSink {
public:
    void Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    using MessageSink::SetStat;
    void SetStat(std::string_view text, StatStyle style, StatKind kind) override;
    void ClearStatIfContains(const std::string_view* words, int count) override;
    void SetCounter(CounterLabel label, int64_t value) override;

    // Takes the oldest queued message; false when none is queued.
    bool Take(QueuedMessage& m);
    size_t Pending() const;
    std::string Status() const;
    StatStyle StatusStyle() const;
    StatKind StatusKind() const;
    int64_t Counter(CounterLabel label) const;
    // Number of SetStat calls so far (tests watch status traffic with it).
    uint64_t StatusChanges() const;

private:
    mutable std::mutex mutex_;
    std::deque<QueuedMessage> queue_;
    std::string status_;
    StatStyle style_ = StatStyle::Normal;
    StatKind kind_ = StatKind::Routine;
    uint64_t statusChanges_ = 0;
    std::array<int64_t, 4> counters_{};
};

} // namespace vintrel
