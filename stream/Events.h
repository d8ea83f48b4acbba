#pragma once
// Auto-reset events that one thread can wait on several of at once. All events of a hub share
// one mutex and condition variable; a wait returns the index of the first listed event that is
// set and clears it.
#include <chrono>
#include <condition_variable>
#include <initializer_list>
#include <mutex>

namespace vintrel {

class EventHub;

class AutoResetEvent {
public:
    explicit AutoResetEvent(EventHub& hub) : hub_(hub) {}
    void Set();
    void Reset();

private:
    friend class EventHub;
    EventHub& hub_;
    bool set_ = false; // guarded by the hub's mutex
};

class EventHub {
public:
    static constexpr int kTimedOut = -1;
    // Index into `events` of the event that ended the wait, or kTimedOut.
    int WaitAny(std::initializer_list<AutoResetEvent*> events, int timeoutMs);

private:
    friend class AutoResetEvent;
    std::mutex mutex_;
    std::condition_variable cv_;
};

inline void AutoResetEvent::Set() {
    {
        std::lock_guard lock(hub_.mutex_);
        set_ = true;
    }
    hub_.cv_.notify_all();
}

inline void AutoResetEvent::Reset() {
    std::lock_guard lock(hub_.mutex_);
    set_ = false;
}

inline int EventHub::WaitAny(std::initializer_list<AutoResetEvent*> events, int timeoutMs) {
    std::unique_lock lock(mutex_);
    int found = kTimedOut;
    auto anySet = [&] {
        int i = 0;
        for (AutoResetEvent* e : events) {
            if (e->set_) {
                e->set_ = false;
                found = i;
                return true;
            }
            ++i;
        }
        return false;
    };
    cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), anySet);
    return found;
}

} // namespace vintrel
