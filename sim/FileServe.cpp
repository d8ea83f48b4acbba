#include "sim/FileServe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/SimLog.h"
#include "sim/StreamPump.h"

namespace vintrel::sim {

int ServeFile(const SimOptions& o) {
    SimLog log;
    if (std::string error; !log.Open(o.logPath, error)) {
        std::fprintf(stderr, "vintrel-sim: %s\n", error.c_str());
        return 1;
    }
    const bool toStdout = o.output == "-";
    int fd = STDOUT_FILENO;
    if (toStdout) {
        if (isatty(fd)) {
            std::fprintf(stderr, "vintrel-sim: the stream is binary; redirect standard output or give "
                                 "--output FILE\n");
            return 2;
        }
    } else {
        fd = open(o.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            std::fprintf(stderr, "vintrel-sim: cannot create %s: %s\n", o.output.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }

    StreamGenerator gen(o.stream);
    const std::optional<double> seconds = EffectiveSeconds(o);
    PumpSettings settings;
    settings.maxFrames = seconds ? FramesForSeconds(gen.Format(), *seconds) : UINT64_MAX;
    settings.paced = false;
    settings.coalesce = true;
    const std::string where = toStdout ? "standard output" : o.output;
    const std::string name = toStdout ? "-" : o.output;
    log.Begin("file:" + name, o.stream);
    log.Connect(1, name, gen.NextCounter(), 0);
    PumpResult r = PumpFrames(gen, fd, settings);
    if (!toStdout && close(fd) != 0 && r.end == PumpEnd::Limit) {
        r.end = PumpEnd::Failed;
        r.error = errno;
    }

    log.End(1, r, 0, 0, PumpEndWord(r.end));
    log.Total(gen.Counts(), r.sent, r.bytes);
    if (r.end == PumpEnd::Failed || r.end == PumpEnd::PeerGone)
        std::fprintf(stderr, "vintrel-sim: write error on %s: %s\n", where.c_str(), std::strerror(r.error));
    std::FILE* report = toStdout ? stderr : stdout;
    std::fprintf(report, "%s\n",
                 StreamSummary(toStdout ? "stdout" : o.output, o.stream, gen.Counts(), r.bytes).c_str());
    return r.end == PumpEnd::Limit || r.end == PumpEnd::Stopped ? 0 : 1;
}

} // namespace vintrel::sim
