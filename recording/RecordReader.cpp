#include "recording/RecordReader.h"

#include "recording/FileCause.h"

#include <algorithm>
#include <cstring>

namespace vintrel {

RecordReader::RecordReader(FileSystem& files)
    : files_(files), buf_(std::make_unique_for_overwrite<uint8_t[]>(kBufferBytes)) {}

RecordReader::~RecordReader() {
    Close();
}

bool RecordReader::Open(const std::string& path, std::string& error) {
    Close();
    int err = 0;
    file_ = files_.Open(path, OpenMode::Read, err);
    FileStatus st;
    if (!file_ || file_->Status(st) != 0 || st.Kind != FileKind::Regular) {
        openErrno_ = err;
        error = OpenFailureCause(path, openErrno_);
        Close();
        return false;
    }
    size_ = int64_t(st.Size);
    pos_ = 0;
    bufStart_ = 0;
    bufLen_ = 0;
    failed_ = false;
    return true;
}

void RecordReader::Close() {
    file_.reset();
    bufLen_ = 0;
}

bool RecordReader::Fill() {
    bufStart_ = pos_;
    bufLen_ = 0;
    int err = 0;
    bufLen_ = file_->ReadAt(buf_.get(), kBufferBytes, uint64_t(bufStart_), err);
    if (err != 0) failed_ = true;
    return bufLen_ > 0;
}

size_t RecordReader::Read(void* dst, size_t n) {
    if (!file_) return 0;
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
    if (!file_) return -1;
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
