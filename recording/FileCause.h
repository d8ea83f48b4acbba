#pragma once
// Why a file could not be opened or created, in words that name what is wrong: the file itself
// or, when the trouble is the folder it should be in, that folder.
#include "recording/FileSystem.h"

#include <string>

namespace vintrel {

// A file to be read: "<path>: No such file or directory", "<path>: not a regular file" (err 0).
std::string OpenFailureCause(const std::string& path, int err);

// A file to be created: a missing folder, a path through something that is no folder and a
// folder that may not be written are said of the folder ("folder /data/a: No such file or
// directory"); anything else of the file.
std::string CreateFailureCause(FileSystem& files, const std::string& path, int err);

// The open failed because the file is not there (or a part of its path is not): a hint that it
// may be in use elsewhere would mislead.
bool IsMissingFile(int err);

} // namespace vintrel
