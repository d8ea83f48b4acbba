// vintrel-cli export: the CSV of records made frame by frame, set against the decoder's record.
#include "stream/FrameLayout.h"
#include "stream/Replay.h"
#include "stream/ReplayTransport.h"
#include "support/CliRunner.h"
#include "support/FrameBuilder.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vintrel {
using test::RunCli;
namespace {

using Row = std::vector<std::string>;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<Row> ParseCsv(const std::string& text) {
    std::vector<Row> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        Row r;
        size_t from = 0;
        for (size_t comma; (comma = line.find(',', from)) != std::string::npos; from = comma + 1)
            r.push_back(line.substr(from, comma - from));
        r.push_back(line.substr(from));
        rows.push_back(r);
    }
    return rows;
}

std::string Field(int16_t v, bool agc = false) {
    return v == kNotAvailable ? "" : std::to_string(agc ? ConvertAGC(v) : v);
}

// The decoder's record of each frame, with the charts showing TXOUT1, Ampl_RXOUT1 and TXIN1.
class RecordTaker : public FrameConsumer {
public:
    explicit RecordTaker(StreamState& s) : s_(s) {}
    void OnFrame(const DecodedFrame& f) override {
        const auto& r = s_.Decoder.HeaderEveryFrInfo[f.FrameBufN];
        rows.push_back({std::to_string(f.Result), Field(r.ChannMax[1]), Field(r.VadStatus[1]),
                        Field(r.AGC[1], true), Field(r.ChannMax[2]), Field(r.AGC[2], true),
                        Field(r.ChannMax[3]), Field(r.NoiseDetect[3])});
    }
    std::vector<Row> rows;

private:
    StreamState& s_;
};

} // namespace

TEST(ExportCli, RowsMatchTheDecoderWithGapsAndLateChannels) {
    test::ScratchDir dir;
    std::vector<uint8_t> bytes;
    const uint32_t counters[] = {10, 11, 12, 13, 16, 17}; // 14 and 15 are missing
    for (int i = 0; i < 6; ++i) {
        test::NewFrame f(counters[i]);
        std::vector<int16_t> samples(32);
        for (int j = 0; j < 32; ++j) samples[j] = int16_t((j - 20) * (i + 1) * 10);
        f.Raw(0x0601, samples).Ampl(0x0F01, int16_t(1000 + i)).Diag(0x1301, int16_t(i % 2));
        if (i != 2) f.Diag(0x1701, 0x2A00); // frame 12 lacks the transmit AGC
        f.Diag(0x1801, 0x0400).Diag(0x1101, int16_t(500 + i)).Mips(200, int16_t(50 + i));
        if (i >= 3) f.Raw(0x0101, std::vector<int16_t>(32, int16_t(-7 * i))); // appears late
        if (i == 4) f.BadChecksum();
        test::Append(bytes, f.Bytes());
    }
    const std::string rec = dir.File("rec.bin"), csv = dir.File("out.csv");
    std::ofstream(rec, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());

    auto r = RunCli("export " + rec + " --csv " + csv);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::string text = ReadAll(csv);
    const std::vector<Row> rows = ParseCsv(text);
    ASSERT_EQ(rows.size(), 7u) << text;
    EXPECT_EQ(rows[0], ParseCsv("frame,time_s,result,mips_percent,volume,underflow,TXOUT1_peak,TXOUT1_vad,"
                                "TXOUT1_agc_gain,RXOUT1_peak,RXOUT1_agc_gain,TXIN1_peak,TXIN1_nd")[0]);

    MemoryTransport t(bytes);
    Replay replay(
        t, [&t] { return t.Exhausted(); }, ReplayOptions{});
    replay.State().Tags.SetChartTags({0x0601, 0x0F01, 0x0101, 0, 0});
    RecordTaker decoder(replay.State());
    replay.AddConsumer(&decoder);
    replay.Run();
    ASSERT_EQ(decoder.rows.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        const Row& row = rows[i + 1];
        ASSERT_EQ(row.size(), 13u) << i;
        EXPECT_EQ(row[0], std::to_string(counters[i]));
        EXPECT_EQ(Row(row.begin() + 6, row.end()), Row(decoder.rows[i].begin() + 1, decoder.rows[i].end()))
            << "frame " << counters[i];
        EXPECT_EQ(row[2], decoder.rows[i][0]);
        EXPECT_EQ(row[4] + row[5], ""); // volume and underflow: old protocol only
    }
    // The values the decoder's record gives, spelled out.
    EXPECT_EQ(rows[1][8], "4096");
    EXPECT_EQ(rows[1][10], "-256");
    EXPECT_EQ(rows[3][8], "");   // no AGC chunk in that frame
    EXPECT_EQ(rows[5][2], "-2"); // the bad checksum
    EXPECT_EQ(rows[3][11], "");  // TXIN1's samples come later
    EXPECT_EQ(rows[1][3], "25");
    EXPECT_EQ(rows[2][3], "25.5");
    // The gap shows in the time: 16 is six frames of 4 ms after 10.
    EXPECT_EQ(rows[4][1], "0.012");
    EXPECT_EQ(rows[5][1], "0.024");

    // "-" writes the same to standard output.
    r = RunCli("export " + rec + " --csv -");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, text);
}

TEST(ExportCli, OldProtocolCountersVolumeAndWriteFailures) {
    test::ScratchDir dir;
    std::vector<uint8_t> bytes;
    const uint16_t counters[] = {65534, 65535, 0, 1};
    for (uint16_t c : counters) {
        test::OldFrame f(c, 32);
        f.Key(kKeyVL, 7).Key(kKeyUF, 1).Key(kKeyNT, 300).Channels(0x1F, 100);
        test::Append(bytes, f.Bytes());
    }
    const std::string rec = dir.File("old.bin");
    std::ofstream(rec, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    auto r = RunCli("export " + rec + " --csv -");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "frame,time_s,result,mips_percent,volume,underflow,TXOUT1_peak,RXOUT1_peak,TXIN1_peak,"
                     "TXIN1_nd,TXIN2_peak,TXIN2_nd,RXIN1_peak\n"
                     "65534,0,0,,7,1,100,101,102,300,103,300,104\n"
                     "65535,0.004,0,,7,1,100,101,102,300,103,300,104\n"
                     "65536,0.008,0,,7,1,100,101,102,300,103,300,104\n"
                     "65537,0.012,0,,7,1,100,101,102,300,103,300,104\n");

    // A full disk and a folder that does not exist: the write-failure status, naming the file.
    for (const std::string& out : {std::string("/dev/full"), dir.File("no/such.csv")}) {
        r = RunCli("export " + rec + " --csv " + out);
        EXPECT_EQ(r.exitCode, 5) << out;
        EXPECT_NE(r.out.find("vintrel-cli export: cannot write \"" + out + "\": "), std::string::npos)
            << r.out;
    }
}

} // namespace vintrel
