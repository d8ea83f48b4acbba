#include "recording/OfflineParse.h"

#include "recording/FileCause.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace vintrel {

namespace {
constexpr size_t kSwapBlockBytes = 8192 * 8;

// Removes the swapped copy however the parse ends.
struct RemoveOnExit {
    std::string path;
    ~RemoveOnExit() {
        if (!path.empty()) ::unlink(path.c_str());
    }
};

bool WriteAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t k = ::write(fd, p, n);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        p += k;
        n -= size_t(k);
    }
    return true;
}

size_t ReadFull(int fd, uint8_t* p, size_t n, bool& failed) {
    size_t done = 0;
    while (done < n) {
        const ssize_t k = ::read(fd, p + done, n - done);
        if (k < 0 && errno == EINTR) continue;
        if (k < 0) failed = true;
        if (k <= 0) break;
        done += size_t(k);
    }
    return done;
}
} // namespace

std::string SwapFileName(const std::string& chosen) {
    const size_t slash = chosen.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = chosen.find_last_of('.');
    const std::string ext = dot != std::string::npos && dot >= nameStart ? chosen.substr(dot) : "";
    return chosen + "_LEnd" + ext;
}

int DetectRecordProtocol(const std::string& path, bool bigEndian) {
    RecordReader r;
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

FormatFinding CheckRecordFormat(const std::string& path, bool bigEndian, DataStreamFormat format) {
    // Half a megabyte holds more than a hundred frames of any format.
    constexpr size_t kLookBytes = 512 * 1024;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return FormatFinding{};
    auto buf = std::make_unique<uint8_t[]>(kLookBytes);
    bool failed = false;
    const size_t n = ReadFull(fd, buf.get(), kLookBytes, failed);
    ::close(fd);
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

    const std::string second = SwapFileName(r.FileName);
    const int in = ::open(r.FileName.c_str(), O_RDONLY | O_CLOEXEC);
    const int inErr = errno;
    const int out = in < 0 ? -1 : ::open(second.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int outErr = errno;
    RemoveOnExit cleanup{out >= 0 ? second : std::string()};
    if (in < 0 || out < 0) {
        if (in >= 0) ::close(in);
        parser.Questions().MessageBox(
            "Sondrel parser",
            "Big Endian swapping failed: could not open" + r.FileName + " or " + second + "\n" +
                (in < 0 ? OpenFailureCause(r.FileName, inErr) : CreateFailureCause(second, outErr)));
        return ParseOutcome{};
    }
    auto buf = std::make_unique<uint8_t[]>(kSwapBlockBytes);
    bool readFailed = false, writeFailed = false;
    for (;;) {
        const size_t n = ReadFull(in, buf.get(), kSwapBlockBytes, readFailed);
        for (size_t i = 0; i + 1 < n; i += 2) std::swap(buf[i], buf[i + 1]);
        if (n > 0 && !WriteAll(out, buf.get(), n)) writeFailed = true;
        if (n < kSwapBlockBytes || writeFailed) break;
    }
    ::close(in);
    if (::close(out) != 0) writeFailed = true;
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
