#include "cli/InputFile.h"

#include "cli/ExitStatus.h"
#include "stream/SystemError.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace vintrel::cli {

namespace {

// The copy's path for the signal handler: written before the handlers are installed, read by
// them only.
char gTemporary[4096];
std::atomic<bool> gArmed{false};

void RemoveAndDie(int sig) {
    if (gArmed.load()) unlink(gTemporary);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

} // namespace

InputFile::~InputFile() {
    if (!temporary_) return;
    gArmed.store(false);
    unlink(path_.c_str());
}

bool InputFile::Open(const std::string& argument, std::string& error, int& status) {
    if (argument != "-") {
        path_ = argument;
        return true;
    }
    const char* dir = std::getenv("TMPDIR");
    std::string name = std::string(dir && *dir ? dir : "/tmp") + "/vintrel-stdin-XXXXXX";
    if (name.size() >= sizeof gTemporary) {
        error = "cannot copy standard input: $TMPDIR is too long";
        status = kExitWriteFailed;
        return false;
    }
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        error = "cannot copy standard input to \"" + name + "\": " + SystemErrorText(errno);
        status = kExitWriteFailed;
        return false;
    }
    path_ = name;
    temporary_ = true;
    std::memcpy(gTemporary, name.c_str(), name.size() + 1);
    gArmed.store(true);
    std::signal(SIGINT, RemoveAndDie);
    std::signal(SIGTERM, RemoveAndDie);
    // A file-size limit makes the copy fail (reported) instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);

    constexpr size_t kBlock = size_t{1} << 20;
    const auto buf = std::make_unique<char[]>(kBlock);
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buf.get(), kBlock);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            error = "cannot read standard input: " + SystemErrorText(errno);
            status = kExitUsage;
            close(fd);
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(fd, buf.get() + done, size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                error = "cannot copy standard input to \"" + name +
                        "\": " + SystemErrorText(w < 0 ? errno : ENOSPC);
                status = kExitWriteFailed;
                close(fd);
                return false;
            }
            done += w;
        }
    }
    if (close(fd) != 0) {
        error = "cannot copy standard input to \"" + name + "\": " + SystemErrorText(errno);
        status = kExitWriteFailed;
        return false;
    }
    return true;
}

} // namespace vintrel::cli
