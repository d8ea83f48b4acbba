#pragma once
// The message sink of the program: thread messages and status-line updates from any thread
// become events in the window thread's queue. Routine status texts are coalesced: a repeat of
// the last queued one is not queued again, so a source that repeats itself does not flood the
// window. A sticky text is always queued: the same message again is news to the user.
#include "stream/MessageSink.h"

#include <QEvent>
#include <QObject>
#include <QString>

#include <deque>
#include <mutex>
#include <vector>

namespace vintrel {

// A worker thread's message (0x914 ...) as a Qt event.
class AppMessageEvent : public QEvent {
public:
    static const QEvent::Type kType;
    AppMessageEvent(uint32_t msg, uintptr_t w, intptr_t l) : QEvent(kType), Msg(msg), WParam(w), LParam(l) {}
    uint32_t Msg;
    uintptr_t WParam;
    intptr_t LParam;
};

// One status-line or label update.
struct StatusOp {
    enum Kind { Set, ClearIfContains, Counter } Op;
    QString Text;
    StatStyle Style = StatStyle::Normal;
    StatKind Kind = StatKind::Routine;
    std::vector<QString> Words;
    CounterLabel Label = CounterLabel::TotalFrames;
    int64_t Value = 0;
};

class QtMessageSink : public MessageSink {
public:
    static const QEvent::Type kStatusType;
    explicit QtMessageSink(QObject* target) : target_(target) {}

    void Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    using MessageSink::SetStat;
    void SetStat(std::string_view text, StatStyle style, StatKind kind) override;
    void ClearStatIfContains(const std::string_view* words, int count) override;
    void SetCounter(CounterLabel label, int64_t value) override;

    // Window thread: the updates queued since the last call, oldest first.
    std::deque<StatusOp> TakeStatusOps();

private:
    void Queue(StatusOp op);
    QObject* target_;
    std::mutex mutex_;
    std::deque<StatusOp> ops_;
    bool haveLast_ = false; // the last routine text queued, to drop repeats
    QString lastText_;
    StatKind lastKind_ = StatKind::Routine;
};

} // namespace vintrel
