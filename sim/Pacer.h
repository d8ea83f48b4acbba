#pragma once
// The frame schedule of a live stream. A target sends its frames at a fixed rate; the schedule
// keeps that rate exact over any length of stream: frame n is due at start + n x period, computed
// from the frame number each time (never by adding periods up), so rounding and late wake-ups do
// not accumulate. A frame is never sent before it is due; late frames are due at once.
//
// When the period is shorter than kMinWakeInterval the sender wakes once per burst of several
// frames (the burst's last frame is due at the wake-up) instead of once per frame; the average
// rate stays exact.
//
// The schedule only does arithmetic on the time points it is given, so it runs just as well on
// a test's invented clock as on the steady clock.
#include <chrono>
#include <cstdint>

namespace vintrel::sim {

class Pacer {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    static constexpr std::chrono::nanoseconds kMinWakeInterval = std::chrono::milliseconds(2);
    // A sender that fell further behind than this (a receiver stopped reading and the link filled
    // up) does not flood the link with the backlog afterwards: the schedule starts again from the
    // frame that is next, as if the target's clock had paused with the link.
    static constexpr std::chrono::nanoseconds kMaxLag = std::chrono::seconds(1);

    // `msPerFrame` is the format's frame period in single precision, as the target has it.
    explicit Pacer(float msPerFrame);

    // Frame 0 (the first frame not yet sent) is due at `now`.
    void Start(TimePoint now);

    double PeriodNs() const { return periodNs_; }
    uint64_t FramesPerBurst() const { return burst_; }
    uint64_t Sent() const { return sent_; }

    TimePoint DueTime(uint64_t frame) const;
    // Frames due at `now` that have not been sent yet.
    uint64_t DueCount(TimePoint now) const;
    void MarkSent(uint64_t frames) { sent_ += frames; }
    // When the sender should wake next: when the last frame of the next burst is due.
    TimePoint NextWake() const { return DueTime(sent_ + burst_ - 1); }
    // Restarts the schedule at `now` when the next frame is more than kMaxLag late; true if it did.
    bool LimitLag(TimePoint now);

private:
    double periodNs_;
    uint64_t burst_;
    TimePoint base_{};
    uint64_t baseFrame_ = 0; // the frame due at base_
    uint64_t sent_ = 0;
};

} // namespace vintrel::sim
