#pragma once
// The raw record "temp.$$$": while a recording runs, every frame the parsing thread decoded is
// appended to it byte for byte, in normalised (little-endian) word order, and counted.
// A recording outlives the program's own reconnections. The first frame of a new connection
// is compared with the last frame recorded: with the same protocol and frame layout it goes on
// in the same record (the frames lost meanwhile are a gap in the numbering); otherwise nothing
// more is written and LayoutChanged tells the window to end the record and start another.
//
// Threads: Create, Begin, StopAndClose and IsOpen run on the window thread; OnFrame on the
// parsing thread. The file belongs to the parser while recording_ is set, to the window
// otherwise: the parser marks each frame it writes (writing_), and StopAndClose clears
// recording_ and waits out a frame being written before it closes the file. No lock is held
// across a write. RecNo and RecSec are written by the parsing thread while recording and reset
// by the window before it starts one.
#include "recording/FileSystem.h"
#include "stream/FrameExtractor.h"
#include "stream/MessageSink.h"
#include "stream/StreamState.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace vintrel {

class RawRecorder : public FrameConsumer {
public:
    RawRecorder(StreamState& s, MessageSink& sink, FileSystem& files) : s_(s), sink_(sink), files_(files) {}
    ~RawRecorder() override;
    RawRecorder(const RawRecorder&) = delete;
    RawRecorder& operator=(const RawRecorder&) = delete;

    // Creates the raw record (create-always, read and write, no other writer). False when it
    // cannot be created or is not there afterwards, with cause (when given) naming the file or
    // its folder and the reason; nothing stays open then.
    bool Create(const std::string& path, std::string* cause = nullptr);
    // From here on the parsing thread writes and counts: RecNo and RecSec start from 0, FRecord is
    // added. With a frameLimit above 0 no frame is written after that many.
    void Begin(int32_t frameLimit = 0);
    // Removes FRecord and closes the raw record, exclusive with the write of a frame.
    void StopAndClose();
    bool IsOpen() const;
    // The frame limit given to Begin is recorded.
    bool LimitReached() const {
        return frameLimit_ > 0 && RecNo.load(std::memory_order_relaxed) >= frameLimit_;
    }

    // Parsing thread, every decoded frame.
    void OnFrame(const DecodedFrame& f) override;

    // The first frame of a connection did not match the record; nothing is written any more.
    bool LayoutChanged() const { return layoutChanged_.load(std::memory_order_acquire); }
    // The protocol of the frames in the record (1 new, 0 old); -1 before the first.
    int RecordedProtocol() const { return protocol_.load(std::memory_order_relaxed); }

    std::atomic<int32_t> RecNo{0};
    std::atomic<int32_t> RecSec{0};
    // Bytes in the raw record; a write that failed left none of its frame there.
    uint64_t BytesWritten() const { return bytes_.load(std::memory_order_relaxed); }
    uint64_t FramesLost() const { return lost_.load(std::memory_order_relaxed); }

private:
    void WriteFrame(const uint8_t* data, uint32_t n);
    uint64_t LayoutKey(const DecodedFrame& f) const;

    StreamState& s_;
    MessageSink& sink_;
    FileSystem& files_;
    std::atomic<bool> recording_{false};
    int32_t frameLimit_ = 0; // written by Begin before recording_ is set
    std::atomic<bool> writing_{false};
    // The raw record, owned here; the parser closes it (and sets null) only when a failed write
    // cannot be taken back.
    std::atomic<File*> TempFile{nullptr};
    std::atomic<uint64_t> bytes_{0};
    std::atomic<uint64_t> lost_{0};
    bool writeFailed_ = false; // the status line says it once per recording
    std::atomic<bool> layoutChanged_{false};
    std::atomic<int> protocol_{-1};
    // Parsing thread: the layout of the last frame recorded; a connection began since.
    uint64_t lastLayout_ = 0;
    bool newConnection_ = false;
};

} // namespace vintrel
