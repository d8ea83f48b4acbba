#include "sim/Pacer.h"

#include <algorithm>
#include <cmath>

namespace vintrel::sim {

Pacer::Pacer(float msPerFrame)
    : periodNs_(static_cast<double>(msPerFrame) * 1e6),
      burst_(std::max<uint64_t>(
          1, static_cast<uint64_t>(std::ceil(static_cast<double>(kMinWakeInterval.count()) / periodNs_)))) {}

void Pacer::Start(TimePoint now) {
    base_ = now;
    baseFrame_ = sent_;
}

Pacer::TimePoint Pacer::DueTime(uint64_t frame) const {
    if (frame <= baseFrame_) return base_;
    const double offset = static_cast<double>(frame - baseFrame_) * periodNs_;
    return base_ + std::chrono::nanoseconds(std::llround(offset));
}

uint64_t Pacer::DueCount(TimePoint now) const {
    if (now < base_) return 0;
    const double elapsed = static_cast<double>((now - base_).count());
    // The quotient is a first guess; DueTime has the last word, so both always agree.
    uint64_t last = baseFrame_ + static_cast<uint64_t>(elapsed / periodNs_); // the last frame due
    while (DueTime(last + 1) <= now) ++last;
    while (last > baseFrame_ && DueTime(last) > now) --last;
    const uint64_t due = last + 1;
    return due > sent_ ? due - sent_ : 0;
}

bool Pacer::LimitLag(TimePoint now) {
    if (now - DueTime(sent_) <= kMaxLag) return false;
    Start(now);
    return true;
}

} // namespace vintrel::sim
