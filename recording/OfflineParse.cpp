#include "recording/OfflineParse.h"

#include "recording/FileCause.h"

#include <memory>

namespace vintrel {

namespace {
constexpr size_t kSwapBlockBytes = size_t{8192} * 8;

// Removes the swapped copy however the parse ends.
struct RemoveOnExit {
    FileSystem& files;
    std::string path;
    ~RemoveOnExit() {
        if (!path.empty()) files.Remove(path);
    }
};
} // namespace

std::string SwapFileName(const std::string& chosen, const std::string& folder) {
    const size_t slash = chosen.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = chosen.find_last_of('.');
    const std::string ext = dot != std::string::npos && dot >= nameStart ? chosen.substr(dot) : "";
    const std::string copy = folder.empty() ? chosen : folder + "/" + chosen.substr(nameStart);
    return copy + "_LEnd" + ext;
}

int DetectRecordProtocol(FileSystem& files, const std::string& path, bool bigEndian) {
    RecordReader r(files);
    std::string error;
    if (!r.Open(path, error)) return -2;
    static constexpr uint8_t kNew[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xEE, 0xEE, 0xEE, 0xEE};
    const uint8_t oldLe[4] = {0xFE, 0x7F, 0x01, 0x80}, oldBe[4] = {0x7F, 0xFE, 0x80, 0x01};
    const int64_t atNew = r.FindMarker(kNew, sizeof kNew);
    r.Seek(0);
    const int64_t atOld = r.FindMarker(bigEndian ? oldBe : oldLe, 4, atNew < 0 ? INT64_MAX : atNew);
    if (atNew < 0 && atOld < 0) return -1;
    if (atOld < 0) return 1;
    if (atNew < 0) return 0;
    return atNew < atOld ? 1 : 0;
}

FormatFinding CheckRecordFormat(FileSystem& files, const std::string& path, bool bigEndian,
                                DataStreamFormat format) {
    int err = 0;
    const std::unique_ptr<File> file = files.Open(path, OpenMode::Read, err);
    if (!file) return FormatFinding{};
    auto buf = std::make_unique<uint8_t[]>(kFormatLookBytes);
    const size_t n = file->ReadAt(buf.get(), kFormatLookBytes, 0, err);
    return CheckStreamBytes(buf.get(), n, bigEndian, format);
}

ParseOutcome ParseOffline(RecordParser& parser, const OfflineRequest& r) {
    if (r.FileName.empty()) return ParseOutcome{};
    ParseRequest request = r.Parse;
    request.ProtocolType = r.ProtocolType;
    request.ProfileFromRecord = true; // a saved record carries its own profile
    if (request.ProtocolType < 0)
        request.ProtocolType =
            parser.Questions().YesNo("Sondrel parser", "Protocol unknown. Parse in new protocol?") ? 1 : 0;
    if (!r.BigEndian) return parser.ParseRecordedAudio(r.FileName, request);

    FileSystem& files = parser.Files();
    const std::string second = SwapFileName(r.FileName, r.SwapFolder);
    int inErr = 0, outErr = 0;
    std::unique_ptr<File> in = files.Open(r.FileName, OpenMode::Read, inErr);
    std::unique_ptr<File> out = in ? files.Open(second, OpenMode::CreateAlways, outErr) : nullptr;
    RemoveOnExit cleanup{files, out ? second : std::string()};
    if (!in || !out) {
        parser.Questions().MessageBox(
            "Sondrel parser",
            "Big Endian swapping failed: could not open" + r.FileName + " or " + second + "\n" +
                (!in ? OpenFailureCause(r.FileName, inErr) : CreateFailureCause(files, second, outErr)));
        return ParseOutcome{};
    }
    auto buf = std::make_unique<uint8_t[]>(kSwapBlockBytes);
    bool readFailed = false, writeFailed = false;
    for (uint64_t at = 0;; at += kSwapBlockBytes) {
        int readErr = 0, writeErr = 0;
        const size_t n = in->ReadAt(buf.get(), kSwapBlockBytes, at, readErr);
        if (readErr != 0) readFailed = true;
        for (size_t i = 0; i + 1 < n; i += 2) std::swap(buf[i], buf[i + 1]);
        if (n > 0 && out->WriteAt(buf.get(), n, at, writeErr) != n) writeFailed = true;
        if (n < kSwapBlockBytes || writeFailed) break;
    }
    in.reset();
    if (out->Close() != 0) writeFailed = true;
    if (readFailed || writeFailed) {
        // A copy that is not whole would be parsed as a shorter record without a word of warning.
        parser.Questions().MessageBox("Sondrel parser",
                                      std::string("Big Endian swapping failed: could not ") +
                                          (readFailed ? "read " + r.FileName : "write " + second));
        return ParseOutcome{};
    }
    return parser.ParseRecordedAudio(second, request);
}

} // namespace vintrel
