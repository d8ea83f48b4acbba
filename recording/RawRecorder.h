#pragma once
// The raw record "temp.$$$": while a recording runs, every frame the parsing thread decoded is
// appended to it byte for byte, in normalised (little-endian) word order, and counted.
//
// Threads: Create, Begin and StopAndClose run on the window thread; OnFrame on the parsing
// thread. The test of FRecord and the write of one frame are made under mutex_, and so are the
// removal of FRecord and the close, so no write reaches a closed handle. RecNo and RecSec are
// written by the parsing thread (under mutex_) and read whole by the window thread.
#include "stream/FrameExtractor.h"
#include "stream/MessageSink.h"
#include "stream/StreamState.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace vintrel {

class RawRecorder : public FrameConsumer {
public:
    RawRecorder(StreamState& s, MessageSink& sink) : s_(s), sink_(sink) {}
    ~RawRecorder() override;
    RawRecorder(const RawRecorder&) = delete;
    RawRecorder& operator=(const RawRecorder&) = delete;

    // Creates the raw record (create-always, read and write, no other writer). False when it
    // cannot be created or is not there afterwards; nothing stays open then.
    bool Create(const std::string& path);
    // From here on the parsing thread writes and counts: RecNo and RecSec start from 0, FRecord is added.
    void Begin();
    // Removes FRecord and closes the raw record, exclusive with the write of a frame.
    void StopAndClose();
    bool IsOpen() const;

    // Parsing thread, every decoded frame.
    void OnFrame(const DecodedFrame& f) override;

    std::atomic<int32_t> RecNo{0};
    std::atomic<int32_t> RecSec{0};
    // Bytes in the raw record; a write that failed left none of its frame there.
    uint64_t BytesWritten() const { return bytes_.load(std::memory_order_relaxed); }
    uint64_t FramesLost() const { return lost_.load(std::memory_order_relaxed); }

private:
    void WriteFrame(const uint8_t* data, uint32_t n);

    StreamState& s_;
    MessageSink& sink_;
    mutable std::mutex mutex_;
    int TempFile = -1; // guarded by mutex_
    std::atomic<uint64_t> bytes_{0};
    std::atomic<uint64_t> lost_{0};
    bool writeFailed_ = false; // guarded by mutex_: the status line says it once per recording
};

} // namespace vintrel
