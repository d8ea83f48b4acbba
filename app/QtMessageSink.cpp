#include "app/QtMessageSink.h"

#include <QCoreApplication>

namespace vintrel {

const QEvent::Type AppMessageEvent::kType = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type QtMessageSink::kStatusType = static_cast<QEvent::Type>(QEvent::registerEventType());

void QtMessageSink::Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    QCoreApplication::postEvent(target_, new AppMessageEvent(msg, wParam, lParam));
}

void QtMessageSink::Queue(StatusOp op) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (op.Op == StatusOp::Set) {
            const bool sticky = op.Kind == StatKind::Sticky || op.Style != StatStyle::Normal;
            if (!sticky && haveLast_ && lastText_ == op.Text && lastKind_ == op.Kind)
                return; // queued already
            haveLast_ = !sticky;
            lastText_ = op.Text;
            lastKind_ = op.Kind;
        } else if (op.Op == StatusOp::ClearIfContains) {
            haveLast_ = false; // the line may change: the next text is shown again
        }
        if (op.Op == StatusOp::Counter)
            for (StatusOp& o : ops_)
                if (o.Op == StatusOp::Counter && o.Label == op.Label) {
                    o.Value = op.Value;
                    return;
                }
        wake = ops_.empty();
        ops_.push_back(std::move(op));
    }
    if (wake) QCoreApplication::postEvent(target_, new QEvent(kStatusType));
}

void QtMessageSink::SetStat(std::string_view text, StatStyle style, StatKind kind) {
    StatusOp op{
        StatusOp::Set, QString::fromUtf8(text.data(), qsizetype(text.size())), style, kind, {}, {}, 0};
    Queue(std::move(op));
}

void QtMessageSink::ClearStatIfContains(const std::string_view* words, int count) {
    StatusOp op{StatusOp::ClearIfContains, {}, StatStyle::Normal, StatKind::Routine, {}, {}, 0};
    for (int i = 0; i < count; ++i)
        op.Words.push_back(QString::fromUtf8(words[i].data(), qsizetype(words[i].size())));
    Queue(std::move(op));
}

void QtMessageSink::SetCounter(CounterLabel label, int64_t value) {
    Queue(StatusOp{StatusOp::Counter, {}, StatStyle::Normal, StatKind::Routine, {}, label, value});
}

std::deque<StatusOp> QtMessageSink::TakeStatusOps() {
    std::lock_guard lock(mutex_);
    std::deque<StatusOp> out;
    out.swap(ops_);
    return out;
}

} // namespace vintrel
