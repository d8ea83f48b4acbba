#pragma once
// The files records, WAV files and reports live in, as the recording code uses them. Causes are
// errno values (0: none), so that the texts built from them name what the system names.
//
// Threads: a FileSystem may be used from any thread. One File is used by one thread at a time,
// except that a write at an offset may run in another thread while its owner waits for it.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vintrel {

enum class FileKind { Regular, Folder, Link, Other };

struct FileStatus {
    FileKind Kind = FileKind::Other;
    uint64_t Size = 0;
};

// One open file; it is closed when the object goes.
class File {
public:
    virtual ~File() = default;
    // Writes data at offset and returns the bytes written: all of n, or fewer with `error` set to
    // the cause (a write that wrote nothing without a reason is a full disk, ENOSPC).
    virtual size_t WriteAt(const void* data, size_t n, uint64_t offset, int& error) = 0;
    // Reads into dst from offset and returns the bytes read: fewer than n at the end of the file,
    // or with `error` set to the cause of a read that failed.
    virtual size_t ReadAt(void* dst, size_t n, uint64_t offset, int& error) = 0;
    // 0, or the cause.
    virtual int SetSize(uint64_t bytes) = 0;
    virtual int Status(FileStatus& status) = 0;
    // Takes the file for this holder alone, without waiting: EWOULDBLOCK when another holds it.
    virtual int LockAlone() = 0;
    // Asks the disk to start on bytes written, while the caller goes on; no answer.
    virtual void StartWriteBack(uint64_t offset, size_t n) {}
    // Closes the file: 0, or the cause of data that could not be written out at the close.
    virtual int Close() = 0;
};

enum class OpenMode {
    Read,         // an existing file, for reading
    CreateAlways, // created, or emptied when it exists; writing and reading
    OpenAlways,   // created when missing, kept as it is otherwise; writing and reading
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // The open file, or null with `error` the cause.
    virtual std::unique_ptr<File> Open(const std::string& path, OpenMode mode, int& error) = 0;
    // What `path` names: 0 with `status` filled, or the cause. With followLinks false a link is
    // said to be one, else the file it leads to is described.
    virtual int Status(const std::string& path, FileStatus& status, bool followLinks = true) = 0;
    // 0 when this program may create files in `folder`, or the cause.
    virtual int CanCreateIn(const std::string& folder) = 0;
    virtual int Remove(const std::string& path) = 0;
    virtual int Rename(const std::string& from, const std::string& to) = 0;

    // The size of the file `path` names; -1 when there is none.
    int64_t SizeOf(const std::string& path) {
        FileStatus st;
        return Status(path, st) == 0 ? int64_t(st.Size) : -1;
    }
};

} // namespace vintrel
