#pragma once
// Counts the frames of a whole run, across the parsing threads that reconnections start, and
// keeps the number of the last one. Threads: the parsing thread counts; any thread reads.
#include "stream/FrameExtractor.h"

#include <atomic>
#include <cstdint>

namespace vintrel::cli {

class FrameCounter : public FrameConsumer {
public:
    void OnFrame(const DecodedFrame& f) override {
        last_.store(f.FrameNum, std::memory_order_relaxed);
        frames_.fetch_add(1, std::memory_order_relaxed);
    }
    uint64_t Frames() const { return frames_.load(); }
    // -1 before the first frame.
    int64_t LastFrameNum() const { return last_.load(); }

private:
    std::atomic<uint64_t> frames_{0};
    std::atomic<int64_t> last_{-1};
};

} // namespace vintrel::cli
