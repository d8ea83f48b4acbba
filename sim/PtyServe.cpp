#include "sim/PtyServe.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "connection/StopSignal.h"
#include "sim/SimLog.h"
#include "sim/StreamPump.h"

namespace vintrel::sim {

namespace {

constexpr auto kDrainLimit = std::chrono::seconds(5);
constexpr auto kDrainPoll = std::chrono::milliseconds(10);
// The terminal's input queue must read empty this many times in a row: data on its way from the
// master to the queue is not counted by it.
constexpr int kDrainQuietPolls = 3;

struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;
    ~Pty() {
        if (slave >= 0) close(slave);
        if (master >= 0) close(master);
    }
};

bool OpenPty(Pty& pty, std::string& error) {
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    if (ptsname_r(pty.master, name, sizeof name) != 0) {
        error = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    pty.path = name;
    pty.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (pty.slave < 0 || tcgetattr(pty.slave, &t) != 0) {
        error = "cannot open " + pty.path + ": " + std::strerror(errno);
        return false;
    }
    cfmakeraw(&t);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(pty.slave, TCSANOW, &t) != 0) {
        error = "cannot set raw mode on " + pty.path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// Waits until the receiver has taken what is still buffered; false if it did not in time.
bool WaitForDrain(const Pty& pty) {
    const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
    int quiet = 0;
    while (!StopRequested() && std::chrono::steady_clock::now() < deadline) {
        int queued = 0;
        if (ioctl(pty.slave, TIOCINQ, &queued) != 0) return true;
        quiet = queued == 0 ? quiet + 1 : 0;
        if (quiet >= kDrainQuietPolls) return true;
        DiscardInput(pty.master);
        std::this_thread::sleep_for(kDrainPoll);
    }
    return false;
}

} // namespace

int ServePty(const SimOptions& o) {
    Pty pty;
    std::string error;
    SimLog log;
    if (!log.Open(o.logPath, error) || !OpenPty(pty, error)) {
        std::fprintf(stderr, "vintrel-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("pty %s\n", pty.path.c_str());
    std::fflush(stdout);

    StreamGenerator gen(o.stream);
    const std::optional<double> seconds = EffectiveSeconds(o);
    PumpSettings settings;
    settings.maxFrames = seconds ? FramesForSeconds(gen.Format(), *seconds) : UINT64_MAX;
    settings.paced = o.paced;
    settings.link = true;
    log.Begin("pty:" + pty.path, o.stream);
    log.Connect(1, pty.path, gen.NextCounter(), 0);
    const PumpResult r = PumpFrames(gen, pty.master, settings);
    log.End(1, r, 0, 0, PumpEndWord(r.end));
    log.Total(gen.Counts(), r.sent, r.bytes);

    int status = 0;
    if (r.end == PumpEnd::Limit && !WaitForDrain(pty) && !StopRequested())
        std::fprintf(stderr, "vintrel-sim: nobody read the end of the stream on %s\n", pty.path.c_str());
    if (r.end == PumpEnd::PeerGone || r.end == PumpEnd::Failed) {
        std::fprintf(stderr, "vintrel-sim: write error on %s: %s\n", pty.path.c_str(),
                     std::strerror(r.error));
        status = 1;
    }
    std::fprintf(stderr, "%s\n", StreamSummary("pty " + pty.path, o.stream, gen.Counts(), r.bytes).c_str());
    return status;
}

} // namespace vintrel::sim
