#include "SoundServer.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vintrel::test {

namespace {

bool CanConnect(const std::string& socketPath) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// Runs `argv` with `env` added to this process's environment and stdout/stderr redirected.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& out,
            const std::string& err) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::prctl(PR_SET_PDEATHSIG, SIGTERM); // also when the test process dies without cleaning up
    for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (o >= 0) ::dup2(o, 1);
    if (e >= 0) ::dup2(e, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

} // namespace

SoundServer& SoundServer::Instance() {
    static SoundServer server;
    return server;
}

SoundServer::SoundServer() {
    char tmpl[] = "/tmp/vintrel-pulse-XXXXXX";
    if (!::mkdtemp(tmpl)) {
        why_ = "no temporary folder for the sound server";
        return;
    }
    dir_ = tmpl;
    const std::string socket = dir_ + "/native";
    const std::string config = dir_ + "/server.pa";
    // No rewinds on the null sink: when a late client's sound makes the server rewind and render
    // again, the monitor has already passed the first rendering on, and on a busy machine the
    // recording then misses samples the player did deliver.
    if (std::FILE* f = std::fopen(config.c_str(), "w")) {
        std::fprintf(
            f,
            "load-module module-null-sink sink_name=%s rate=8000 channels=1 format=s16le norewinds=1 "
            "sink_properties=device.description=%s\n"
            "load-module module-native-protocol-unix auth-anonymous=1 socket=%s\n"
            "set-default-sink %s\n",
            kSinkName, kSinkDescription, socket.c_str(), kSinkName);
        std::fclose(f);
    }
    const std::vector<std::string> env = {"PULSE_RUNTIME_PATH=" + dir_, "XDG_RUNTIME_DIR=" + dir_,
                                          "HOME=" + dir_};
    pid_ = Spawn({"pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "-F", config, "--system=false",
                  "--disallow-exit", "--log-target=stderr"},
                 env, "/dev/null", dir_ + "/server.log");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            why_ = "pulseaudio did not start (see " + dir_ + "/server.log)";
            pid_ = -1;
            return;
        }
        if (CanConnect(socket)) {
            address_ = "unix:" + socket;
            ::setenv("PULSE_SERVER", address_.c_str(), 1);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    why_ = "pulseaudio did not open its socket within 10 s";
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

SoundServer::~SoundServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

pid_t SoundServer::StartRecording(const std::string& path) const {
    if (!Ok()) return -1;
    return Spawn({"parec", "--server=" + address_, "--device=" + std::string(kSinkName) + ".monitor", "--raw",
                  "--format=s16le", "--rate=8000", "--channels=1", "--latency-msec=20"},
                 {"HOME=" + dir_}, path, dir_ + "/parec.log");
}

void SoundServer::StopRecording(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGINT);
    ::waitpid(pid, nullptr, 0);
}

} // namespace vintrel::test
