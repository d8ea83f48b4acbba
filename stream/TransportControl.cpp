#include "stream/TransportControl.h"

#include <chrono>

namespace vintrel {

void TransportControl::RequestPark() {
    Transport* reading;
    {
        std::lock_guard lock(mutex_);
        connectAsked_ = false;
        if (parked_ && state_.load(std::memory_order_relaxed) == INACTIVE) return; // already away
        parkAsked_ = true;
        parked_ = false; // only a pass that begins after this request acknowledges it
        reading = open_.load(std::memory_order_acquire);
    }
    if (reading) reading->Cancel();
}

bool TransportControl::WaitParked(uint32_t ms) {
    std::unique_lock lock(mutex_);
    return parkedCv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return parked_; });
}

bool TransportControl::Parked() const {
    std::lock_guard lock(mutex_);
    return parked_;
}

void TransportControl::Connect(Transport* transport, TTransport kind) {
    std::lock_guard lock(mutex_);
    pending_ = transport;
    pendingKind_ = kind;
    connectAsked_ = true;
}

void TransportControl::Terminate() {
    Transport* reading;
    {
        std::lock_guard lock(mutex_);
        terminateAsked_ = true;
        reading = open_.load(std::memory_order_acquire);
    }
    if (reading) reading->Cancel();
}

void TransportControl::Ask(ParserAsk ask, uint32_t frameBytes) {
    ask_.store(uint32_t(ask) << 24 | (frameBytes & 0xFFFFFF), std::memory_order_release);
}

PassChange TransportControl::BeginPass(uint32_t& frameBytes) {
    {
        std::lock_guard lock(mutex_);
        if (terminateAsked_) {
            open_.store(nullptr, std::memory_order_release);
            state_.store(TERMINATING, std::memory_order_release);
            parked_ = true;
            parkedCv_.notify_all();
            return PassChange::Terminated;
        }
        if (parkAsked_) {
            parkAsked_ = false;
            open_.store(nullptr, std::memory_order_release);
            state_.store(INACTIVE, std::memory_order_release);
            ask_.store(0, std::memory_order_relaxed); // what the old parser asked is void
            parked_ = true;
            parkedCv_.notify_all();
            return PassChange::Parked;
        }
        if (connectAsked_ && parked_) {
            connectAsked_ = false;
            parked_ = false;
            open_.store(pending_, std::memory_order_release);
            transportIs_.store(pendingKind_, std::memory_order_release);
            ask_.store(0, std::memory_order_relaxed);
            connectingEntries_.fetch_add(1, std::memory_order_acq_rel);
            state_.store(CONNECTING, std::memory_order_release);
            return PassChange::Connected;
        }
    }
    return ApplyAsk(frameBytes);
}

PassChange TransportControl::ApplyAsk(uint32_t& frameBytes) {
    const TTransportState s = state_.load(std::memory_order_relaxed);
    if (s != RUNNING && s != SYNCHRONIZING && s != CONNECTING) return PassChange::None;
    const uint32_t a = ask_.exchange(0, std::memory_order_acq_rel);
    switch (ParserAsk(a >> 24)) {
    case ParserAsk::Synchronizing:
        if (s != RUNNING) return PassChange::None;
        state_.store(SYNCHRONIZING, std::memory_order_release);
        return PassChange::ToSynchronizing;
    case ParserAsk::Connecting:
        if (s == CONNECTING) return PassChange::None;
        connectingEntries_.fetch_add(1, std::memory_order_acq_rel);
        state_.store(CONNECTING, std::memory_order_release);
        return PassChange::ToConnecting;
    case ParserAsk::Running:
        frameBytes = a & 0xFFFFFF;
        if (s == RUNNING) return PassChange::Resized;
        if (s == CONNECTING) return PassChange::None; // its first data decides; the parser asks again
        state_.store(RUNNING, std::memory_order_release);
        return PassChange::ToRunning;
    case ParserAsk::None:
        break;
    }
    return PassChange::None;
}

} // namespace vintrel
