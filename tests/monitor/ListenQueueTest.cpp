// The listening queue: lead-in, filling, queuing, skipping when every buffer is taken, and what the
// output reads from it.
#include "monitor/ListenQueue.h"

#include "stream/Clock.h"
#include "stream/QueueSink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace vintrel {

namespace {

constexpr int kBufferBytes = ListenQueue::kBufferSamples * 2;

// Frames of consecutive non-zero values.
class Signal {
public:
    const int16_t* Frame(int n) {
        frame_.resize(size_t(n));
        for (auto& s : frame_) s = int16_t(1 + next_++ % 20000);
        return frame_.data();
    }
    int16_t At(int64_t i) const { return int16_t(1 + i % 20000); }

private:
    int64_t next_ = 0;
    std::vector<int16_t> frame_;
};

std::vector<int16_t> ReadAll(ListenQueue& q) {
    std::vector<int16_t> out(ListenQueue::kBuffers * ListenQueue::kBufferSamples);
    const int64_t got = q.Read(reinterpret_cast<char*>(out.data()), int64_t(out.size() * 2));
    out.resize(size_t(got / 2));
    return out;
}

} // namespace

TEST(ListenQueue, StartQueuesFourSilentBuffersThenTheFramesInOrder) {
    ListenQueue q(nullptr);
    q.Start();
    EXPECT_EQ(q.Head(), 3);
    EXPECT_EQ(q.Tail(), 0);
    EXPECT_EQ(q.SoundCount(), 0);
    for (int b = 0; b < 4; ++b) EXPECT_TRUE(q.Queued(b));
    EXPECT_FALSE(q.Queued(4));
    Signal sig;
    q.Feed(sig.Frame(32), 32); // opens buffer 4: 1024 / 32 = 32 frames
    EXPECT_EQ(q.Head(), 4);
    EXPECT_EQ(q.SoundCount(), 31);
    for (int i = 1; i < 32; ++i) q.Feed(sig.Frame(32), 32);
    EXPECT_EQ(q.SoundCount(), 0);
    EXPECT_TRUE(q.Queued(4));
    const auto played = ReadAll(q);
    ASSERT_EQ(played.size(), 5u * ListenQueue::kBufferSamples);
    for (int i = 0; i < 4 * ListenQueue::kBufferSamples; ++i) ASSERT_EQ(played[size_t(i)], 0) << i;
    for (int i = 0; i < ListenQueue::kBufferSamples; ++i)
        ASSERT_EQ(played[size_t(4 * ListenQueue::kBufferSamples + i)], sig.At(i)) << i;
    EXPECT_EQ(q.Tail(), 5);
}

TEST(ListenQueue, FramesAreSkippedWhileAllSixteenBuffersAreQueued) {
    ListenQueue q(nullptr);
    q.Start();
    Signal sig;
    // Buffers 4..15 fill (12 x 8 frames of 128); then buffer 0 is still queued: every buffer is taken.
    for (int i = 0; i < 12 * 8; ++i) q.Feed(sig.Frame(128), 128);
    EXPECT_EQ(q.Head(), 15);
    EXPECT_EQ(q.FramesSkipped(), 0u);
    for (int i = 0; i < 5; ++i) q.Feed(sig.Frame(128), 128);
    EXPECT_EQ(q.FramesSkipped(), 5u);
    EXPECT_EQ(q.Head(), 15);
    EXPECT_EQ(q.SoundCount(), 0);
    // The output finishes one buffer: the next frame opens it again.
    std::vector<char> one(kBufferBytes);
    ASSERT_EQ(q.Read(one.data(), kBufferBytes), kBufferBytes);
    EXPECT_EQ(q.Tail(), 1);
    const int64_t resumeAt = 12 * 8 * 128 + 5 * 128;
    q.Feed(sig.Frame(128), 128);
    EXPECT_EQ(q.Head(), 0);
    EXPECT_EQ(q.SoundCount(), 7);
    // What plays is gap-free up to the skip, then resumes with the first frame after it.
    const auto played = ReadAll(q);
    ASSERT_EQ(played.size(), 15u * ListenQueue::kBufferSamples);
    for (int64_t i = 0; i < 3 * 1024; ++i) ASSERT_EQ(played[size_t(i)], 0);
    for (int64_t i = 0; i < 12 * 1024; ++i) ASSERT_EQ(played[size_t(3 * 1024 + i)], sig.At(i)) << i;
    for (int i = 0; i < 7; ++i) q.Feed(sig.Frame(128), 128);
    const auto after = ReadAll(q);
    ASSERT_EQ(after.size(), 1024u);
    EXPECT_EQ(after[0], sig.At(resumeAt));
}

TEST(ListenQueue, AFrameWithoutSamplesOpensNothing) {
    ListenQueue q(nullptr);
    q.Start();
    Signal sig;
    q.Feed(sig.Frame(32), 0);
    q.Feed(nullptr, 32);
    EXPECT_EQ(q.Head(), 3);
    EXPECT_EQ(q.SoundCount(), 0);
    EXPECT_FALSE(q.Queued(4));
    // Through the parsing thread's hook: the played slot carries no samples in this frame.
    QueueSink sink;
    ManualClock clock;
    auto stream = std::make_unique<StreamState>(sink, clock);
    ListenQueue fed(stream.get());
    fed.Start();
    fed.SetListen(CHART12);
    TNewProtHeaderEveryFrameData& r = stream->Decoder.HeaderEveryFrInfo[7];
    r.SamplesPtr[CHART12] = stream->Decoder.WordPtr(7, 100);
    r.FrameLen[CHART12] = 64;
    r.SampleIndInBuf[CHART12] = 0; // not in this frame
    DecodedFrame f;
    f.FrameBufN = 7;
    fed.OnFrame(f);
    EXPECT_EQ(fed.Head(), 3);
    r.SampleIndInBuf[CHART12] = 100;
    fed.OnFrame(f);
    EXPECT_EQ(fed.Head(), 4);
    EXPECT_EQ(fed.SoundCount(), 15);
    EXPECT_EQ(fed.FormatRate.load(), 8000);
}

TEST(ListenQueue, PlaybackResumesAfterTheOutputRanDry) {
    ListenQueue q(nullptr);
    q.Start();
    Signal sig;
    for (int i = 0; i < 32; ++i) q.Feed(sig.Frame(32), 32);
    EXPECT_EQ(ReadAll(q).size(), 5u * 1024); // Tail has passed Head: nothing is queued
    EXPECT_EQ(q.Tail(), 5);
    EXPECT_EQ(q.Head(), 4);
    for (int i = 0; i < 32; ++i) q.Feed(sig.Frame(32), 32);
    const auto more = ReadAll(q);
    ASSERT_EQ(more.size(), 1024u);
    EXPECT_EQ(more[0], sig.At(1024));
    EXPECT_EQ(q.FramesSkipped(), 0u);
}

TEST(ListenQueue, FrameLengthsThatDoNotDivideABufferNeverOverrunIt) {
    ListenQueue q(nullptr);
    q.Start();
    Signal sig;
    q.Feed(sig.Frame(32), 32);                                // buffer 4 opened for 32-sample frames ...
    for (int i = 0; i < 40; ++i) q.Feed(sig.Frame(100), 100); // ... then the frame length changes
    std::vector<int16_t> played = ReadAll(q);
    ASSERT_EQ(played.size(), 7u * 1024); // 4 silent + 3 full buffers of the 4032 samples fed
    for (int64_t i = 0; i < 3 * 1024; ++i) ASSERT_EQ(played[size_t(4 * 1024 + i)], sig.At(i)) << i;
    EXPECT_EQ(q.Read(nullptr, 0), 0);
}

TEST(ListenQueue, OutputReadsInPiecesOfAnySize) {
    ListenQueue q(nullptr);
    q.Start();
    Signal sig;
    for (int i = 0; i < 64; ++i) q.Feed(sig.Frame(64), 64); // buffers 4..7
    std::vector<char> bytes;
    char piece[333];
    int64_t n;
    while ((n = q.Read(piece, sizeof piece)) > 0) bytes.insert(bytes.end(), piece, piece + n);
    ASSERT_EQ(bytes.size(), 8u * kBufferBytes);
    const int16_t* s = reinterpret_cast<const int16_t*>(bytes.data());
    for (int i = 0; i < 4 * 1024; ++i) ASSERT_EQ(s[4 * 1024 + i], sig.At(i));
    EXPECT_EQ(q.Tail(), 8);
}

TEST(ListenQueue, ParkStopsTheParsingThreadTouchingTheQueue) {
    QueueSink sink;
    ManualClock clock;
    auto stream = std::make_unique<StreamState>(sink, clock);
    TNewProtHeaderEveryFrameData& r = stream->Decoder.HeaderEveryFrInfo[0];
    r.SamplesPtr[CHART11] = stream->Decoder.WordPtr(0, 8);
    r.FrameLen[CHART11] = 32;
    r.SampleIndInBuf[CHART11] = 8;
    ListenQueue q(stream.get());
    q.Start();
    q.SetListen(CHART11);
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> frames{0};
    std::thread parser([&] {
        DecodedFrame f;
        while (!stop.load()) {
            q.OnFrame(f);
            frames.fetch_add(1);
        }
    });
    std::vector<char> sound(4 * kBufferBytes);
    for (int round = 0; round < 200; ++round) {
        q.Read(sound.data(), int64_t(sound.size())); // the output plays on meanwhile
        q.Park();
        const uint8_t head = q.Head();
        const int count = q.SoundCount();
        const uint64_t seen = frames.load();
        while (frames.load() < seen + 3) std::this_thread::yield(); // frames keep coming, NOCHART
        EXPECT_EQ(q.Head(), head);
        EXPECT_EQ(q.SoundCount(), count);
        q.ClearBuffers(); // safe now: nobody writes the buffers
        q.Start();
        q.SetListen(round % 2 ? CHART11 : CHART12);
    }
    stop = true;
    parser.join();
}

} // namespace vintrel
