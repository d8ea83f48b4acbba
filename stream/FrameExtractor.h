#pragma once
// The parsing thread's work on the ring: find the first frame marker, then take whole frames at
// ParseIndx, check their numbers, copy them into the next frame buffer, decode them, report
// damage and hand them on. The thread that owns an extractor waits for the transport's events
// and calls Round (or OnWaitTimedOut when nothing came within 32 ms).
//
// Threads: everything here is the parsing thread's. It writes only its own values (ParseIndx
// through the ring's reader, ParserPublished, the frame buffers); what the transport thread
// must change (its state, its read size) is asked through TransportControl::Ask.
#include "stream/LiveFormatCheck.h"
#include "stream/StreamState.h"
#include "stream/TransportLoop.h"

#include <cstdint>

namespace vintrel {

constexpr uint32_t kUnreportedFrames = 250; // the first 251 frames after a start are never reported

// One frame as handed to the consumers (recording, listening, delay, spectrum, inspection).
struct DecodedFrame {
    int FrameBufN = 0;
    uint32_t Bytes = 0;
    int Result = 0;               // decoder result: 0, -1 bad tag, -2 checksum (before it is forgiven)
    bool Record = true;           // false: not written to the raw record
    int64_t FrameNum = 0;         // new protocol: 32-bit counter; old protocol: sign-extended 16 bits
    int Protocol = 1;             // 0 old, 1 new
    uint32_t FramesFromStart = 0; // counted before this frame
    uint32_t ParseIndx = 0;       // ring position of the frame
    bool Inconsistent = false;
};

class FrameConsumer {
public:
    virtual ~FrameConsumer() = default;
    virtual void OnFrame(const DecodedFrame& f) = 0;
};

// Posted when the set of channel tags the target sends has changed and the lists may be rebuilt.
constexpr uint32_t WM_TAGS_CHANGED = 0x91A;
// Posted once per parsing thread when the stream contradicts the format or byte order chosen;
// (wParam, lParam) carry the finding (UnpackFinding).
constexpr uint32_t WM_FORMAT_REPORT = 0x91B;

class FrameExtractor {
public:
    explicit FrameExtractor(StreamState& s) : s_(s), ring_(s.Ring.Consumer()) {}

    // The parsing thread starts: frame buffer 0, counters 0.
    void Start();
    // One round after an event (DataArrived, DataTimedOut or SwitchedToRunning); returns frames
    // taken. Without fallBack, a round that finds no whole frame reports nothing. `last` says
    // that no more bytes will come: a damaged frame whose end may hold the start of the next one
    // is then judged on the bytes there are instead of waiting for more.
    int Round(TransportEvent woke, bool fallBack = true, bool last = false);
    // Nothing arrived within 32 ms: "Lost sync"; a serial or USB link is given up. waitedMs is
    // how long the wait lasted by the clock.
    void OnWaitTimedOut(uint32_t waitedMs = kLostSyncMs);

    void AddConsumer(FrameConsumer* c) {
        if (consumerCount_ < kMaxConsumers) consumers_[consumerCount_++] = c;
    }

    uint32_t FramesFromStart() const { return framesFromStart_; }
    int FrameBufN() const { return frameBufN_; }
    // True once a frame marker has been found and frames follow each other from it.
    bool Synced() const { return synced_; }

private:
    static constexpr int kMaxConsumers = 8;
    enum class Cut { No, Yes, Undecided };
    void TakeFrame(uint32_t len);
    Cut CutShort(uint32_t len, uint32_t avail, bool last, uint32_t* restart);
    bool Search();
    void LoseSync(ParserAsk ask);
    void FallBack(TransportEvent woke);
    void ReportLostSync();
    FrameSilence& Silent() { return s_.Parser.silence_; }
    void CheckFrameNumber(DecodedFrame& f);
    void RaisePeaks(int FrameBufN);
    void CheckFormat(bool silent);

    StreamState& s_;
    ReceiveRing::Reader& ring_;
    FrameConsumer* consumers_[kMaxConsumers] = {};
    int consumerCount_ = 0;
    int frameBufN_ = 0;
    uint32_t framesFromStart_ = 0;
    int64_t prevFrameNum_ = 0;
    bool synced_ = false;
    uint32_t frameBytes_ = 0; // length of the frames being taken
    LiveFormatCheck formatCheck_;
};

} // namespace vintrel
