// Old-protocol frames of the simulator.
#include <gtest/gtest.h>

#include <bit>
#include <map>

#include "sim/ProfileData.h"
#include "sim/SimStreamScan.h"
#include "sim/StreamGenerator.h"
#include "stream/FrameLayout.h"
#include "stream/StreamFormat.h"

namespace vintrel::sim {
namespace {

std::map<uint16_t, uint16_t> HeaderKeys(const std::vector<uint16_t>& w) {
    std::map<uint16_t, uint16_t> keys;
    for (size_t i = 4; i < 26; i += 2) keys[w[i]] = w[i + 1];
    return keys;
}

TEST(SimOldProtocol, FrameLengthHeaderKeysAndBlocks) {
    for (int f = 0; f < kFormatCount; ++f) {
        for (int channels = 1; channels <= 5; ++channels) {
            SCOPED_TRACE(std::string(FormatCaption(static_cast<DataStreamFormat>(f))) + " channels " +
                         std::to_string(channels));
            StreamConfig cfg;
            cfg.protocol = Protocol::Old;
            cfg.format = static_cast<DataStreamFormat>(f);
            cfg.channels = channels;
            cfg.startCounter = 0xFFF0;
            const int n = GetStreamFormat(cfg.format).ChannLenWords;
            const auto bytes = GenerateStream(cfg, 40);
            const auto scan = test::ScanStream(bytes, false, false, n);
            ASSERT_EQ(scan.frames.size(), 40u);
            ASSERT_EQ(scan.trailingBytes, 0u);
            for (size_t i = 0; i < scan.frames.size(); ++i) {
                const auto& w = scan.frames[i].words;
                ASSERT_EQ(w.size() * 2, static_cast<size_t>((1 + channels) * n * 2));
                EXPECT_EQ(w[0], 0x7FFE);
                EXPECT_EQ(w[1], 0x8001);
                EXPECT_EQ(w[2], static_cast<uint16_t>(0xFFF0 + i)) << "16-bit counter, wrapping";
                const auto keys = HeaderKeys(w);
                for (uint16_t k : {kKeyCH, kKeyCS, kKeyVL, kKeyUF, kKeyNT, kKeyNR})
                    EXPECT_TRUE(keys.count(k)) << k;
                EXPECT_EQ(std::popcount(keys.at(kKeyCH)), channels);
                EXPECT_GE(keys.at(kKeyCS), 40);
                EXPECT_LE(keys.at(kKeyCS), 90);
            }
        }
    }
}

// The receiver finds the channel mask by scanning for "CH" at every other word from word 4 up to
// byte 128, the last hit winning; samples in the first channel block must not pass for the key.
TEST(SimOldProtocol, MaskScanOverHeaderAndFirstBlockFindsTheMask) {
    StreamConfig cfg;
    cfg.protocol = Protocol::Old;
    cfg.seed = 3;
    const auto bytes = GenerateStream(cfg, 2500);
    const auto scan = test::ScanStream(bytes, false, false, 32);
    ASSERT_EQ(scan.frames.size(), 2500u);
    for (const auto& f : scan.frames) {
        int mask = -1;
        for (size_t q = 8; q + 3 < 129 && q + 3 < f.words.size() * 2; q += 4)
            if (f.words[q / 2] == kKeyCH) mask = f.words[q / 2 + 1];
        ASSERT_EQ(mask, 0x1F);
    }
}

// Blocks follow in mask-bit order: TXout, RXout, TX1in, TX2in, RXin. The new protocol carries the
// same samples for the same seed, so each block can be matched with its tagged chunk.
TEST(SimOldProtocol, BlocksFollowMaskBitOrder) {
    StreamConfig cfg;
    cfg.channels = 3; // RXout, TX1in, TXout: mask 0b00111
    const auto newScan = test::ScanStream(GenerateStream(cfg, 50), true, false, 32);
    cfg.protocol = Protocol::Old;
    const auto oldScan = test::ScanStream(GenerateStream(cfg, 50), false, false, 32);
    ASSERT_EQ(oldScan.frames.size(), 50u);
    const auto raw = test::RawChannels(newScan);
    const uint16_t blockTags[] = {0x0601, 0x0701, 0x0101};
    for (size_t i = 0; i < oldScan.frames.size(); ++i) {
        const auto& w = oldScan.frames[i].words;
        ASSERT_EQ(HeaderKeys(w).at(kKeyCH), 0x07);
        for (int b = 0; b < 3; ++b)
            for (size_t k = 0; k < 32; ++k)
                ASSERT_EQ(static_cast<int16_t>(w[32 * (b + 1) + k]), raw.at(blockTags[b])[32 * i + k])
                    << "frame " << i << " block " << b;
    }
}

// Word 3 carries the PS key table word at index counter & 0xFF; the table passes the receiver's
// validity walk.
TEST(SimOldProtocol, PsKeyTableTravelsWithTheCounter) {
    const auto table = MakeOldPskTable();
    EXPECT_EQ(table[0], 0x5350);
    const size_t len1 = table[3];
    const size_t len2 = table[5 + len1];
    const size_t len3 = table[7 + len1 + len2];
    EXPECT_GE(len1, 5u);
    EXPECT_LT(len1, 64u);
    EXPECT_LT(len2, 64u);
    EXPECT_LT(len3, 64u);
    const size_t endIndex = 8 + len1 + len2 + len3;
    ASSERT_LT(endIndex, 200u);
    EXPECT_EQ(table[endIndex], 0x4B53);

    StreamConfig cfg;
    cfg.protocol = Protocol::Old;
    cfg.startCounter = 0x12F0;
    const auto scan = test::ScanStream(GenerateStream(cfg, 600), false, false, 32);
    ASSERT_EQ(scan.frames.size(), 600u);
    int marks = 0;
    for (const auto& f : scan.frames) {
        EXPECT_EQ(f.words[3], table[f.words[2] & 0xFF]);
        marks += (f.words[2] & 0xFF) == 0 && f.words[3] == 0x5350;
    }
    EXPECT_EQ(marks, 3); // counters 0x1300, 0x1400, 0x1500
}

} // namespace
} // namespace vintrel::sim
