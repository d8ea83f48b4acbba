#pragma once
// The window thread's side of the frame reports: counting checksum errors and inconsistent
// frames, and the automatic reconnect after a close run of inconsistent frames.
//
// Threads: the window thread's alone, the counters included; the others learn them from the
// counter labels.
#include "stream/StreamState.h"

namespace vintrel {

constexpr uint32_t kCloseRunFrames = 125;

struct StreamCounters {
    uint32_t CSerrorsCount = 0;
    uint32_t TotalInconsFrCount = 0;
    uint32_t InconsistFramesCount = 0;
    uint32_t FirstFaultyFrameCounter = 0;
    int32_t InconsistFramesThresh = 3; // 0 or less: never reconnect
};

// What the automatic reconnect asks of connection management.
class ReconnectControl {
public:
    virtual ~ReconnectControl() = default;
    // Closes and reopens the connection exactly as the Connect/Disconnect button does; the ring
    // is zero-filled and ReadIndx reset between the two. Connection management counts the drop
    // and the reconnection.
    virtual void Reconnect() = 0;
};

class FrameReports {
public:
    FrameReports(StreamState& s, ReconnectControl* reconnect) : s_(s), reconnect_(reconnect) {}

    // Message 0x918: wParam 12 checksum error or bad tag, 0 inconsistent frame number.
    void OnFrameReport(uintptr_t wParam, intptr_t lParam);
    // Returns true when the run reached the threshold and a reconnect was made.
    bool ProcessInconsistentFrames(uint32_t FrameCount);

    StreamCounters& Counters() { return counters_; }
    const StreamCounters& Counters() const { return counters_; }
    // A new parsing thread starts: its checksum errors and inconsistent frames count from 0.
    void ParserStarts() { counters_.CSerrorsCount = counters_.TotalInconsFrCount = 0; }

private:
    StreamState& s_;
    StreamCounters counters_;
    uint32_t runBreaksSeen_ = 0;
    ReconnectControl* reconnect_;
};

} // namespace vintrel
