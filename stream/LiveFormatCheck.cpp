#include "stream/LiveFormatCheck.h"

#include <algorithm>
#include <cmath>

namespace vintrel {

namespace {
// A jump in the numbering longer than this is damage, not frames that went by.
constexpr uint32_t kMaxStep = 256;
// So many frames at once and then silence: no real-time target's burst is that long.
constexpr uint32_t kFastFrames = 256;
} // namespace

LiveFormatCheck::LiveFormatCheck() : sample_(std::make_unique<uint8_t[]>(kFormatSampleBytes)) {}

void LiveFormatCheck::Start() {
    sampleLen_ = 0;
    haveBytes_ = haveFrame_ = frameTimed_ = timing_ = done_ = false;
    steps_ = stepsAtStart_ = 0;
    halfTaken_ = false;
    attempts_ = 0;
}

void LiveFormatCheck::SeeBytes(const ReceiveRing& ring, uint32_t now) {
    if (done_ || sampleLen_ == kFormatSampleBytes) return;
    const uint32_t parse = ring.ParseIndx(), read = ring.ReadIndx();
    // Bytes the parser has already passed cannot be copied: go on from where it is.
    if (!haveBytes_ || ((next_ - parse) & kRingMask) > ((read - parse) & kRingMask)) next_ = parse;
    const uint32_t n = std::min((read - next_) & kRingMask, kFormatSampleBytes - sampleLen_);
    if (n == 0) return;
    ring.CopyOut(next_, sample_.get() + sampleLen_, n);
    sampleLen_ += n;
    next_ = (next_ + n) & kRingMask;
    if (!haveBytes_) firstBytes_ = now;
    haveBytes_ = true;
}

void LiveFormatCheck::SeeFrame(int64_t frameNum) {
    const uint16_t num = uint16_t(frameNum);
    if (haveFrame_) {
        const uint32_t step = uint16_t(num - lastNum_);
        steps_ += step >= 1 && step <= kMaxStep ? step : 1;
    }
    haveFrame_ = true;
    lastNum_ = num;
}

bool LiveFormatCheck::Due(uint32_t now, bool silent, bool bigEndian, DataStreamFormat chosen,
                          FormatFinding& out) {
    if (done_ || !haveBytes_) return false;
    if (haveFrame_ && !frameTimed_) {
        frameTimed_ = true; // the first frame's time, to the round
        firstFrame_ = now;
    }
    // Rounds end when the ring holds no whole frame: the last frame taken is the newest there is,
    // so the count at the end of a round goes with the time of that round.
    if (haveFrame_ && !timing_ && TicksSince(firstFrame_, now) >= kRateSettleMs) {
        timing_ = true;
        timingStart_ = now;
        stepsAtStart_ = steps_;
    }
    if (timing_ && !halfTaken_ && TicksSince(timingStart_, now) >= kRateWindowMs / 2) {
        halfTaken_ = true;
        halfTime_ = now;
        stepsAtHalf_ = steps_;
    }
    double ms = 0;
    const uint32_t timed = steps_ - stepsAtStart_;
    if (timing_ && TicksSince(timingStart_, now) >= kRateWindowMs) {
        const uint32_t first = stepsAtHalf_ - stepsAtStart_, second = steps_ - stepsAtHalf_;
        const double a = first ? double(TicksSince(timingStart_, halfTime_)) / first : 0;
        const double b = second ? double(TicksSince(halfTime_, now)) / second : 0;
        if (a > 0 && b > 0 && std::abs(a - b) <= kRateHalvesAgree * std::max(a, b)) {
            ms = double(TicksSince(timingStart_, now)) / timed;
        } else if (++attempts_ < kRateAttempts) {
            timingStart_ = now; // measured again from here
            stepsAtStart_ = steps_;
            halfTaken_ = false;
            return false;
        }
    } else if (silent && haveFrame_ && steps_ >= kFastFrames &&
               double(TicksSince(firstFrame_, now)) / steps_ < kFasterThanRealTimeMs) {
        // Everything came at once and nothing follows: faster than any target sends.
        ms = std::max(1.0, double(TicksSince(firstFrame_, now))) / steps_;
    } else if (haveFrame_ || TicksSince(firstBytes_, now) < kVerdictLatestMs) {
        return false; // the rate may still tell; without frames, the bytes alone after a while
    }
    done_ = true;
    out = CheckStreamBytes(sample_.get(), sampleLen_, bigEndian, chosen);
    if (ms > 0) out = WithFramePeriod(out, ms, chosen);
    return true;
}

} // namespace vintrel
