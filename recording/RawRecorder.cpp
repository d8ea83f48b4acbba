#include "recording/RawRecorder.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vintrel {

RawRecorder::~RawRecorder() {
    StopAndClose();
}

bool RawRecorder::Create(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (TempFile >= 0) ::close(TempFile);
    // No sharing: a raw record another recorder holds is refused before it is emptied.
    TempFile = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    struct stat st {};
    if (TempFile < 0 || ::flock(TempFile, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(TempFile, 0) != 0 ||
        ::stat(path.c_str(), &st) != 0) {
        if (TempFile >= 0) ::close(TempFile);
        TempFile = -1;
        return false;
    }
    bytes_ = 0;
    lost_ = 0;
    writeFailed_ = false;
    return true;
}

void RawRecorder::Begin() {
    std::lock_guard lock(mutex_);
    RecNo = 0;
    RecSec = 0;
    s_.Add(StreamState::FRecord);
}

void RawRecorder::StopAndClose() {
    std::lock_guard lock(mutex_);
    s_.Remove(StreamState::FRecord);
    if (TempFile >= 0) ::close(TempFile);
    TempFile = -1;
}

bool RawRecorder::IsOpen() const {
    std::lock_guard lock(mutex_);
    return TempFile >= 0;
}

void RawRecorder::WriteFrame(const uint8_t* data, uint32_t n) {
    const uint64_t at = bytes_.load(std::memory_order_relaxed);
    uint32_t done = 0;
    int error = 0;
    while (done < n) {
        const ssize_t k = ::write(TempFile, data + done, n - done);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) {
            error = k < 0 ? errno : ENOSPC;
            break;
        }
        done += uint32_t(k);
    }
    if (done == n) {
        bytes_.store(at + n, std::memory_order_relaxed);
        return;
    }
    // The record keeps whole frames only: the part of this one that got out is taken back.
    if (done > 0 && (::ftruncate(TempFile, off_t(at)) != 0 || ::lseek(TempFile, off_t(at), SEEK_SET) < 0)) {
        ::close(TempFile); // the record cannot be mended: it ends with the frames before
        TempFile = -1;
    }
    lost_.fetch_add(1, std::memory_order_relaxed);
    if (!writeFailed_) {
        writeFailed_ = true;
        sink_.SetStat(std::string("Raw record write error (") + std::strerror(error) +
                          "): frames are being lost from the record",
                      StatStyle::BoldRed);
    }
}

void RawRecorder::OnFrame(const DecodedFrame& f) {
    if (!s_.Has(StreamState::FRecord)) return;
    std::lock_guard lock(mutex_);
    if (!s_.Has(StreamState::FRecord)) return; // the recording ended meanwhile
    if (f.Record && TempFile >= 0) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(s_.Decoder.WordPtr(f.FrameBufN, 0));
        WriteFrame(bytes, f.Bytes);
    } else if (f.Record) {
        lost_.fetch_add(1, std::memory_order_relaxed);
    }
    const int32_t n = RecNo.load(std::memory_order_relaxed) + 1;
    RecNo.store(n, std::memory_order_relaxed);
    RecSec.store(int32_t(std::floor(n / double(s_.Format().FramesPerSec))), std::memory_order_relaxed);
}

} // namespace vintrel
