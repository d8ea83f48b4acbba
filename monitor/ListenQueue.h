#pragma once
// Live listening's ring of 16 buffers of 1024 samples. The parsing thread copies the played chart
// slot's samples of every frame into buffer Head and queues the buffer when it is full; the sound
// output pulls queued buffers in order and advances Tail past each one it has finished. Four silent
// buffers lead the sound, so playback starts 4096 samples behind.
//
// Threads: the parsing thread (OnFrame, Feed) writes Head, SoundCount, the fill position and the
// buffer it fills, and queues buffers; the audio pull (Read) writes Tail and its read position and
// un-queues finished buffers; the window thread (Park, Start, SetListen) touches the buffers only
// while nobody listens and the output is stopped. Head, Tail, Listen and the per-buffer queued flags
// are atomics; a buffer is handed over by its queued flag (release/acquire). Park waits until the
// parsing thread has left a frame it may have started before Listen became NOCHART.
#include "stream/FrameExtractor.h"
#include "stream/StreamState.h"
#include "stream/Types.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace vintrel {

class ListenQueue : public FrameConsumer {
public:
    static constexpr int kBuffers = 16;
    static constexpr int kBufferSamples = 1024;
    static constexpr int kLeadInBuffers = 4;

    // `stream` gives the frame records and the format OnFrame reads; may be null when only Feed is used.
    explicit ListenQueue(const StreamState* stream);

    // Window thread.
    // Listen := NOCHART, then waits (briefly) until the parsing thread is out of Feed.
    void Park();
    // Zeroes all 16 buffers and un-queues them. Only while parked and the output stopped.
    void ClearBuffers();
    // The queue side of opening the device: Head = Tail = 0, four silent buffers queued, Head = 3
    // (the last queued one), SoundCount = 0. Only while parked and the output stopped.
    void Start();
    // Starts feeding the chart slot's samples (after Start), or stops with NOCHART (then Park).
    void SetListen(TChart chart) { listen_.store(chart, std::memory_order_seq_cst); }
    TChart Listen() const { return listen_.load(std::memory_order_acquire); }

    // Parsing thread.
    void OnFrame(const DecodedFrame& f) override;
    // One frame's n samples of the played slot: fills buffer Head, opening the next one when none is
    // open and one is free; a frame that finds every buffer queued and unplayed is skipped.
    void Feed(const int16_t* samples, int n);
    // The output format's rate: set by the window when playback starts and by the parsing thread
    // from the stream format whenever a buffer is opened; RestoreAudio opens the device with it.
    std::atomic<int> FormatRate{8000};

    // Audio pull: copies up to maxBytes of queued sound, un-queuing each buffer it finishes and
    // advancing Tail; returns the bytes copied (0 when nothing is queued).
    int64_t Read(char* data, int64_t maxBytes);
    // Audio pull: bytes queued and not yet read.
    int64_t BytesQueued() const;

    uint8_t Head() const { return head_.load(std::memory_order_relaxed); }
    uint8_t Tail() const { return tail_.load(std::memory_order_relaxed); }
    // Head x 16 + Tail, for the parse log.
    uint8_t HeadTail() const { return uint8_t(Head() * 16 + Tail()); }
    int SoundCount() const { return soundCount_; }
    bool Queued(int b) const { return queued_[size_t(b)].load(std::memory_order_acquire); }
    const int16_t* DataOut(int b) const { return dataOut_[size_t(b)].data(); }
    uint64_t FramesSkipped() const { return skipped_.load(std::memory_order_relaxed); }

private:
    void BufSilence();
    void QueueBuffer(int b) { queued_[size_t(b)].store(true, std::memory_order_release); }

    const StreamState* stream_;
    std::array<std::array<int16_t, kBufferSamples>, kBuffers> dataOut_{};
    std::array<std::atomic<bool>, kBuffers> queued_{};
    std::atomic<uint8_t> head_{0};
    std::atomic<uint8_t> tail_{0};
    std::atomic<TChart> listen_{NOCHART};
    std::atomic<bool> feeding_{false};
    // Parsing thread's own.
    int soundCount_ = 0; // frames still to copy into buffer Head; 0 = no buffer open
    int fill_ = 0;       // samples already in buffer Head
    // Audio pull's own.
    int readOffset_ = 0; // bytes already read from buffer Tail
    std::atomic<uint64_t> skipped_{0};
};

} // namespace vintrel
