#include "stream/ParsingThread.h"

namespace vintrel {

void TParsingThread::Resume() {
    if (!thread_.joinable()) thread_ = std::thread([this] { Execute(); });
}

void TParsingThread::Terminate(bool takeWholeFrames) {
    if (takeWholeFrames) takeWholeFrames_ = true;
    terminated_ = true;
    events_.TerminateParsingThread.Set();
    if (thread_.joinable()) thread_.join();
}

void TParsingThread::Execute() {
    extractor_.Start();
    while (!terminated_.load()) {
        const TTransportState state = s_.Control.State();
        if (state == RUNNING || state == SYNCHRONIZING) {
            const uint32_t waitStart = s_.Ticks.Now();
            const int w = events_.Hub.WaitAny({&events_.DataArrived, &events_.DataTimedOut,
                                               &events_.SwitchedToRunning, &events_.TerminateParsingThread},
                                              int(kLostSyncMs));
            if (w == 3) continue; // terminate: the loop condition ends it
            if (w == EventHub::kTimedOut) {
                const TTransportState now = s_.Control.State();
                if (now == RUNNING || now == SYNCHRONIZING)
                    extractor_.OnWaitTimedOut(TicksSince(waitStart, s_.Ticks.Now()));
                continue;
            }
            static constexpr TransportEvent kWoke[] = {
                TransportEvent::DataArrived, TransportEvent::DataTimedOut, TransportEvent::SwitchedToRunning};
            extractor_.Round(kWoke[w]);
        } else {
            // A new connection: the window's run of inconsistent frames starts again.
            if (state == INACTIVE || state == CONNECTING)
                s_.Parser.runBreaks_.fetch_add(1, std::memory_order_relaxed);
            const int timeout = state == INACTIVE ? 1000 : 15000;
            const int w = events_.Hub.WaitAny(
                {&events_.SwitchedToRunning, &events_.DataArrived, &events_.TerminateParsingThread}, timeout);
            // The first data of a connection: look for the first frame in it.
            if (w == 0 || w == 1) extractor_.Round(TransportEvent::DataArrived, false);
        }
    }
    // The whole frames left in the ring are taken, found first if this thread has not yet looked
    // (a peer that sent everything and closed before the parser got a core).
    if (takeWholeFrames_.load()) extractor_.Round(TransportEvent::DataArrived, false, true);
}

} // namespace vintrel
