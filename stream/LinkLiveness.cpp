#include "stream/LinkLiveness.h"

namespace vintrel {

void FrameSilence::Restart() {
    Touch();
    shown_ = false;
    givenUp_ = false;
}

Silence FrameSilence::Decided(Silence s, uint32_t connectingEntries) {
    if (s == Silence::Reconnect || s == Silence::GiveUp) {
        // Until the transport has carried the request out, the link is not given up twice.
        givenUp_ = true;
        givenUpAt_ = connectingEntries;
    }
    // The 32 ms of the next report count from here, as from a new start.
    if (s != Silence::LostSync) Touch();
    return s;
}

Silence FrameSilence::WaitRanOut(uint32_t waitedMs, uint32_t pending, TTransport kind,
                                 uint32_t connectingEntries) {
    if (waitedMs > kLostSyncMs + kStalledWaitMs) return Silence::None;
    // Bytes at the transport: the link is alive and only the transport thread is late. Its next
    // read wakes the parser as usual.
    if (pending > 0 || GivenUp(connectingEntries)) return Silence::None;
    if (kind == TR_TCPIP) {
        if (shown_) return Silence::None;
        shown_ = true;
        return Silence::LostSync;
    }
    return Decided(Silence::GiveUp, connectingEntries);
}

Silence FrameSilence::NoWholeFrame(bool emptyRead, TTransport kind, uint32_t connectingEntries) {
    if (GivenUp(connectingEntries)) return Silence::None;
    if (TicksSince(LastFrameTime(), clock_.Now()) <= kLostSyncMs) return Silence::None;
    // Bytes came and none of them made a frame: look for the next marker.
    if (!emptyRead) return Decided(Silence::Resync, connectingEntries);
    if (kind == TR_TCPIP) {
        if (shown_) return Silence::None;
        shown_ = true;
        return Silence::LostSync;
    }
    return Decided(Silence::Reconnect, connectingEntries);
}

void ByteSilence::Entered() {
    enteredAt_ = clock_.Now();
    noSignalShown_ = false;
}

void ByteSilence::Connected() {
    Entered();
    BytesCame();
}

void ByteSilence::BytesCame() {
    lastByte_ = clock_.Now();
    reconnectAsked_ = false;
}

Quiet ByteSilence::EmptyRead(TTransportState state, TTransport kind) {
    const uint32_t now = clock_.Now();
    if (kind == TR_TCPIP && !reconnectAsked_ && TicksSince(lastByte_, now) > kNoSignalMs) {
        reconnectAsked_ = true;
        noSignalShown_ = true;
        return Quiet::Reconnect;
    }
    const bool waiting = state == CONNECTING || state == SYNCHRONIZING;
    if (waiting && !noSignalShown_ && TicksSince(enteredAt_, now) > kNoSignalMs) {
        noSignalShown_ = true;
        return Quiet::NoSignal;
    }
    return Quiet::None;
}

void ReconnectSchedule::Tried() {
    pending_ = true;
    lastTry_ = clock_.Now();
}

} // namespace vintrel
