#include "stream/QueueSink.h"

#include "stream/Text.h"

namespace vintrel {

void QueueSink::Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard lock(mutex_);
    queue_.push_back({msg, wParam, lParam});
}

void QueueSink::SetStat(std::string_view text, StatStyle style, StatKind kind) {
    std::lock_guard lock(mutex_);
    if (status_ != text) status_.assign(text);
    style_ = style;
    kind_ = kind;
    ++statusChanges_;
}

void QueueSink::ClearStatIfContains(const std::string_view* words, int count) {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < count; ++i)
        if (ContainsNoCase(status_, words[i])) {
            status_.clear();
            style_ = StatStyle::Normal;
            kind_ = StatKind::Routine;
            ++statusChanges_;
            return;
        }
}

void QueueSink::SetCounter(CounterLabel label, int64_t value) {
    std::lock_guard lock(mutex_);
    counters_[static_cast<int>(label)] = value;
}

bool QueueSink::Take(QueuedMessage& m) {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return false;
    m = queue_.front();
    queue_.pop_front();
    return true;
}

size_t QueueSink::Pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

std::string QueueSink::Status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

StatStyle QueueSink::StatusStyle() const {
    std::lock_guard lock(mutex_);
    return style_;
}

StatKind QueueSink::StatusKind() const {
    std::lock_guard lock(mutex_);
    return kind_;
}

int64_t QueueSink::Counter(CounterLabel label) const {
    std::lock_guard lock(mutex_);
    return counters_[static_cast<int>(label)];
}

uint64_t QueueSink::StatusChanges() const {
    std::lock_guard lock(mutex_);
    return statusChanges_;
}

} // namespace vintrel
