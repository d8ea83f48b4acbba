#include "recording/WavFile.h"

#include "recording/FileCause.h"

#include <algorithm>
#include <cstring>

namespace vintrel {

namespace {
constexpr uint32_t FourCC(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}
} // namespace

const std::array<uint32_t, 11> FWavHeader = {
    FourCC("RIFF"), 36,    FourCC("WAVE"), FourCC("fmt "), 16, 1u | 1u << 16,
    8000,           16000, 2u | 16u << 16, FourCC("data"), 0};

std::array<uint8_t, kWavHeaderBytes> MakeWavHeader(int sampleRate, uint64_t fileBytes) {
    std::array<uint32_t, 11> h = FWavHeader;
    const uint64_t data = fileBytes >= kWavHeaderBytes ? fileBytes - kWavHeaderBytes : 0;
    h[1] = uint32_t(data + 36);
    h[6] = uint32_t(sampleRate);
    h[7] = uint32_t(sampleRate) * 2;
    h[10] = uint32_t(data);
    std::array<uint8_t, kWavHeaderBytes> out{};
    for (size_t i = 0; i < h.size(); ++i)
        for (int b = 0; b < 4; ++b) out[i * 4 + b] = uint8_t(h[i] >> (8 * b));
    return out;
}

WavFile::WavFile(FileSystem& files, BlockWriter* writer) : files_(files), writer_(writer) {
    bufs_[0] = std::make_unique_for_overwrite<uint8_t[]>(kBufferBytes);
    if (writer_) bufs_[1] = std::make_unique_for_overwrite<uint8_t[]>(kBufferBytes);
}

WavFile::~WavFile() {
    Close();
}

bool WavFile::Create(const std::string& path, std::string& error) {
    Close();
    int err = 0;
    file_ = files_.Open(path, OpenMode::CreateAlways, err);
    if (!file_) {
        error = CreateFailureCause(files_, path, err);
        return false;
    }
    len_ = 0;
    flushed_ = 0;
    full_ = false;
    error_ = 0;
    return true;
}

bool WavFile::Room(size_t n) {
    if (!file_) return false;
    if (DataBytes() + n > limit_) {
        full_ = true;
        return false;
    }
    if (len_ + n > kBufferBytes) Flush();
    return true;
}

bool WavFile::Write(const void* data, size_t n) {
    if (!Room(n)) return false;
    if (n > kBufferBytes) { // larger than the buffer: straight to the file
        BlockWriter::WriteAt(*file_, static_cast<const uint8_t*>(data), n, kWavHeaderBytes + flushed_,
                             error_);
        flushed_ += n;
        return error_ == 0;
    }
    std::memcpy(bufs_[cur_].get() + len_, data, n);
    len_ += n;
    return true;
}

bool WavFile::Fill(int16_t value, size_t bytes) {
    if (!Room(bytes)) return false;
    while (bytes > 0) {
        if (len_ + 2 > kBufferBytes) Flush();
        const size_t k = std::min(bytes, (kBufferBytes - len_) & ~size_t(1));
        // Four samples at a time, then the rest.
        uint8_t* p = bufs_[cur_].get() + len_;
        const uint64_t four = uint64_t(uint16_t(value)) * 0x0001000100010001ull;
        size_t i = 0;
        for (; i + 8 <= k; i += 8) std::memcpy(p + i, &four, 8);
        for (; i < k; i += 2) std::memcpy(p + i, &four, 2);
        len_ += k;
        bytes -= k;
    }
    return true;
}

void WavFile::TruncateData(uint64_t dataBytes) {
    if (!file_ || dataBytes >= DataBytes()) return;
    if (dataBytes >= flushed_) {
        len_ = size_t(dataBytes - flushed_);
    } else {
        Drain();
        len_ = 0;
        flushed_ = dataBytes;
        if (const int err = file_->SetSize(kWavHeaderBytes + dataBytes); err != 0 && !error_) error_ = err;
    }
    full_ = false;
}

void WavFile::TakeError(const BlockWriter::Job& job) {
    if (job.error && !error_) error_ = job.error;
}

void WavFile::Drain() {
    if (!writer_) return;
    for (BlockWriter::Job& job : jobs_) {
        writer_->Wait(job);
        TakeError(job);
    }
}

bool WavFile::Flush() {
    if (!file_ || len_ == 0) return error_ == 0;
    // After a failed write the file is short; what follows is still written where it belongs.
    if (!writer_) {
        BlockWriter::WriteAt(*file_, bufs_[0].get(), len_, kWavHeaderBytes + flushed_, error_);
    } else {
        const int other = 1 - cur_;
        writer_->Wait(jobs_[other]); // the buffer to fill next must be written out first
        TakeError(jobs_[other]);
        BlockWriter::Job& job = jobs_[cur_];
        job.file = file_.get();
        job.data = bufs_[cur_].get();
        job.len = len_;
        job.offset = kWavHeaderBytes + flushed_;
        writer_->Submit(job);
        cur_ = other;
    }
    flushed_ += len_;
    len_ = 0;
    return error_ == 0;
}

bool WavFile::WriteHeader(int sampleRate) {
    if (!file_) return false;
    Flush();
    Drain();
    FileStatus st;
    if (file_->Status(st) != 0) return false;
    const auto h = MakeWavHeader(sampleRate, st.Size);
    return BlockWriter::WriteAt(*file_, h.data(), h.size(), 0, error_);
}

void WavFile::Close() {
    if (!file_) return;
    Flush();
    Drain();
    file_.reset();
}

} // namespace vintrel
