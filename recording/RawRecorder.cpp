#include "recording/RawRecorder.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vintrel {

RawRecorder::~RawRecorder() {
    StopAndClose();
}

bool RawRecorder::Create(const std::string& path) {
    StopAndClose();
    // No sharing: a raw record another recorder holds is refused before it is emptied.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    struct stat st {};
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0 ||
        ::stat(path.c_str(), &st) != 0) {
        if (fd >= 0) ::close(fd);
        return false;
    }
    TempFile = fd;
    bytes_ = 0;
    lost_ = 0;
    writeFailed_ = false;
    return true;
}

void RawRecorder::Begin() {
    RecNo = 0;
    RecSec = 0;
    recording_.store(true, std::memory_order_seq_cst);
    s_.Add(StreamState::FRecord);
}

void RawRecorder::StopAndClose() {
    s_.Remove(StreamState::FRecord);
    recording_.store(false, std::memory_order_seq_cst);
    // A frame the parser began to write before it saw the stop ends first: one write at most.
    while (writing_.load(std::memory_order_seq_cst)) std::this_thread::yield();
    const int fd = TempFile.exchange(-1);
    if (fd >= 0) ::close(fd);
}

bool RawRecorder::IsOpen() const {
    return TempFile.load() >= 0;
}

void RawRecorder::WriteFrame(const uint8_t* data, uint32_t n) {
    const int fd = TempFile.load(std::memory_order_relaxed);
    const uint64_t at = bytes_.load(std::memory_order_relaxed);
    uint32_t done = 0;
    int error = 0;
    while (done < n) {
        const ssize_t k = ::write(fd, data + done, n - done);
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
    if (done > 0 && (::ftruncate(fd, off_t(at)) != 0 || ::lseek(fd, off_t(at), SEEK_SET) < 0)) {
        TempFile = -1; // the record cannot be mended: it ends with the frames before
        ::close(fd);
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
    if (!recording_.load(std::memory_order_relaxed)) return;
    writing_.store(true, std::memory_order_seq_cst);
    if (!recording_.load(std::memory_order_seq_cst)) { // the recording ended meanwhile
        writing_.store(false, std::memory_order_release);
        return;
    }
    if (f.Record && TempFile.load(std::memory_order_relaxed) >= 0) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(s_.Decoder.WordPtr(f.FrameBufN, 0));
        WriteFrame(bytes, f.Bytes);
    } else if (f.Record) {
        lost_.fetch_add(1, std::memory_order_relaxed);
    }
    const int32_t n = RecNo.load(std::memory_order_relaxed) + 1;
    RecNo.store(n, std::memory_order_relaxed);
    RecSec.store(int32_t(std::floor(n / double(s_.Format().FramesPerSec))), std::memory_order_relaxed);
    writing_.store(false, std::memory_order_release);
}

} // namespace vintrel
