#pragma once
// The system's files with a size limit, as under a file-size limit of the process (a disk that
// fills up on the way): a write past `limit` bytes writes what fits and fails with EFBIG,
// "File too large". The limit may change while files are open.
#include "recording/PosixFileSystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>

namespace vintrel::test {

class LimitedFiles : public PosixFileSystem {
public:
    std::atomic<uint64_t> limit{UINT64_MAX};

    std::unique_ptr<File> Open(const std::string& path, OpenMode mode, int& error) override {
        std::unique_ptr<File> f = PosixFileSystem::Open(path, mode, error);
        if (!f) return nullptr;
        return std::make_unique<Limited>(std::move(f), limit);
    }

private:
    class Limited : public File {
    public:
        Limited(std::unique_ptr<File> f, const std::atomic<uint64_t>& limit)
            : f_(std::move(f)), limit_(limit) {}
        size_t WriteAt(const void* data, size_t n, uint64_t offset, int& error) override {
            const uint64_t room = limit_.load() > offset ? limit_.load() - offset : 0;
            if (n <= room) return f_->WriteAt(data, n, offset, error);
            const size_t done = f_->WriteAt(data, size_t(room), offset, error);
            if (error == 0) error = EFBIG;
            return done;
        }
        size_t ReadAt(void* dst, size_t n, uint64_t offset, int& error) override {
            return f_->ReadAt(dst, n, offset, error);
        }
        int SetSize(uint64_t bytes) override { return f_->SetSize(bytes); }
        int Status(FileStatus& status) override { return f_->Status(status); }
        int LockAlone() override { return f_->LockAlone(); }
        int Close() override { return f_->Close(); }

    private:
        std::unique_ptr<File> f_;
        const std::atomic<uint64_t>& limit_;
    };
};

} // namespace vintrel::test
