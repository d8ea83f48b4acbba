#pragma once
// Reads a raw record through one large buffer: frame-sized reads, seeks and the search for the
// next frame marker. A record is read by the window thread only.
#include "recording/FileSystem.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vintrel {

class RecordReader {
public:
    static constexpr size_t kBufferBytes = 1 << 22;

    explicit RecordReader(FileSystem& files);
    ~RecordReader();
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    // Opens for reading; false when the file cannot be opened, with error naming the file and
    // the system's reason, and OpenErrno() the errno (0: it opened but is no regular file).
    bool Open(const std::string& path, std::string& error);
    int OpenErrno() const { return openErrno_; }
    void Close();
    bool IsOpen() const { return file_ != nullptr; }
    int64_t Size() const { return size_; }
    int64_t Position() const { return pos_; }
    void Seek(int64_t pos) { pos_ = pos < 0 ? 0 : pos; }
    // Bytes read: fewer than asked only at the end of the file (or on a read error).
    size_t Read(void* dst, size_t n);
    // Moves to the first occurrence of `marker` that starts at or after the position, within
    // `limit` bytes of it, and returns the bytes skipped; -1 when there is none.
    int64_t FindMarker(const uint8_t* marker, size_t len, int64_t limit = INT64_MAX);
    bool Failed() const { return failed_; }

private:
    int openErrno_ = 0;
    // Makes the buffer start at pos_; false at the end of the file.
    bool Fill();

    FileSystem& files_;
    std::unique_ptr<File> file_;
    int64_t size_ = 0;
    int64_t pos_ = 0;
    std::unique_ptr<uint8_t[]> buf_;
    int64_t bufStart_ = 0; // file offset of buf_[0]
    size_t bufLen_ = 0;
    bool failed_ = false;
};

} // namespace vintrel
