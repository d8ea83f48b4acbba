#include "recording/FileCause.h"

#include "stream/SystemError.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace vintrel {

namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

bool IsMissingFile(int err) {
    return err == ENOENT || err == ENOTDIR || err == EISDIR || err == 0;
}

std::string OpenFailureCause(const std::string& path, int err) {
    return path + ": " + (err == 0 ? std::string("not a regular file") : SystemErrorText(err));
}

std::string CreateFailureCause(const std::string& path, int err) {
    const std::string folder = FolderOf(path);
    if (err == ENOENT || err == ENOTDIR) {
        // The first part of the folder's path that is missing or no folder says the most.
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0) {
            const int folderErr = errno;
            return "folder " + folder + ": " + SystemErrorText(folderErr);
        }
        if (!S_ISDIR(st.st_mode)) return "folder " + folder + ": " + SystemErrorText(ENOTDIR);
    }
    if ((err == EACCES || err == EROFS) && ::access(folder.c_str(), W_OK) != 0) {
        const int folderErr = errno;
        return "folder " + folder + ": " + SystemErrorText(folderErr);
    }
    return path + ": " + SystemErrorText(err);
}

} // namespace vintrel
