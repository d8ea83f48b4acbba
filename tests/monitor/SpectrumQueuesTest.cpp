// The spectrum inputs: when blocks become due, what they hold, and the hand-over between the parsing
// thread and the window thread.
#include "monitor/SpectrumQueues.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace vintrel {

namespace {

// Appends frames of consecutive values (a ramp modulo 30000) to channel k.
class RampFeeder {
public:
    void Frame(SpectrumQueues& q, int k, int n) {
        buf_.resize(size_t(n));
        for (auto& s : buf_) s = Next();
        q.Append(k, buf_.data(), n);
    }
    int16_t Next() { return int16_t(next_++ % 30000 - 15000); }
    int64_t Count() const { return next_; }

private:
    int64_t next_ = 0;
    std::vector<int16_t> buf_;
};

bool Consecutive(const float* block, int n) {
    for (int i = 1; i < n; ++i) {
        const int step = (int(block[i]) - int(block[i - 1]) + 30000) % 30000;
        if (step != 1) return false;
    }
    return true;
}

} // namespace

TEST(SpectrumQueues, A2048BlockOf32SampleFramesIsDrawnAfter64FramesThenOneFrameLater) {
    SpectrumQueues q(nullptr);
    q.InitForFFTplotting(2048);
    RampFeeder feed;
    std::vector<float> a(2048), b(2048), scratch(2048);
    std::vector<int> columnsAt;
    for (int frame = 1; frame <= 130; ++frame) {
        feed.Frame(q, 1, 32);
        float* into = columnsAt.empty() ? a.data() : columnsAt.size() == 1 ? b.data() : scratch.data();
        if (q.TakeBlock(1, into)) columnsAt.push_back(frame);
    }
    EXPECT_EQ(columnsAt, (std::vector<int>{64, 65, 128, 129}));
    // Both queues hold the same samples: the first two columns show the same first block.
    EXPECT_EQ(a, b);
    EXPECT_EQ(a[0], -15000.0f);
    EXPECT_TRUE(Consecutive(a.data(), 2048));
    // Other channels are untouched.
    EXPECT_FALSE(q.TakeBlock(2, scratch.data()));
}

TEST(SpectrumQueues, ALengthChangeTakesEffectAtTheNextBlockWithoutEmptyingTheQueues) {
    SpectrumQueues q(nullptr);
    q.InitForFFTplotting(256);
    RampFeeder feed;
    std::vector<float> block(512);
    for (int frame = 0; frame < 8; ++frame) feed.Frame(q, 3, 32); // 256 samples
    ASSERT_TRUE(q.TakeBlock(3, block.data()));
    EXPECT_EQ(q.FFTinToggle(3), 1);
    q.SetSamplesNeeded(512);
    EXPECT_EQ(q.Counter(3, 1), 256); // kept
    EXPECT_FALSE(q.TakeBlock(3, block.data()));
    for (int frame = 0; frame < 8; ++frame) feed.Frame(q, 3, 32);
    ASSERT_TRUE(q.TakeBlock(3, block.data()));
    EXPECT_EQ(block[0], -15000.0f); // the second queue still starts at the first sample
    EXPECT_TRUE(Consecutive(block.data(), 512));
    EXPECT_EQ(q.FFTinToggle(3), 0);
}

TEST(SpectrumQueues, CountsStayBoundedWhileNobodyTakesBlocks) {
    SpectrumQueues q(nullptr);
    q.InitForFFTplotting(256);
    RampFeeder feed;
    for (int frame = 0; frame < 200000; ++frame) feed.Frame(q, 5, 256); // 51 M samples, spectrum off
    EXPECT_LE(q.Counter(5, 0), SpectrumQueues::kRingSize);
    EXPECT_LE(q.Counter(5, 1), SpectrumQueues::kRingSize);
    EXPECT_GT(q.Dropped(), 0u);
    // Switching the spectrum on empties the queues: the first block holds samples that came after.
    q.InitForFFTplotting(256);
    EXPECT_EQ(q.Counter(5, 0), 0);
    const int16_t first = feed.Next();
    std::vector<int16_t> frame(256);
    frame[0] = first;
    for (size_t i = 1; i < frame.size(); ++i) frame[i] = feed.Next();
    q.Append(5, frame.data(), 256);
    std::vector<float> block(256);
    ASSERT_TRUE(q.TakeBlock(5, block.data()));
    EXPECT_EQ(block[0], float(first));
    EXPECT_TRUE(Consecutive(block.data(), 256));
}

TEST(SpectrumQueues, AQueueThatFallsBehindSkipsToItsNewestBlock) {
    // 256 samples a frame and 256-point blocks: each queue can take only every other frame's worth.
    SpectrumQueues q(nullptr);
    q.InitForFFTplotting(256);
    RampFeeder feed;
    std::vector<float> block(256);
    for (int frame = 0; frame < 5000; ++frame) {
        feed.Frame(q, 4, 256);
        if (q.TakeBlock(4, block.data())) {
            ASSERT_TRUE(Consecutive(block.data(), 256));
            for (int qi = 0; qi < 2; ++qi) ASSERT_LE(q.Counter(4, qi), SpectrumQueues::kBacklogLimit);
        }
    }
    EXPECT_EQ(q.Dropped(), 0u); // the writer never had to drop a frame
    // The block just taken is recent: within the backlog limit of the newest sample.
    const int newest = (int(feed.Count() - 1) % 30000) - 15000;
    const int age = (newest - int(block[255]) + 30000) % 30000;
    EXPECT_LE(age, SpectrumQueues::kBacklogLimit + 256);
}

TEST(SpectrumQueues, ParsingAndWindowThreadsHandOverWholeBlocks) {
    // The writer never has to drop here (it waits while the ring is nearly full, as a real-time stream
    // would have), so every block taken must be a run of consecutive samples: a block read while the
    // writer overwrote it would break the run. Queue restarts and skips happen between blocks.
    SpectrumQueues q(nullptr);
    q.InitForFFTplotting(1024);
    std::atomic<bool> done{false};
    std::thread parser([&] {
        RampFeeder feed;
        for (int frame = 0; frame < 300000; ++frame) {
            while (std::max(q.Counter(2, 0), q.Counter(2, 1)) > SpectrumQueues::kRingSize - 128)
                std::this_thread::yield();
            feed.Frame(q, 2, 64);
            if (frame % 8 == 0) std::this_thread::yield();
        }
        done = true;
    });
    std::vector<float> block(1024);
    uint64_t blocks = 0, torn = 0;
    for (int i = 0; !done.load() || i % 64 != 0; ++i) {
        if (i % 5000 == 4999) q.RequestInit(); // as the transport thread asks when the stream starts running
        if (q.TakeBlock(2, block.data())) {
            ++blocks;
            torn += !Consecutive(block.data(), 1024);
        }
        if (i % 16 == 0) std::this_thread::yield();
    }
    parser.join();
    EXPECT_GT(blocks, 0u);
    EXPECT_EQ(torn, 0u);
    EXPECT_EQ(q.Dropped(), 0u);
}

} // namespace vintrel
