#pragma once
// The files of the system the program runs on, through POSIX calls: create-always and
// open-always with read and write access and mode 0644, locks that another process sees
// (flock), positional reads and writes that go on after an interrupted call.
#include "recording/FileSystem.h"

namespace vintrel {

class PosixFileSystem : public FileSystem {
public:
    std::unique_ptr<File> Open(const std::string& path, OpenMode mode, int& error) override;
    int Status(const std::string& path, FileStatus& status, bool followLinks = true) override;
    int CanCreateIn(const std::string& folder) override;
    int Remove(const std::string& path) override;
    int Rename(const std::string& from, const std::string& to) override;
};

} // namespace vintrel
