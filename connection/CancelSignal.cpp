#include "connection/CancelSignal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace vintrel {

CancelSignal::CancelSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelSignal::~CancelSignal() {
    if (fd_ >= 0) close(fd_);
}

void CancelSignal::Raise() {
    // The flag goes first: a poller woken by the descriptor must find it set.
    if (raised_.exchange(true, std::memory_order_acq_rel)) return;
    if (fd_ < 0) return;
    // Nobody reads the counter back, so the descriptor stays readable for good.
    const uint64_t one = 1;
    while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

int CancelSignal::PollMs(const CancelSignal* cancel, int64_t ms) {
    int64_t limit = 1 << 30;
    if (cancel && cancel->fd_ < 0) limit = kCancelCheckMs;
    return int(std::clamp<int64_t>(ms, 0, limit));
}

void CancelSignal::WaitFor(int ms) const {
    using namespace std::chrono;
    const auto end = steady_clock::now() + milliseconds(ms);
    for (;;) {
        const auto left = duration_cast<milliseconds>(end - steady_clock::now()).count();
        if (Raised() || left <= 0) return;
        pollfd p{fd_, POLLIN, 0};
        poll(&p, 1, PollMs(this, left));
    }
}

} // namespace vintrel
