#pragma once
// The numbers of a run's frames as a reader counts them: new-protocol counters as they are,
// old-protocol 16-bit counters unwrapped (each step taken as the shortest way round, so 65535 is
// followed by 65536), and the time since the first frame at the format's frame period.
#include "stream/FrameExtractor.h"

#include <cstdint>
#include <optional>

namespace vintrel::cli {

class FrameNumbering {
public:
    explicit FrameNumbering(double framePeriodSeconds) : period_(framePeriodSeconds) {}
    // Takes the next frame; returns its number.
    int64_t Take(const DecodedFrame& f) {
        if (f.Protocol == 0)
            number_ = lastOld_ ? number_ + int16_t(uint16_t(f.FrameNum) - *lastOld_) : uint16_t(f.FrameNum);
        else
            number_ = f.FrameNum;
        lastOld_ = f.Protocol == 0 ? std::optional<uint16_t>(uint16_t(f.FrameNum)) : std::nullopt;
        if (!first_) first_ = number_;
        return number_;
    }
    int64_t Number() const { return number_; }
    // (number - the first frame's number) x the frame period: gaps in the numbering show.
    double Seconds() const { return double(number_ - first_.value_or(number_)) * period_; }

private:
    double period_;
    int64_t number_ = 0;
    std::optional<int64_t> first_;
    std::optional<uint16_t> lastOld_;
};

} // namespace vintrel::cli
