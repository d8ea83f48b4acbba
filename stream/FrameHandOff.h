#pragma once
// Hand-over of the 48 frame buffers from the parsing thread to the window. The parser writes a
// buffer only when it is free or delivered (taking an undrawn frame back and counting it); the
// window draws a buffer only after claiming it. Without a window (replays) nothing is tracked.
//
// Threads: Acquire and Deliver are the parsing thread's, Claim and Release the window's; each
// buffer's state moves only by compare-and-swap along Free -> Delivered -> Drawing -> Free.
// EnableDrawing and ResetParked run while no parsing thread does.
#include "stream/FrameRecord.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace vintrel {

class FrameHandOff {
public:
    void EnableDrawing() { draws_ = true; }
    bool Draws() const { return draws_; }

    // Parsing thread: buffer k is about to be written.
    void Acquire(int k);
    // Parsing thread: buffer k holds a decoded frame for the window.
    void Deliver(int k) {
        if (draws_) state_[k].store(kDelivered, std::memory_order_release);
    }
    uint64_t FramesNotDrawn() const { return notDrawn_.load(std::memory_order_relaxed); }

    // Window thread: true when buffer k may be drawn now; Release when done.
    bool Claim(int k) {
        uint8_t expected = kDelivered;
        return state_[k].compare_exchange_strong(expected, kDrawing, std::memory_order_acquire);
    }
    void Release(int k) { state_[k].store(kFree, std::memory_order_release); }

    // A new parsing thread starts at buffer 0: nothing undrawn from before is handed over.
    void ResetParked() {
        for (auto& b : state_) b.store(kFree, std::memory_order_relaxed);
    }

private:
    enum : uint8_t { kFree = 0, kDelivered = 1, kDrawing = 2 };
    bool draws_ = false;
    std::array<std::atomic<uint8_t>, kFrameBuffers> state_{};
    std::atomic<uint64_t> notDrawn_{0};
};

} // namespace vintrel
