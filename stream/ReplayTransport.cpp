#include "stream/ReplayTransport.h"

#include "stream/SystemError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vintrel {

TransportRead MemoryTransport::Read(uint8_t* dst, uint32_t len, bool) {
    const size_t pos = pos_.load(std::memory_order_relaxed);
    const size_t n = std::min<size_t>({len, maxRead_, bytes_.size() - pos});
    std::memcpy(dst, bytes_.data() + pos, n);
    pos_.store(pos + n, std::memory_order_release);
    return {static_cast<uint32_t>(n), false};
}

FileTransport::~FileTransport() {
    if (f_ && ownsFile_) std::fclose(f_);
}

bool FileTransport::Open(const std::string& path, std::string& error) {
    if (path == "-") {
        f_ = stdin;
        return true;
    }
    f_ = std::fopen(path.c_str(), "rb");
    if (!f_) {
        error = SystemErrorText(errno);
        return false;
    }
    ownsFile_ = true;
    return true;
}

const std::vector<uint8_t>& FileTransport::LookAhead(size_t n) {
    if (!f_ || !ahead_.empty()) return ahead_;
    ahead_.resize(n);
    size_t got = 0;
    while (got < n) {
        const size_t r = std::fread(ahead_.data() + got, 1, n - got, f_);
        if (r == 0) break;
        got += r;
    }
    ahead_.resize(got);
    return ahead_;
}

TransportRead FileTransport::Read(uint8_t* dst, uint32_t len, bool) {
    if (!f_ || eof_) return {0, false};
    if (aheadPos_ < ahead_.size()) {
        const size_t n = std::min<size_t>(len, ahead_.size() - aheadPos_);
        std::memcpy(dst, ahead_.data() + aheadPos_, n);
        aheadPos_ += n;
        return {static_cast<uint32_t>(n), false};
    }
    const size_t n = std::fread(dst, 1, len, f_);
    if (n < len) {
        eof_ = true;
        failed_ = std::ferror(f_) != 0;
    }
    return {static_cast<uint32_t>(n), false};
}

} // namespace vintrel
