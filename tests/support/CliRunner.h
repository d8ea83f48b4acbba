#pragma once
// Runs the real vintrel-cli with arguments and collects its output and exit code.
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace vintrel::test {

struct CliResult {
    int exitCode;
    std::string out; // standard output and standard error together
};

// env: assignments for the command's environment ("NAME=value"), empty for none.
// stdoutOnly: standard error is dropped (for output that is to be parsed).
inline CliResult RunCli(const std::string& args, const std::string& env = "", bool stdoutOnly = false) {
    const std::string cmd = env + (env.empty() ? "" : " ") + std::string(VINTREL_CLI_PATH) + " " + args +
                            (stdoutOnly ? " 2>/dev/null" : " 2>&1");
    FILE* p = popen(cmd.c_str(), "r");
    CliResult r{-1, ""};
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// The number after the last occurrence of `label` ("Total frames: "), or ~0 when absent.
inline unsigned long long ValueAfter(const std::string& out, const std::string& label) {
    const auto pos = out.rfind(label);
    return pos == std::string::npos ? ~0ull : std::stoull(out.substr(pos + label.size()));
}

// The exit status of a live run whose subject is its frames: 0, or 4 when the only thing said is
// a frame rate that fits another format of the same sample count. A sender held up by a busy
// machine (the test's own, or one sending as fast as it can) can send at another format's rate;
// a target keeps its own.
inline bool RanWithoutComplaint(int exitCode, const std::string& out) {
    return exitCode == 0 || (exitCode == 4 && out.find(": frames come every ") != std::string::npos &&
                             out.find("formats that fit: none") == std::string::npos &&
                             out.find("byte order") == std::string::npos);
}

} // namespace vintrel::test
