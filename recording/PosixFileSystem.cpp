#include "recording/PosixFileSystem.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vintrel {

namespace {

FileStatus StatusOf(const struct stat& st) {
    FileStatus s;
    s.Kind = S_ISREG(st.st_mode)   ? FileKind::Regular
             : S_ISDIR(st.st_mode) ? FileKind::Folder
             : S_ISLNK(st.st_mode) ? FileKind::Link
                                   : FileKind::Other;
    s.Size = uint64_t(st.st_size);
    return s;
}

class PosixFile : public File {
public:
    explicit PosixFile(int fd) : fd_(fd) {}
    ~PosixFile() override { Close(); }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    size_t WriteAt(const void* data, size_t n, uint64_t offset, int& error) override {
        const auto* p = static_cast<const unsigned char*>(data);
        size_t done = 0;
        while (done < n) {
            const ssize_t k = ::pwrite(fd_, p + done, n - done, off_t(offset + done));
            if (k < 0 && errno == EINTR) continue;
            if (k <= 0) {
                error = k < 0 ? errno : ENOSPC;
                break;
            }
            done += size_t(k);
        }
        return done;
    }

    size_t ReadAt(void* dst, size_t n, uint64_t offset, int& error) override {
        auto* p = static_cast<unsigned char*>(dst);
        size_t done = 0;
        while (done < n) {
            const ssize_t k = ::pread(fd_, p + done, n - done, off_t(offset + done));
            if (k < 0 && errno == EINTR) continue;
            if (k < 0) error = errno;
            if (k <= 0) break;
            done += size_t(k);
        }
        return done;
    }

    int SetSize(uint64_t bytes) override { return ::ftruncate(fd_, off_t(bytes)) == 0 ? 0 : errno; }

    int Status(FileStatus& status) override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return errno;
        status = StatusOf(st);
        return 0;
    }

    int LockAlone() override { return ::flock(fd_, LOCK_EX | LOCK_NB) == 0 ? 0 : errno; }

    void StartWriteBack(uint64_t offset, size_t n) override {
#ifdef __linux__
        ::sync_file_range(fd_, off_t(offset), off_t(n), SYNC_FILE_RANGE_WRITE);
#endif
    }

    int Close() override {
        if (fd_ < 0) return 0;
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0 ? 0 : errno;
    }

private:
    int fd_;
};

} // namespace

std::unique_ptr<File> PosixFileSystem::Open(const std::string& path, OpenMode mode, int& error) {
    const int flags = mode == OpenMode::Read           ? O_RDONLY
                      : mode == OpenMode::CreateAlways ? O_RDWR | O_CREAT | O_TRUNC
                                                       : O_RDWR | O_CREAT;
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666); // less the umask, as fopen creates files
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    return std::make_unique<PosixFile>(fd);
}

int PosixFileSystem::Status(const std::string& path, FileStatus& status, bool followLinks) {
    struct stat st {};
    if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) return errno;
    status = StatusOf(st);
    return 0;
}

int PosixFileSystem::CanCreateIn(const std::string& folder) {
    return ::access(folder.c_str(), W_OK) == 0 ? 0 : errno;
}

int PosixFileSystem::Remove(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int PosixFileSystem::Rename(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

} // namespace vintrel
