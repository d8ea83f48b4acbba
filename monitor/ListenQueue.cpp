#include "monitor/ListenQueue.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace vintrel {

ListenQueue::ListenQueue(const StreamState* stream) : stream_(stream) {}

void ListenQueue::Park() {
    listen_.store(NOCHART, std::memory_order_seq_cst);
    // The parsing thread raises feeding_ before it reads Listen, so once it is down again every
    // later frame sees NOCHART. A frame's copy takes microseconds.
    while (feeding_.load(std::memory_order_seq_cst)) std::this_thread::yield();
}

void ListenQueue::ClearBuffers() {
    for (int b = 0; b < kBuffers; ++b) {
        queued_[size_t(b)].store(false, std::memory_order_relaxed);
        dataOut_[size_t(b)].fill(0);
    }
}

void ListenQueue::BufSilence() {
    const int b = head_.load(std::memory_order_relaxed);
    dataOut_[size_t(b)].fill(0);
    QueueBuffer(b);
    head_.store(uint8_t((b + 1) % kBuffers), std::memory_order_relaxed);
}

void ListenQueue::Start() {
    for (auto& q : queued_) q.store(false, std::memory_order_relaxed);
    head_.store(0, std::memory_order_relaxed);
    tail_.store(0, std::memory_order_release);
    readOffset_ = 0;
    for (int i = 0; i < kLeadInBuffers; ++i) BufSilence();
    head_.store(kLeadInBuffers - 1, std::memory_order_release);
    soundCount_ = 0;
    fill_ = 0;
}

void ListenQueue::OnFrame(const DecodedFrame& f) {
    feeding_.store(true, std::memory_order_seq_cst);
    const TChart chart = listen_.load(std::memory_order_seq_cst);
    if (chart >= CHART11 && chart <= CHART22 && stream_) {
        const TNewProtHeaderEveryFrameData& r = stream_->Decoder.HeaderEveryFrInfo[size_t(f.FrameBufN)];
        const int n = r.SampleIndInBuf[chart] != 0 && r.SamplesPtr[chart] ? r.FrameLen[chart] : 0;
        if (soundCount_ == 0 && n > 0) FormatRate.store(stream_->Format().SamplingRateFromSettings);
        Feed(r.SamplesPtr[chart], n);
    }
    feeding_.store(false, std::memory_order_release);
}

void ListenQueue::Feed(const int16_t* samples, int n) {
    if (n <= 0 || !samples) return; // a frame without samples opens nothing and copies nothing
    int left = n;
    while (left > 0) {
        if (soundCount_ == 0) {
            const int next = (head_.load(std::memory_order_relaxed) + 1) % kBuffers;
            // Every buffer is queued and unplayed when the next one is still queued. (Comparing with
            // Tail alone would also match after the output ran dry, Tail having passed Head, and
            // then no buffer would ever be opened again.)
            if (queued_[size_t(next)].load(std::memory_order_acquire)) {
                skipped_.fetch_add(1, std::memory_order_relaxed);
                return;
            }
            head_.store(uint8_t(next), std::memory_order_release);
            fill_ = 0;
            soundCount_ = std::max(1, kBufferSamples / n);
        }
        const int b = head_.load(std::memory_order_relaxed);
        // Every frame format's sample count divides 1024; a count that does not (a changed or odd
        // frame length) fills the buffer exactly and carries the rest into the next one.
        const int c = std::min(left, kBufferSamples - fill_);
        std::memcpy(dataOut_[size_t(b)].data() + fill_, samples + (n - left), size_t(c) * sizeof(int16_t));
        fill_ += c;
        left -= c;
        soundCount_ = (kBufferSamples - fill_ + n - 1) / n;
        if (fill_ == kBufferSamples) {
            soundCount_ = 0;
            QueueBuffer(b);
        }
    }
}

int64_t ListenQueue::Read(char* data, int64_t maxBytes) {
    constexpr int kBufferBytes = kBufferSamples * int(sizeof(int16_t));
    int64_t done = 0;
    while (done < maxBytes) {
        const int b = tail_.load(std::memory_order_relaxed);
        if (!queued_[size_t(b)].load(std::memory_order_acquire)) break;
        const int64_t c = std::min<int64_t>(maxBytes - done, kBufferBytes - readOffset_);
        std::memcpy(data + done, reinterpret_cast<const char*>(dataOut_[size_t(b)].data()) + readOffset_,
                    size_t(c));
        done += c;
        readOffset_ += int(c);
        if (readOffset_ == kBufferBytes) { // the buffer is done: the parsing thread may reuse it
            readOffset_ = 0;
            queued_[size_t(b)].store(false, std::memory_order_release);
            tail_.store(uint8_t((b + 1) % kBuffers), std::memory_order_release);
        }
    }
    return done;
}

int64_t ListenQueue::BytesQueued() const { // audio pull only: reads its own read position
    int64_t bytes = 0;
    int b = tail_.load(std::memory_order_acquire);
    for (int i = 0; i < kBuffers && queued_[size_t(b)].load(std::memory_order_acquire); ++i) {
        bytes += kBufferSamples * int64_t(sizeof(int16_t));
        b = (b + 1) % kBuffers;
    }
    return bytes - readOffset_;
}

} // namespace vintrel
