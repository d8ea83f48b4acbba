#include "cli/RawRecordName.h"

#include <sys/stat.h>

namespace vintrel::cli {

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

} // namespace

RawRecordChoice ChooseRawRecord(const std::string& folder, const std::optional<std::string>& raw, bool keep,
                                bool force) {
    if (raw) {
        if (raw->empty()) return {"", "--raw needs a file name"};
        if (!force && Exists(*raw))
            return {"", "the raw record \"" + *raw + "\" exists (--force overwrites it)"};
        return {*raw, ""};
    }
    if (!keep || force || !Exists(folder + "/temp.$$$")) return {};
    for (int i = 1;; ++i) {
        const std::string name = folder + "/temp-" + std::to_string(i) + ".$$$";
        if (!Exists(name)) return {name, ""};
    }
}

} // namespace vintrel::cli
