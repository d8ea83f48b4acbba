#include "stream/ParsingThread.h"

namespace vintrel {

void TParsingThread::Resume() {
    if (!thread_.joinable()) thread_ = std::thread([this] { Execute(); });
}

void TParsingThread::Terminate() {
    terminated_ = true;
    events_.TerminateParsingThread.Set();
    if (thread_.joinable()) thread_.join();
}

void TParsingThread::Execute() {
    extractor_.Start();
    if (OnStart) OnStart();
    while (!terminated_.load()) {
        const TTransportState state = s_.TransportState.load();
        if (state == RUNNING) {
            const uint32_t waitStart = s_.Ticks.Now();
            const int w = events_.Hub.WaitAny(
                {&events_.DataArrived, &events_.DataTimedOut, &events_.TerminateParsingThread},
                int(kLostSyncMs));
            if (w == 2) continue; // terminate: the loop condition ends it
            if (w == EventHub::kTimedOut) {
                if (s_.TransportState.load() == RUNNING)
                    extractor_.OnWaitTimedOut(TicksSince(waitStart, s_.Ticks.Now()));
                continue;
            }
            extractor_.Round(w == 0 ? TransportEvent::DataArrived : TransportEvent::DataTimedOut);
        } else {
            if (state == INACTIVE || state == CONNECTING) s_.Counters.InconsistFramesCount = 0;
            const int timeout = (state == INACTIVE || state == SYNCHRONIZING) ? 1000 : 15000;
            const int w =
                events_.Hub.WaitAny({&events_.SwitchedToRunning, &events_.TerminateParsingThread}, timeout);
            // Back in RUNNING: what arrived meanwhile is parsed now, not after the next read.
            if (w == 0 && s_.TransportState.load() == RUNNING)
                extractor_.Round(TransportEvent::DataArrived, false);
        }
    }
    TTransportState st = s_.TransportState.load();
    while (st != TERMINATING && !s_.TransportState.compare_exchange_weak(st, INACTIVE)) {
    }
    s_.TCPIP_Reconnecting = false;
}

} // namespace vintrel
