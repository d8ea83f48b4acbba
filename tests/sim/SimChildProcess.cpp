#include "sim/SimChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace vintrel::sim::test {

SimChildProcess::SimChildProcess(const std::vector<std::string>& args) {
    char errTemplate[] = "/tmp/vintrel-sim-stderr-XXXXXX";
    const int errFd = mkstemp(errTemplate);
    if (errFd < 0) return;
    close(errFd);
    stderrPath_ = errTemplate;

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath_.c_str(), O_WRONLY | O_TRUNC, 0);

    std::vector<std::string> argv = {VINTREL_SIM_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargs;
    for (std::string& a : argv) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    if (posix_spawn(&pid_, VINTREL_SIM_PATH, &actions, nullptr, cargs.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    stdoutFd_ = out[0];
}

SimChildProcess::~SimChildProcess() {
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (stdoutFd_ >= 0) close(stdoutFd_);
    if (!stderrPath_.empty()) unlink(stderrPath_.c_str());
}

std::optional<std::string> SimChildProcess::ReadLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (const size_t nl = stdoutBuffered_.find('\n'); nl != std::string::npos) {
            std::string line = stdoutBuffered_.substr(0, nl);
            stdoutBuffered_.erase(0, nl + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (stdoutFd_ < 0 || left.count() <= 0) return std::nullopt;
        pollfd p{stdoutFd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buf[256];
        const ssize_t n = read(stdoutFd_, buf, sizeof buf);
        if (n <= 0) return std::nullopt;
        stdoutBuffered_.append(buf, static_cast<size_t>(n));
    }
}

void SimChildProcess::Signal(int sig) {
    if (pid_ > 0 && !status_) kill(pid_, sig);
}

std::optional<int> SimChildProcess::Wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (pid_ > 0 && !status_) {
        int st = 0;
        if (waitpid(pid_, &st, WNOHANG) == pid_)
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        else if (std::chrono::steady_clock::now() >= deadline)
            break;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
}

std::string SimChildProcess::Stderr() const {
    std::ifstream in(stderrPath_);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace vintrel::sim::test
