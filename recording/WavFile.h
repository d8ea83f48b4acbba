#pragma once
// One 16-bit mono PCM WAV file of a record: created empty with room for the 44-byte header,
// filled through a buffer, given its header at the end. A file whose data would pass the size
// the header can state refuses the write and reports itself full.
//
// Threads: the owner's thread (the one parsing a record) makes every call; with a block writer a
// full buffer is handed to the writer's thread and not touched again until its job is done.
#include "recording/BlockWriter.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vintrel {

constexpr int kWavHeaderBytes = 44;
// The data size and the RIFF size (data + 36) are 32-bit fields; whole 16-bit samples only.
constexpr uint64_t kWavMaxDataBytes = (0xFFFFFFFFull - 36) & ~1ull;

// The header template: "RIFF", RIFF size, "WAVE", "fmt ", 16, PCM mono, 8000 Hz, 16000 bytes/s,
// block align 2 with 16 bits, "data", data size.
extern const std::array<uint32_t, 11> FWavHeader;

// The 44 header bytes for a file of `fileBytes` bytes.
std::array<uint8_t, kWavHeaderBytes> MakeWavHeader(int sampleRate, uint64_t fileBytes);

class WavFile {
public:
    static constexpr size_t kBufferBytes = 1 << 17;

    // With a writer, full buffers are written in its thread while the other buffer fills.
    explicit WavFile(FileSystem& files, BlockWriter* writer = nullptr);
    ~WavFile();
    WavFile(const WavFile&) = delete;
    WavFile& operator=(const WavFile&) = delete;

    // Create-always, write access; the data start at offset 44. False with the cause, naming the
    // folder when the folder is the trouble (CreateFailureCause).
    bool Create(const std::string& path, std::string& error);
    bool IsOpen() const { return file_ != nullptr; }
    void SetLimit(uint64_t maxDataBytes) { limit_ = maxDataBytes; }

    // False, writing nothing, when the data would pass the limit (the file is then full).
    bool Write(const void* data, size_t n);
    // `bytes` / 2 copies of a sample value.
    bool Fill(int16_t value, size_t bytes);
    uint64_t DataBytes() const { return flushed_ + len_; }
    // Drops the data after `dataBytes` (a frame that could not be written whole).
    void TruncateData(uint64_t dataBytes);
    bool Full() const { return full_; }

    // Writes out the buffer; then the header for the file's size on disk at offset 0.
    bool WriteHeader(int sampleRate);
    bool Flush();
    void Close();
    // The first failed write's errno, 0 when none failed.
    int Error() const { return error_; }

private:
    bool Room(size_t n);
    // Waits until no buffer of this file is being written.
    void Drain();
    void TakeError(const BlockWriter::Job& job);

    FileSystem& files_;
    BlockWriter* writer_;
    std::unique_ptr<File> file_;
    std::unique_ptr<uint8_t[]> bufs_[2];
    BlockWriter::Job jobs_[2];
    int cur_ = 0;          // the buffer being filled
    size_t len_ = 0;       // bytes in it
    uint64_t flushed_ = 0; // data bytes written to the file
    uint64_t limit_ = kWavMaxDataBytes;
    bool full_ = false;
    int error_ = 0;
};

} // namespace vintrel
