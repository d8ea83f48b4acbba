// New-protocol frames of the simulator, checked the way a receiver reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "sim/ProfileData.h"
#include "sim/SimStreamScan.h"
#include "sim/StreamGenerator.h"
#include "stream/FrameLayout.h"
#include "stream/StreamFormat.h"

namespace vintrel::sim {
namespace {

using test::Chunk;
using test::ScanStream;
using test::WalkChunks;

test::StreamScan Scan(const StreamConfig& cfg, uint64_t frames) {
    return ScanStream(GenerateStream(cfg, frames), true, cfg.bigEndian,
                      GetStreamFormat(cfg.format).ChannLenWords);
}

TEST(SimNewProtocol, EveryFormatGivesWellFormedFrames) {
    for (int f = 0; f < kFormatCount; ++f) {
        SCOPED_TRACE(FormatCaption(static_cast<DataStreamFormat>(f)));
        StreamConfig cfg;
        cfg.format = static_cast<DataStreamFormat>(f);
        cfg.startCounter = 1000;
        const int n = GetStreamFormat(cfg.format).ChannLenWords;
        const auto scan = Scan(cfg, 120);
        ASSERT_EQ(scan.frames.size(), 120u);
        EXPECT_EQ(scan.trailingBytes, 0u);
        for (size_t i = 0; i < scan.frames.size(); ++i) {
            const auto& w = scan.frames[i].words;
            ASSERT_EQ(scan.frames[i].bytesSkippedBefore, 0u);
            EXPECT_EQ(w[0], 0xFFFF);
            EXPECT_EQ(w[1], 0xFFFF);
            EXPECT_EQ(w[2], 0xEEEE);
            EXPECT_EQ(w[3], 0xEEEE);
            EXPECT_EQ(w[6], w.size() * 2);
            EXPECT_EQ(test::NewCounter(w), 1000 + i);
            EXPECT_EQ(w.back(), FrameChecksum(w.data(), w.size()));

            size_t end = 0;
            const std::vector<Chunk> chunks = WalkChunks(w, end);
            ASSERT_EQ(end, w.size() - 1) << "the chunk walk must land on the checksum word";
            std::map<uint16_t, uint16_t> peaks;
            for (const Chunk& c : chunks) {
                if (c.tag >= 0x0100 && c.tag <= 0x08FF) {
                    ASSERT_EQ(c.body[0], n);
                    int peak = 0;
                    for (size_t k = 3; k < c.body.size(); ++k)
                        peak = std::max(peak, std::abs(static_cast<int16_t>(c.body[k])));
                    peaks[c.tag] = static_cast<uint16_t>(peak);
                } else if (c.tag >= 0x0900 && c.tag <= 0x10FF) {
                    ASSERT_TRUE(peaks.count(c.tag - 0x0800)) << "amplitude chunk before its raw chunk";
                    EXPECT_EQ(c.body[1], peaks[c.tag - 0x0800]);
                }
            }
        }
    }
}

TEST(SimNewProtocol, ChunkOrderAndChannelChoice) {
    const std::vector<uint16_t> preference = {0x0701, 0x0101, 0x0601, 0x0501, 0x0102};
    for (int count = 1; count <= 5; ++count) {
        SCOPED_TRACE(count);
        StreamConfig cfg;
        cfg.channels = count;
        const auto scan = Scan(cfg, 1);
        ASSERT_EQ(scan.frames.size(), 1u);
        size_t end = 0;
        std::vector<uint16_t> tags;
        for (const Chunk& c : WalkChunks(scan.frames[0].words, end)) tags.push_back(c.tag);

        std::vector<uint16_t> raw(preference.begin(), preference.begin() + count);
        std::sort(raw.begin(), raw.end());
        std::vector<uint16_t> expected = {0x8001, 0x8002};
        for (uint16_t t : raw) expected.insert(expected.end(), {t, static_cast<uint16_t>(t + 0x0800)});
        expected.insert(expected.end(), {0x1101, 0x1201, 0x1301, 0x1401, 0x1701, 0x1801, 0x8003});
        EXPECT_EQ(tags, expected);
    }
}

TEST(SimNewProtocol, CounterIsThirtyTwoBitsAndWraps) {
    StreamConfig cfg;
    cfg.startCounter = 0xFFFFFFFE;
    const auto scan = Scan(cfg, 4);
    ASSERT_EQ(scan.frames.size(), 4u);
    const uint32_t expected[] = {0xFFFFFFFE, 0xFFFFFFFF, 0, 1};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(test::NewCounter(scan.frames[i].words), expected[i]);
}

// Reassembles profiles the way the receiver does and checks that every transmission is complete
// and equal to the target's profile.
TEST(SimNewProtocol, ProfileChunksCarryTheWholeProfileOverAndOver) {
    for (TargetPlatform platform : {TargetPlatform::General, TargetPlatform::Kalimba}) {
        SCOPED_TRACE(PlatformCaption(platform));
        StreamConfig cfg;
        cfg.platform = platform;
        const TargetProfile profile = MakeTargetProfile(platform);
        const auto scan = Scan(cfg, 60);

        std::vector<uint16_t> assembled;
        int expectedChunkNo = 0, complete = 0;
        int left = -1;
        for (const auto& f : scan.frames) {
            size_t end = 0;
            for (const Chunk& c : WalkChunks(f.words, end)) {
                if (c.tag == 0x8001) {
                    EXPECT_EQ(c.body[0] & 0xFF, static_cast<int>(platform));
                    EXPECT_EQ(c.body[0] >> 8, profile.profileNumber);
                    EXPECT_EQ(static_cast<int16_t>(c.body[1]), profile.revision);
                }
                if (c.tag != 0x8003) continue;
                const int len = c.body[0], chunkNo = c.body[1], wordsLeft = c.body[2];
                ASSERT_EQ(chunkNo, expectedChunkNo);
                if (chunkNo > 0 && wordsLeft > 0) {
                    ASSERT_EQ(left - len, wordsLeft);
                }
                const int take = (left > 0 && left < len) ? left : len;
                assembled.insert(assembled.end(), c.body.begin() + 3, c.body.begin() + 3 + take);
                left = wordsLeft;
                ++expectedChunkNo;
                if (wordsLeft == 0) {
                    EXPECT_EQ(assembled, profile.words);
                    assembled.clear();
                    expectedChunkNo = 0;
                    left = -1;
                    ++complete;
                }
            }
        }
        EXPECT_GE(complete, 3);
    }
}

TEST(SimNewProtocol, AgcWordsDecodeToTheGainTheyEncode) {
    EXPECT_EQ(EncodeAgcGain(4096), 0x2A00);
    for (int g = 0; g <= 32767; ++g) {
        const int16_t w = EncodeAgcGain(g);
        const int e = w / 2048 - 2;
        const int back = ConvertAGC(w);
        ASSERT_LE(back, g) << g;
        ASSERT_GT(back, g - (e > 0 ? (1 << e) : 1)) << g;
    }
}

// The diagnostics must tell the same story as the samples: voice on RXout while it is loud,
// noise-only on TX1in while no echo reaches it.
TEST(SimNewProtocol, DiagnosticsAgreeWithTheSignals) {
    StreamConfig cfg;
    cfg.seed = 7;
    const auto scan = Scan(cfg, 5000); // 20 s
    int voiced = 0;
    for (const auto& f : scan.frames) {
        size_t end = 0;
        std::map<uint16_t, std::vector<uint16_t>> body;
        for (const Chunk& c : WalkChunks(f.words, end)) body[c.tag] = c.body;
        const int rxPeak = body.at(0x0F01)[1], txPeak = body.at(0x0901)[1];
        const int vadRx = static_cast<int16_t>(body.at(0x1401)[1]);
        const int ndTx = static_cast<int16_t>(body.at(0x1101)[1]);
        if (rxPeak > 3000) {
            EXPECT_GT(vadRx, 16383) << "a loud RXout frame is voiced";
        }
        if (vadRx <= 16383) {
            EXPECT_LT(rxPeak, 1000) << "an unvoiced RXout frame is quiet";
        }
        if (txPeak > 2000) {
            EXPECT_LT(ndTx, 16383) << "echo on TX1in is not noise";
        }
        voiced += vadRx > 16383;
        EXPECT_LT(static_cast<int16_t>(body.at(0x1301)[1]), 16383) << "there is no near-end talker";

        EXPECT_EQ(body.at(0x8002)[0], 120);
        EXPECT_GE(body.at(0x8002)[1], 40);
        EXPECT_LE(body.at(0x8002)[1], 90);
        const int agcTx = ConvertAGC(static_cast<int16_t>(body.at(0x1701)[1]));
        const int agcRx = ConvertAGC(static_cast<int16_t>(body.at(0x1801)[1]));
        EXPECT_GE(agcTx, 2000);
        EXPECT_LE(agcTx, 8200);
        EXPECT_GE(agcRx, 2500);
        EXPECT_LE(agcRx, 7000);
    }
    // Talk spurts and pauses both occur.
    EXPECT_GT(voiced, 500);
    EXPECT_LT(voiced, 4500);
}

} // namespace
} // namespace vintrel::sim
