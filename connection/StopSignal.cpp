#include "connection/StopSignal.h"

#include <atomic>
#include <csignal>

namespace vintrel {

namespace {
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnStopSignal(int) {
    stopRequested.store(true);
}
} // namespace

void InstallStopHandlers(InterruptedCalls calls) {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = calls == InterruptedCalls::Restart ? SA_RESTART : 0;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

bool StopRequested() {
    return stopRequested.load();
}

} // namespace vintrel
