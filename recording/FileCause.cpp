#include "recording/FileCause.h"

#include "stream/SystemError.h"

#include <cerrno>

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

std::string CreateFailureCause(FileSystem& files, const std::string& path, int err) {
    const std::string folder = FolderOf(path);
    if (err == ENOENT || err == ENOTDIR) {
        // The first part of the folder's path that is missing or no folder says the most.
        FileStatus st;
        if (const int folderErr = files.Status(folder, st); folderErr != 0)
            return "folder " + folder + ": " + SystemErrorText(folderErr);
        if (st.Kind != FileKind::Folder) return "folder " + folder + ": " + SystemErrorText(ENOTDIR);
    }
    if (err == EACCES || err == EROFS) {
        if (const int folderErr = files.CanCreateIn(folder); folderErr != 0)
            return "folder " + folder + ": " + SystemErrorText(folderErr);
    }
    return path + ": " + SystemErrorText(err);
}

} // namespace vintrel
