#pragma once
// The exit statuses of every verb. When several apply, the first in this list wins:
//   4  the stream contradicts the settings (format, byte order)
//   5  a write failed (the files written so far are listed)
//   3  a connection, port, library, dump or forwarding port could not be opened
//   2  bad usage, an unreadable input or a wrong file structure
//   1  nothing recorded or no frames (also a raw record kept after a failed parse)
//   0  success

#include <cstdio>

namespace vintrel::cli {

enum ExitStatus : int {
    kExitSuccess = 0,
    kExitNothing = 1,
    kExitUsage = 2,
    kExitOpenFailed = 3,
    kExitMismatch = 4,
    kExitWriteFailed = 5,
};

// The text each verb's --help ends with.
constexpr const char* kExitStatusHelp =
    "Exit status, the first that applies: 4 the stream contradicts the settings; 5 a write\n"
    "failed; 3 a connection, port, library, dump or forwarding port could not be opened; 2 bad\n"
    "usage, an unreadable input or a wrong file structure; 1 nothing recorded or no frames; 0\n"
    "success.\n";

// A verb's usage text, the exit statuses and what the verb adds to them.
inline void PrintHelp(std::FILE* to, const char* usage, const char* exitNotes = "") {
    std::fputs(usage, to);
    std::fputs(kExitStatusHelp, to);
    std::fputs(exitNotes, to);
}

} // namespace vintrel::cli
