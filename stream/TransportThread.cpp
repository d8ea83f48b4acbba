#include "stream/TransportThread.h"

#include <chrono>

namespace vintrel {

void TTransportThread::Resume() {
    if (!thread_.joinable()) thread_ = std::thread([this] { Execute(); });
}

void TTransportThread::WaitFor() {
    if (thread_.joinable()) thread_.join();
}

void TTransportThread::Execute() {
    for (;;) {
        const TransportPassResult r = loop_.Pass();
        switch (r.Event) {
        case TransportEvent::SwitchedToRunning:
            events_.SwitchedToRunning.Set();
            break;
        case TransportEvent::DataArrived:
            events_.DataArrived.Set();
            break;
        case TransportEvent::DataTimedOut:
            events_.DataTimedOut.Set();
            break;
        case TransportEvent::Terminated:
            return;
        case TransportEvent::None:
            break;
        }
        if (r.SleepMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(r.SleepMs));
        else if (r.SleepMs == 0)
            std::this_thread::yield();
    }
}

} // namespace vintrel
