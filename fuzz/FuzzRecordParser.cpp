// The record parser on an arbitrary raw record: the file is written to a scratch folder and
// parsed into WAV files and reports there, which are removed afterwards. Byte 0 chooses the
// protocol, format and checksum check; the rest is the record. At damage the parse goes on
// without asking, as "vintrel-cli parse" does by default.
//
// With bit 6 of byte 0 set, the rest describes a record of whole valid new-protocol frames
// instead (one sample count per record, then a byte a frame: its numbering step and its channel
// set), and the files are checked: all are the same length, the frames plus the fill that the
// gap mode (bit 5: exact, with a small cap) prescribes for every break in the numbering.
#include "fuzz/FuzzInput.h"
#include "recording/PosixFileSystem.h"
#include "recording/RecordParser.h"
#include "stream/QueueSink.h"
#include "stream/Tags.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

using namespace vintrel;

class GoOn : public UserQuestions {
public:
    DamageAnswer AbortRetryIgnore(std::string_view, std::string_view) override {
        return DamageAnswer::Ignore;
    }
    bool YesNo(std::string_view, std::string_view) override { return true; }
    void ErrorBox(std::string_view, std::string_view) override {}
    void MessageBox(std::string_view, std::string_view) override {}
};

constexpr uint64_t kGapCap = 5;
constexpr int kFramesBeforeScan = 63; // one second of "8 Ksps, 16 ms" frames

struct Generated {
    std::vector<uint8_t> bytes;
    uint64_t blocks = 0; // the frames and the silent blocks the parse must write
};

// Frames numbered from 100000 on, each carrying MIPS, TX1in and the raw chunks of its channel set.
Generated Generate(fuzz::FuzzInput& in, bool exact) {
    static constexpr uint16_t kTags[5] = {0x0101, 0x0102, 0x0501, 0x0601, 0x0701};
    Generated g;
    const int n = 32 + in.Byte() % 33; // 64 bytes a block at least: shorter files count as damaged
    const size_t described = std::min<size_t>(in.RestSize(), 400);
    uint32_t num = 100000;
    for (size_t f = 0; f < described + kFramesBeforeScan + 2; ++f) {
        const uint8_t d = f < described ? in.Byte() : 0xF9; // past the input: +1, every channel
        if (f > 0) {
            const uint32_t prev = num;
            const int k = (d >> 1) & 3;
            switch (d & 7) {
            case 0: // the same number again
                break;
            case 1:
            case 3:
            case 5:
                num += 1;
                break;
            case 2:
            case 4:
                num += 2 + 3 * uint32_t(k); // 1 to 10 frames missing
                break;
            default:
                num -= uint32_t(k) + 1;
                break;
            }
            if (num != prev + 1) {
                const uint64_t missing = uint64_t(num) - prev - 1;
                g.blocks += num > prev && exact ? std::min(missing, kGapCap) : uint64_t(kNewGapBlocks);
            }
        }
        std::vector<uint16_t> w = {0xFFFF, 0xFFFF, 0xEEEE, 0xEEEE, uint16_t(num), uint16_t(num >> 16), 0, 0};
        w.insert(w.end(), {0x8002, 100, uint16_t(f % 100), 0});
        for (int c = 0; c < 5; ++c) {
            if (c > 0 && !((d >> 3) & (1 << c))) continue; // TX1in in every frame
            w.insert(w.end(), {kTags[c], uint16_t(n), 0, 0});
            for (int i = 0; i < n; ++i) w.push_back(uint16_t(f * 31 + size_t(i)));
        }
        w.push_back(0);
        w[6] = uint16_t(2 * w.size());
        uint16_t sum = 0;
        for (size_t i = 0; i + 1 < w.size(); ++i) sum ^= w[i];
        w.back() = sum;
        for (uint16_t v : w) g.bytes.insert(g.bytes.end(), {uint8_t(v), uint8_t(v >> 8)});
        ++g.blocks;
    }
    g.blocks *= uint64_t(n);
    return g;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    fuzz::FuzzInput in(data, size);
    const uint8_t options = in.Byte();
    const std::string dir = fuzz::ScratchFolder() + "/parse";
    fs::create_directories(dir);
    const std::string record = dir + "/in.$$$";
    const bool generated = options & 0x40;
    const bool exact = options & 0x20;
    Generated g;
    if (generated) {
        g = Generate(in, exact);
        if (!fuzz::WriteFile(record, g.bytes.data(), g.bytes.size())) return 0;
    } else if (!fuzz::WriteFile(record, in.Rest(), in.RestSize())) {
        return 0;
    }

    QueueSink sink;
    GoOn questions;
    PosixFileSystem files;
    RecordParser parser(sink, questions, files);
    ParseRequest request;
    request.ProtocolType = options & 1 ? 0 : 1;
    request.Format = GetStreamFormat(DataStreamFormat((options >> 1) % kFormatCount));
    request.VerifyChecksum = !(options & 0x80);
    request.Settings.RecordingsFolder = dir;
    request.Settings.FileNameBase = "rec";
    request.Settings.IncludeTimeStamp = false;
    request.Settings.DeleteRawRecord = false;
    if (generated) {
        request.ProtocolType = 1;
        request.Format = GetStreamFormat(DataStreamFormat::Ksps8Ms16);
        request.Settings.Gaps = exact ? GapFill::Exact : GapFill::Marker;
        request.MaxGapFrames = kGapCap;
    }
    const ParseOutcome o = parser.ParseRecordedAudio(record, request);
    if (generated) {
        // Every file holds the frames and the prescribed fill, in samples.
        if (o.WavFiles.empty()) std::abort();
        for (const std::string& f : o.WavFiles)
            if (uint64_t(files.SizeOf(f)) != 44 + 2 * g.blocks) std::abort();
    }

    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) fs::remove(e.path(), ec);
    return 0;
}
