#pragma once
// A vintrel-sim process started by a test: standard output through a pipe (for the line that
// names the listener or the pty), standard error into a temporary file. The destructor kills
// and reaps a child that is still running, so a failing test leaves nothing behind.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vintrel::sim::test {

class SimChildProcess {
public:
    explicit SimChildProcess(const std::vector<std::string>& args);
    ~SimChildProcess();
    SimChildProcess(const SimChildProcess&) = delete;
    SimChildProcess& operator=(const SimChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // The next line of standard output without its newline; nullopt on time-out or end of output.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
    void Signal(int sig);
    // The exit status when the child ends within `timeout` (128 + signal number when a signal
    // ended it); nullopt if it is still running.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    std::string Stderr() const;

private:
    pid_t pid_ = -1;
    int stdoutFd_ = -1;
    std::string stdoutBuffered_;
    std::string stderrPath_;
    std::optional<int> status_;
};

} // namespace vintrel::sim::test
