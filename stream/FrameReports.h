#pragma once
// The window thread's side of the frame reports: counting checksum errors and inconsistent
// frames, and the automatic reconnect after a close run of inconsistent frames.
#include "stream/StreamState.h"

namespace vintrel {

constexpr uint32_t kCloseRunFrames = 125;

// What the automatic reconnect asks of connection management.
class ReconnectControl {
public:
    virtual ~ReconnectControl() = default;
    // Closes and reopens the connection exactly as the Connect/Disconnect button does; the ring
    // is zero-filled and ReadIndx reset between the two.
    virtual void Reconnect() = 0;
};

class FrameReports {
public:
    FrameReports(StreamState& s, ReconnectControl* reconnect) : s_(s), reconnect_(reconnect) {}

    // Message 0x918: wParam 12 checksum error or bad tag, 0 inconsistent frame number.
    void OnFrameReport(uintptr_t wParam, intptr_t lParam);
    // Returns true when the run reached the threshold and a reconnect was made.
    bool ProcessInconsistentFrames(uint32_t FrameCount);
    uint32_t Reconnects() const { return reconnects_; }

private:
    StreamState& s_;
    ReconnectControl* reconnect_;
    uint32_t reconnects_ = 0;
};

} // namespace vintrel
