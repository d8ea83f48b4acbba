#pragma once
// The FILE argument of the verbs that seek in their input: a path is used as it is, "-" copies
// standard input into a temporary file in $TMPDIR (or /tmp) first. The copy is removed when the
// InputFile ends and when SIGINT or SIGTERM ends the program.
#include <string>

namespace vintrel::cli {

class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // False with the cause in `error` and the exit status in `status` when standard input could
    // not be copied (kExitWriteFailed when the copy could not be written, kExitUsage when
    // standard input could not be read).
    bool Open(const std::string& argument, std::string& error, int& status);
    // The file to read: the argument, or the copy of standard input.
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    bool temporary_ = false;
};

} // namespace vintrel::cli
