#include "stream/FrameHandOff.h"

#include <thread>

namespace vintrel {

void FrameHandOff::Acquire(int k) {
    if (!draws_) return;
    for (;;) {
        uint8_t st = state_[k].load(std::memory_order_acquire);
        if (st == kFree) return;
        if (st == kDelivered) {
            // The window is 48 frames behind: this frame will not be drawn. The stream goes on.
            if (state_[k].compare_exchange_strong(st, kFree, std::memory_order_acquire)) {
                notDrawn_.fetch_add(1, std::memory_order_relaxed);
                return;
            }
            continue;
        }
        std::this_thread::yield(); // being drawn right now: a moment
    }
}

} // namespace vintrel
