#include "recording/RecordReader.h"

#include "recording/FileCause.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vintrel {

RecordReader::RecordReader() : buf_(std::make_unique_for_overwrite<uint8_t[]>(kBufferBytes)) {}

RecordReader::~RecordReader() {
    Close();
}

bool RecordReader::Open(const std::string& path, std::string& error) {
    Close();
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        openErrno_ = fd_ < 0 ? errno : 0;
        error = OpenFailureCause(path, openErrno_);
        Close();
        return false;
    }
    size_ = st.st_size;
    pos_ = 0;
    bufStart_ = 0;
    bufLen_ = 0;
    failed_ = false;
    return true;
}

void RecordReader::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    bufLen_ = 0;
}

bool RecordReader::Fill() {
    bufStart_ = pos_;
    bufLen_ = 0;
    while (bufLen_ < kBufferBytes) {
        const ssize_t n =
            ::pread(fd_, buf_.get() + bufLen_, kBufferBytes - bufLen_, bufStart_ + int64_t(bufLen_));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failed_ = true;
        if (n <= 0) break;
        bufLen_ += size_t(n);
    }
    return bufLen_ > 0;
}

size_t RecordReader::Read(void* dst, size_t n) {
    if (fd_ < 0) return 0;
    auto* out = static_cast<uint8_t*>(dst);
    size_t done = 0;
    while (done < n) {
        if (pos_ < bufStart_ || pos_ >= bufStart_ + int64_t(bufLen_)) {
            if (!Fill()) break;
        }
        const size_t at = size_t(pos_ - bufStart_);
        const size_t k = std::min(n - done, bufLen_ - at);
        std::memcpy(out + done, buf_.get() + at, k);
        done += k;
        pos_ += int64_t(k);
    }
    return done;
}

int64_t RecordReader::FindMarker(const uint8_t* marker, size_t len, int64_t limit) {
    if (fd_ < 0) return -1;
    const int64_t start = pos_;
    const int64_t lastStart = limit > INT64_MAX - start ? INT64_MAX : start + limit - 1;
    for (;;) {
        if (pos_ > lastStart) return -1;
        if (pos_ < bufStart_ || pos_ + int64_t(len) > bufStart_ + int64_t(bufLen_)) {
            // Refill so that a marker crossing the old buffer's end is seen whole.
            if (!Fill() || bufLen_ < len) {
                pos_ = std::max(pos_, size_);
                return -1;
            }
        }
        const uint8_t* base = buf_.get();
        const uint8_t* p = base + (pos_ - bufStart_);
        // The last place a whole marker fits, and not past the limit.
        const uint8_t* last = base + std::min<int64_t>(int64_t(bufLen_ - len), lastStart - bufStart_);
        for (;;) {
            p = static_cast<const uint8_t*>(std::memchr(p, marker[0], size_t(last - p) + 1));
            if (!p) break;
            if (std::memcmp(p, marker, len) == 0) {
                pos_ = bufStart_ + (p - base);
                return pos_ - start;
            }
            if (++p > last) break;
        }
        pos_ = bufStart_ + (last - base) + 1;
    }
}

} // namespace vintrel
