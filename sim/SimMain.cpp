// vintrel-sim: writes the frame stream of a simulated target to a file or to standard output.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/SimOptions.h"
#include "sim/StreamGenerator.h"

using namespace vintrel;
using namespace vintrel::sim;

namespace {

std::string Summary(const SimOptions& o, const StreamGenerator& gen, uint64_t bytes) {
    const DamageCounts& c = gen.Counts();
    const double seconds = static_cast<double>(c.framesGenerated) * gen.FramePeriodMs() / 1000.0;
    char line[512];
    std::snprintf(
        line, sizeof line,
        "%s: %llu frames (%llu generated, %.2f s, %s protocol, \"%s\"%s), %llu bytes; injected: "
        "%llu bad checksums, %llu skipped frames, %llu garbage bursts (%llu bytes), %llu unknown tags",
        o.output.empty() ? "stdout" : o.output.c_str(), (unsigned long long)c.framesEmitted,
        (unsigned long long)c.framesGenerated, seconds, o.stream.protocol == Protocol::New ? "new" : "old",
        FormatCaption(o.stream.format), o.stream.bigEndian ? ", big-endian" : "", (unsigned long long)bytes,
        (unsigned long long)c.badChecksums, (unsigned long long)c.skippedFrames,
        (unsigned long long)c.garbageBursts, (unsigned long long)c.garbageBytes,
        (unsigned long long)c.unknownTags);
    return line;
}

} // namespace

int main(int argc, char** argv) {
    const SimOptionsResult parsed = ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.Ok()) {
        std::fprintf(stderr, "vintrel-sim: %s\n", parsed.error.c_str());
        return 2;
    }
    const SimOptions& o = parsed.options;
    if (o.help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }

    std::FILE* out = stdout;
    if (!o.output.empty()) {
        out = std::fopen(o.output.c_str(), "wb");
        if (!out) {
            std::fprintf(stderr, "vintrel-sim: cannot create %s: %s\n", o.output.c_str(),
                         std::strerror(errno));
            return 1;
        }
    } else if (isatty(STDOUT_FILENO)) {
        std::fprintf(stderr,
                     "vintrel-sim: the stream is binary; give --output FILE or redirect standard output\n");
        return 2;
    }
    // A reader that goes away ends the run with a write error instead of a signal.
    std::signal(SIGPIPE, SIG_IGN);

    StreamGenerator gen(o.stream);
    const std::optional<double> seconds = EffectiveSeconds(o);
    const uint64_t total = seconds ? FramesForSeconds(gen.Format(), *seconds) : UINT64_MAX;

    // Frames are generated in batches of about a quarter of a second and written in one go.
    const uint64_t batch = std::max<uint64_t>(1, FramesForSeconds(gen.Format(), 0.25));
    std::vector<uint8_t> buf;
    uint64_t bytes = 0;
    bool failed = false;
    for (uint64_t done = 0; done < total && !failed;) {
        const uint64_t n = std::min(batch, total - done);
        buf.clear();
        gen.AppendFrames(buf, n);
        done += n;
        if (!buf.empty() && std::fwrite(buf.data(), 1, buf.size(), out) != buf.size()) failed = true;
        if (!failed) bytes += buf.size();
    }
    if (std::fflush(out) != 0) failed = true;
    const int writeErrno = errno;
    if (out != stdout && std::fclose(out) != 0) failed = true;

    std::FILE* report = o.output.empty() ? stderr : stdout;
    if (failed) {
        std::fprintf(stderr, "vintrel-sim: write error on %s: %s\n",
                     o.output.empty() ? "standard output" : o.output.c_str(), std::strerror(writeErrno));
        std::fprintf(report, "%s\n", Summary(o, gen, bytes).c_str());
        return 1;
    }
    std::fprintf(report, "%s\n", Summary(o, gen, bytes).c_str());
    return 0;
}
