#pragma once
// Millisecond tick counts as unsigned 32-bit numbers; differences are taken modulo 2^32
// so every time-out survives the wrap of the counter.
#include <atomic>
#include <chrono>
#include <cstdint>

namespace vintrel {

class Clock {
public:
    virtual ~Clock() = default;
    virtual uint32_t Now() const = 0;
};

inline uint32_t TicksSince(uint32_t start, uint32_t now) {
    return now - start;
}

class SteadyClock final : public Clock {
public:
    uint32_t Now() const override {
        using namespace std::chrono;
        return static_cast<uint32_t>(
            duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
};

// A clock that moves only when told to: replays and tests.
class ManualClock final : public Clock {
public:
    explicit ManualClock(uint32_t start = 0) : now_(start) {}
    uint32_t Now() const override { return now_.load(std::memory_order_relaxed); }
    void Advance(uint32_t ms) { now_.fetch_add(ms, std::memory_order_relaxed); }
    void Set(uint32_t t) { now_.store(t, std::memory_order_relaxed); }

private:
    std::atomic<uint32_t> now_;
};

} // namespace vintrel
