#include "stream/LiveFormatCheck.h"

#include <algorithm>

namespace vintrel {

namespace {
// A jump in the numbering longer than this is damage, not frames that went by.
constexpr uint32_t kMaxStep = 256;
// So many frames at once and then silence: no real-time target's burst is that long.
constexpr uint32_t kFastFrames = 256;

// The frame period of a window's round ends. A round ends when the parser has taken every
// whole frame in the ring, but it may end late (the parser or the transport was held up) and
// never early: each point lies on or above the line of the target's own timing. So the line is
// drawn through the least-late point of each half of the window, found against the line of the
// step before, rather than through the first and the last point, either of which may be late.
double EnvelopePeriod(const uint32_t* steps, const uint32_t* ms, uint32_t n) {
    if (n < 2 || steps[n - 1] == steps[0]) return 0;
    double period = double(ms[n - 1] - ms[0]) / double(steps[n - 1] - steps[0]);
    for (int round = 0; round < 3; ++round) {
        uint32_t early = 0, late = n - 1;
        double earlyLag = 1e300, lateLag = 1e300;
        for (uint32_t i = 0; i < n; ++i) {
            const double lag = double(ms[i]) - double(steps[i]) * period;
            double& best = ms[i] < kRateWindowMs / 2 ? earlyLag : lateLag;
            if (lag < best) {
                best = lag;
                (ms[i] < kRateWindowMs / 2 ? early : late) = i;
            }
        }
        if (steps[late] <= steps[early]) break;
        period = double(ms[late] - ms[early]) / double(steps[late] - steps[early]);
    }
    return period;
}

} // namespace

LiveFormatCheck::LiveFormatCheck()
    : sample_(std::make_unique<uint8_t[]>(kFormatSampleBytes)),
      pointSteps_(std::make_unique<uint32_t[]>(kRatePoints)),
      pointMs_(std::make_unique<uint32_t[]>(kRatePoints)) {}

void LiveFormatCheck::Start() {
    sampleLen_ = 0;
    haveBytes_ = haveFrame_ = frameTimed_ = timing_ = done_ = false;
    steps_ = stepsAtStart_ = 0;
    points_ = 0;
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
    if (timing_ && points_ < kRatePoints) {
        pointSteps_[points_] = steps_ - stepsAtStart_;
        pointMs_[points_] = TicksSince(timingStart_, now);
        ++points_;
    }
    double ms = 0;
    if (timing_ && TicksSince(timingStart_, now) >= kRateWindowMs) {
        ms = EnvelopePeriod(pointSteps_.get(), pointMs_.get(), points_);
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
