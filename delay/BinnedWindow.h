#pragma once
// Percentiles of a level in dB over the last few seconds of a stream: a histogram of 0.1 dB bins
// per second, kept in a ring, and their sum. Values outside the range land in its end bins.
// Fixed storage; adding and rolling allocate nothing.
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>

namespace vintrel {

template <int Seconds, int Bins = 1220> class BinnedWindow {
public:
    explicit BinnedWindow(double lowestDb = -30.0) : lowestDb_(lowestDb) {}

    void Add(double db) {
        int i = int(std::floor((db - lowestDb_) * 10.0));
        i = i < 0 ? 0 : (i >= Bins ? Bins - 1 : i);
        ++seconds_[current_][i];
        ++total_[i];
        ++count_;
    }
    // Starts a new second, forgetting the oldest one.
    void Roll() {
        current_ = (current_ + 1) % Seconds;
        auto& oldest = seconds_[current_];
        for (int i = 0; i < Bins; ++i) {
            total_[i] -= oldest[i];
            count_ -= oldest[i];
            oldest[i] = 0;
        }
    }
    uint32_t Count() const { return count_; }
    // The value below which `share` (0..1) of the values lie, at a bin's centre; none when empty.
    std::optional<double> Percentile(double share) const {
        if (count_ == 0) return std::nullopt;
        const uint32_t rank = uint32_t(share * (count_ - 1));
        uint32_t seen = 0;
        for (int i = 0; i < Bins; ++i) {
            seen += total_[i];
            if (seen > rank) return lowestDb_ + (i + 0.5) * 0.1;
        }
        return lowestDb_ + (Bins - 0.5) * 0.1;
    }

private:
    double lowestDb_;
    std::array<std::array<uint32_t, Bins>, Seconds> seconds_{};
    std::array<uint32_t, Bins> total_{};
    uint32_t count_ = 0;
    int current_ = 0;
};

} // namespace vintrel
