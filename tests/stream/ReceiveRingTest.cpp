#include "stream/ReceiveRing.h"
#include "stream/ReplayTransport.h"
#include "support/FrameBuilder.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vintrel {
namespace {

// Puts bytes into the ring at `at` (wrapping) and sets the indices around them.
void Load(ReceiveRing& ring, uint32_t at, const std::vector<uint8_t>& bytes) {
    ring.ResetParked(at);
    ring.Producer().Write(bytes.data(), uint32_t(bytes.size()));
}

std::vector<uint8_t> Noise(size_t n, uint8_t v = 0x11) {
    return std::vector<uint8_t>(n, v);
}

} // namespace

TEST(ReceiveRing, SearchNeedsEighteenBytes) {
    ReceiveRing ring;
    auto frame = test::NewFrame(1).Raw(0x0101, {1, 2, 3}).Bytes();
    std::vector<uint8_t> bytes(frame.begin(), frame.begin() + 17);
    Load(ring, 100, bytes);
    EXPECT_EQ(ring.Consumer().FindStartPointInCycBuf(false, {}), 0);
    Load(ring, 100, frame);
    EXPECT_EQ(ring.Consumer().FindStartPointInCycBuf(false, {}), int32_t(frame.size()));
    EXPECT_EQ(ring.ProtocolType(), 1);
    EXPECT_EQ(ring.OldProtCH(), -1);
}

TEST(ReceiveRing, CandidateNearTheEndEndsTheSearch) {
    ReceiveRing ring;
    auto bytes = Noise(30);
    bytes[30 - 6] = 0xFF; // 6 bytes before the end: not enough to tell
    Load(ring, 0, bytes);
    EXPECT_EQ(ring.Consumer().FindStartPointInCycBuf(false, {}), 0);
    EXPECT_EQ(ring.ParseIndx(), 0u);
}

TEST(ReceiveRing, FindsMarkersAcrossTheRingEndInBothByteOrders) {
    for (bool be : {false, true}) {
        ReceiveRing ring;
        auto bytes = Noise(7);
        test::Append(bytes, test::NewFrame(5).Raw(0x0101, {1, 2}).Bytes(be));
        Load(ring, kRingSize - 10, bytes); // the marker straddles the end
        const int32_t len = ring.Consumer().FindStartPointInCycBuf(false, {be, 32});
        EXPECT_EQ(len, int32_t(bytes.size() - 7)) << be;
        EXPECT_EQ(ring.ParseIndx(), kRingSize - 3);
    }
}

TEST(ReceiveRing, OldProtocolMarkerOnlyInTheChosenByteOrder) {
    const auto le = test::OldFrame(1, 32).Channels(0x0005).Bytes(false);
    const auto be = test::OldFrame(1, 32).Channels(0x0005).Bytes(true);
    ReceiveRing ring;
    Load(ring, 0, le);
    EXPECT_EQ(ring.Consumer().FindStartPointInCycBuf(false, {false, 32}), 3 * 64);
    EXPECT_EQ(ring.OldProtCH(), 5);
    EXPECT_EQ(ring.ProtocolType(), 0);
    Load(ring, 0, le);
    EXPECT_EQ(ring.Consumer().FindStartPointInCycBuf(false, {true, 32}), 0);
    Load(ring, 0, be);
    EXPECT_EQ(ring.Consumer().FindStartPointInCycBuf(false, {true, 32}), 3 * 64);
    Load(ring, 0, be);
    EXPECT_EQ(ring.Consumer().FindStartPointInCycBuf(false, {false, 32}), 0);
}

TEST(ReceiveRing, OldProtocolMaskRules) {
    ReceiveRing ring;
    Load(ring, 0, test::OldFrame(1, 32).NoMaskKey(5).Bytes());
    EXPECT_EQ(ring.Consumer().FindStartPointInCycBuf(false, {false, 32}), 6 * 64); // no "CH": all five
    EXPECT_EQ(ring.OldProtCH(), 31);

    Load(ring, 0, test::OldFrame(1, 32).Key(0x4843, 0x0001).Channels(0x0023).Bytes());
    EXPECT_EQ(ring.Consumer().FindStartPointInCycBuf(false, {false, 32}),
              6 * 64); // the last "CH" counts, 0x23 -> 31
    EXPECT_EQ(ring.OldProtCH(), 31);

    Load(ring, 0, test::OldFrame(1, 32).Channels(0x8001).NoMaskKey(4).Bytes());
    EXPECT_EQ(ring.Consumer().FindStartPointInCycBuf(false, {false, 32}), 6 * 64); // bit 15: all five
}

TEST(ReceiveRing, SyncedSearchReportsAMisplacedMarker) {
    ReceiveRing ring;
    auto bytes = Noise(2);
    test::Append(bytes, test::NewFrame(1).Bytes());
    Load(ring, 50, bytes);
    EXPECT_EQ(ring.Consumer().FindStartPointInCycBuf(true, {}), -1);
    EXPECT_EQ(ring.ParseIndx(), 50u);
}

TEST(ReceiveRing, ImpossibleLengthWordsAreNotFrameStarts) {
    for (uint16_t badLen : {uint16_t(0), uint16_t(2), uint16_t(17), uint16_t(33)}) {
        ReceiveRing ring;
        auto bytes = test::NewFrame(1).LengthWord(badLen).Raw(0x0101, {1}).Bytes();
        const auto good = test::NewFrame(2).Raw(0x0101, {1}).Bytes();
        test::Append(bytes, good);
        Load(ring, 0, bytes);
        // Synced: the damaged start is not taken; the next real frame is elsewhere.
        EXPECT_EQ(ring.Consumer().FindStartPointInCycBuf(true, {}), -1) << badLen;
        EXPECT_EQ(ring.Consumer().FindStartPointInCycBuf(false, {}), int32_t(good.size())) << badLen;
        EXPECT_EQ(ring.ParseIndx(), uint32_t(bytes.size() - good.size())) << badLen;
    }
}

TEST(ReceiveRing, ReadsSplitAtTheRingEnd) {
    std::vector<uint8_t> src(3000);
    for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i * 7);
    MemoryTransport t(src);
    ReceiveRing ring;
    ring.ResetParked(524000);

    struct Recorder : ReadObserver {
        std::vector<std::pair<uint32_t, uint32_t>> blocks;
        void OnBlockRead(const uint8_t*, uint32_t len, uint32_t mark) override {
            blocks.push_back({len, mark});
        }
    } rec;
    ReadObserver* obs[] = {&rec};
    uint32_t split = 0;
    EXPECT_EQ(ring.Producer().ReadToCycBuf(t, 3000, obs, 1, &split), 3000u);
    EXPECT_EQ(split, (2712u << 16) | 288u);
    ASSERT_EQ(rec.blocks.size(), 2u);
    EXPECT_EQ(rec.blocks[0], std::make_pair(288u, 16u));
    EXPECT_EQ(rec.blocks[1], std::make_pair(2712u, 16u));
    std::vector<uint8_t> back(3000);
    ring.CopyOut(524000, back.data(), 3000);
    EXPECT_EQ(back, src);
}

TEST(ReceiveRing, FailedFirstPartSkipsTheSecond) {
    struct Failing : Transport {
        int calls = 0;
        TransportRead Read(uint8_t*, uint32_t, bool) override {
            ++calls;
            return {0, true};
        }
    } t;
    ReceiveRing ring;
    ring.ResetParked(kRingSize - 4);
    EXPECT_EQ(ring.Producer().ReadToCycBuf(t, 100, nullptr, 0), 0u);
    EXPECT_EQ(t.calls, 1);
}

} // namespace vintrel
