#pragma once
// The state of one receiver that the window, the transport thread and the parsing thread share.
// Each part has one writing thread, and its type says which:
//   Ring        ReadIndx and the bytes: transport thread; ParseIndx: parsing thread
//   Control     the state machine: transport thread, on requests of the window and the parser
//   Parser      the parsing thread's published values (ParserPublished)
//   HandOff     the frame buffers between the parser and the window (FrameHandOff)
//   Settings, the format and the decoder's set-up: window thread, while both threads are parked
//   State       the set FRecord/Usb/Corr: window thread
// The decoder and the tag model say for themselves.
#include "stream/Clock.h"
#include "stream/FrameDecoder.h"
#include "stream/FrameHandOff.h"
#include "stream/LinkLiveness.h"
#include "stream/MessageSink.h"
#include "stream/ReceiveRing.h"
#include "stream/StreamFormat.h"
#include "stream/TagModel.h"
#include "stream/TransportControl.h"
#include "stream/Types.h"

#include <atomic>
#include <cstdint>

namespace vintrel {

// Values the parsing thread alone writes and every thread may read.
class ParserPublished {
public:
    explicit ParserPublished(const Clock& clock) : silence_(clock) {}
    // Tick count when the last whole frame was taken (or the parser last started looking).
    uint32_t LastValidReadTime() const { return silence_.LastFrameTime(); }
    // Moves each time the parser finds the transport INACTIVE or CONNECTING: the window's run of
    // close inconsistent frames starts again.
    uint32_t RunBreaks() const { return runBreaks_.load(std::memory_order_relaxed); }
    // Sample chunks whose count ran past their frame (kept bounded to the frame), over the
    // receiver's life: reconnections and new parsing threads do not reset it.
    uint64_t MalformedChunks() const { return malformedChunks_.load(std::memory_order_relaxed); }

private:
    friend class FrameExtractor;
    friend class TParsingThread;
    FrameSilence silence_;
    std::atomic<uint32_t> runBreaks_{0};
    std::atomic<uint64_t> malformedChunks_{0};
};

class StreamState {
public:
    StreamState(MessageSink& sink, const Clock& clock);

    MessageSink& Sink;
    const Clock& Ticks;

    ReceiveRing Ring;
    TransportControl Control;
    ParserPublished Parser;
    FrameHandOff HandOff;
    TagModel Tags;
    DecoderSettings Settings;
    FrameDecoder Decoder;

    // The set `State`: a recording runs, a connection has been made, frames also go to the
    // delay window. Written by the window thread, read per frame by the parsing thread.
    enum StateFlag : uint8_t { FRecord = 1, Usb = 2, Corr = 4 };
    bool Has(StateFlag f) const { return state_.load(std::memory_order_acquire) & f; }
    void Add(StateFlag f) { state_.fetch_or(f, std::memory_order_acq_rel); }
    void Remove(StateFlag f) { state_.fetch_and(uint8_t(~f), std::memory_order_acq_rel); }
    void Set(uint8_t flags) { state_.store(flags, std::memory_order_release); }
    uint8_t Flags() const { return state_.load(std::memory_order_acquire); }

    // The data stream format chosen at connect; the parsing thread reads it per frame.
    void SetFormat(DataStreamFormat f);
    StreamFormat Format() const { return format_; }
    DataStreamFormat FormatChoice() const { return choice_; }
    SyncParams Sync() const {
        return SyncParams{Settings.BigEndian.load(std::memory_order_relaxed),
                          Settings.ChannLenWords.load(std::memory_order_relaxed)};
    }

private:
    std::atomic<uint8_t> state_{0};
    StreamFormat format_;
    DataStreamFormat choice_ = DataStreamFormat::Ksps8Ms4;
};

} // namespace vintrel
