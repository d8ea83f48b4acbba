#include "stream/DebugDump.h"

#include "stream/StreamState.h"
#include "stream/SystemError.h"

#include <cerrno>
#include <cstring>

namespace vintrel {

namespace {
void PutWords(std::FILE* f, const uint32_t* w, int n) {
    uint8_t b[16];
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < 4; ++j) b[i * 4 + j] = uint8_t(w[i] >> (8 * j)); // little-endian records
    std::fwrite(b, 4, size_t(n), f);
}
} // namespace

bool DebugDump::Open(const std::string& folder, bool marks, std::string& error) {
    Close();
    marks_ = marks;
    auto open = [&](const char* name) {
        const std::string path = folder + "/" + name;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f && error.empty()) {
            const int err = errno;
            error = path + ": " + SystemErrorText(err); // the folder shows which one is missing
        }
        return f;
    };
    error.clear();
    raw_ = open(kRawDumpFile);
    readLog_ = open(kReadLogFile);
    parseLog_ = open(kParseLogFile);
    if (!raw_ || !readLog_ || !parseLog_) {
        Close();
        return false;
    }
    SetState(0);
    return true;
}

void DebugDump::Close() {
    for (std::FILE** f : {&raw_, &readLog_, &parseLog_})
        if (*f) {
            std::fclose(*f);
            *f = nullptr;
        }
}

void DebugDump::SetState(int state) {
    const uint16_t begin = uint16_t(0xB0B0 + state * 0x0101), end = uint16_t(0xE0E0 + state * 0x0101);
    for (int i = 0; i < 32; ++i) {
        frameBE_[i] = begin;
        frameBE_[32 + i] = end;
    }
}

void DebugDump::OnBlockRead(const uint8_t* data, uint32_t len, uint32_t markLen) {
    if (!raw_) return;
    const auto* marks = reinterpret_cast<const uint8_t*>(frameBE_.data());
    if (marks_) std::fwrite(marks, 1, markLen, raw_);
    if (len) std::fwrite(data, 1, len, raw_);
    if (marks_) std::fwrite(marks + 64, 1, markLen, raw_);
}

void DebugDump::OnReadLog(const uint32_t (&bufCopy)[4]) {
    if (readLog_) PutWords(readLog_, bufCopy, 4);
}

void DebugDump::OnFrame(const DecodedFrame& f) {
    if (!parseLog_) return;
    const uint32_t headTail = queue_ ? queue_->HeadTail() : 0;
    const uint32_t rec[4] = {f.ParseIndx, uint32_t(f.FrameNum),
                             s_.Parser.LastValidReadTime() * 65536u + uint32_t(f.FrameBufN) * 256u + headTail,
                             (f.ParseIndx + f.Bytes) & kRingMask};
    PutWords(parseLog_, rec, 4);
}

} // namespace vintrel
