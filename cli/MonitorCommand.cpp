#include "cli/MonitorCommand.h"

#include "app/Engine.h"
#include "cli/CliArgs.h"
#include "cli/CliEngineView.h"
#include "cli/ExitStatus.h"
#include "cli/FrameCounter.h"
#include "cli/LinkOptions.h"
#include "connection/ForwardServer.h"
#include "connection/HostResolver.h"
#include "connection/IpAddress.h"
#include "connection/StopSignal.h"
#include "stream/QueueSink.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace vintrel::cli {

namespace {

constexpr const char* kUsage =
    "usage: vintrel-cli monitor [--connect HOST:PORT | --serial DEV [--baud R] | --ftdi N] [--format F]\n"
    "                           [--big-endian] [--no-checksum] [--seconds S] [--forward HOST:PORT]\n"
    "                           [--autoreconnect N] [--frames N] [--dump DIR [--dump-marks]]\n"
    "Connects as the Connect button does (default --connect 127.0.0.1:9090), shows the status line and\n"
    "the counters while frames arrive, and prints the totals at the end (after S seconds, or Ctrl-C).\n"
    "--ftdi N takes the N-th FT2232H MiniModule adapter (1 = first). --forward serves the raw stream\n"
    "to TCP clients. --frames N stops once N frames have arrived and prints the elapsed and CPU\n"
    "time (for throughput measurements). --dump writes the debug dump (every block read, a record\n"
    "per read and per frame) into DIR; --dump-marks adds the state marks around each block.\n"
    "HOST is an IPv4 address, a host name (looked up within 2 s) or an IPv6 address in brackets.\n"
    "When the stream's frame rate, sample counts or byte order contradict --format or --big-endian,\n"
    "the line that says how (and the formats that fit) is printed; the stream goes on, and the\n"
    "exit status is 4.\n";

} // namespace

int RunMonitor(int argc, char** argv, int first) {
    CliArgs args(argc, argv, first,
                 {"--connect", "--serial", "--baud", "--ftdi", "--format", "--seconds", "--frames",
                  "--forward", "--autoreconnect", "--dump"},
                 {"--big-endian", "--no-checksum", "--dump-marks", "--help"});
    if (args.Has("--help")) {
        PrintHelp(stdout, kUsage);
        return 0;
    }
    auto usage = [](const std::string& why) {
        std::fprintf(stderr, "vintrel-cli monitor: %s\n", why.c_str());
        PrintHelp(stderr, kUsage);
        return kExitUsage;
    };
    if (!args.Ok()) return usage(args.Error());
    if (!args.Positional().empty()) return usage("unexpected argument " + args.Positional()[0]);
    ConnectSettings cs;
    if (const std::string why = StreamSettings(args, cs); !why.empty()) return usage(why);
    if (auto a = args.Integer("--autoreconnect", 0, INT32_MAX)) cs.AutoReconnectText = std::to_string(*a);
    const double seconds = args.Real("--seconds", 1e-3, 1e9).value_or(0);
    const uint64_t stopAtFrames = uint64_t(args.Integer("--frames", 1, 1000000000000LL).value_or(0));
    if (!args.Ok()) return usage(args.Error());

    QueueSink sink;
    SteadyClock clock;
    CliEngineView view("monitor");
    Engine engine(sink, clock, view);
    FrameCounter counter;
    engine.Extractor().AddConsumer(&counter);

    int linkExit = 0;
    if (const std::string why = LinkSettings(args, engine, cs, linkExit); !why.empty()) {
        if (linkExit == 2) return usage(why);
        std::fprintf(stderr, "vintrel-cli monitor: %s\n", why.c_str());
        return linkExit;
    }
    view.UseConnectSettings(cs);

    if (auto fwd = args.Value("--forward")) {
        std::string host, error;
        uint16_t port = 0;
        if (ParseIPaddrPortString(*fwd, host, port, error) <= 0) return usage("--forward needs HOST:PORT");
        if (!engine.Forwarding().Start(host, std::to_string(port), error)) {
            std::fprintf(stderr, "vintrel-cli monitor: forwarding on %s: %s\n", fwd->c_str(), error.c_str());
            return kExitOpenFailed;
        }
        std::printf("forwarding on %s\n", HostPortText(host, engine.Forwarding().BoundPort()).c_str());
    }

    if (auto d = args.Value("--dump")) {
        std::string error;
        if (!engine.Dump().Open(*d, args.Has("--dump-marks"), error)) {
            std::fprintf(stderr, "vintrel-cli monitor: cannot write the dump: %s\n", error.c_str());
            return kExitOpenFailed;
        }
    }

    // The engine's threads keep their reads; the loop below asks for the flag every few ms.
    InstallStopHandlers(InterruptedCalls::Restart);
    engine.Start();
    if (!engine.ConnectButtonClick(false)) {
        std::fprintf(stderr, "vintrel-cli monitor: %s\n",
                     view.Failure().empty() ? sink.Status().c_str() : view.Failure().c_str());
        engine.Close();
        return kExitOpenFailed;
    }
    std::fflush(stdout);

    const bool tty = isatty(STDOUT_FILENO);
    std::string lastLine;
    const auto start = std::chrono::steady_clock::now();
    auto lastTimer = start, lastPrint = start;
    for (;;) {
        QueuedMessage m;
        while (sink.Take(m)) {
            view.Count(m);
            engine.AppMessage(m.Msg, m.WParam, m.LParam);
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastTimer >= std::chrono::seconds(1)) {
            engine.OnTimer();
            lastTimer = now;
        }
        if (now - lastPrint >= std::chrono::milliseconds(tty ? 250 : 1000)) {
            lastPrint = now;
            char line[256];
            std::snprintf(
                line, sizeof line,
                "frames %llu  checksum errors %llu  inconsistent %llu  reconnects %u  link drops %u  | %s",
                (unsigned long long)counter.Frames(), (unsigned long long)view.ChecksumErrors(),
                (unsigned long long)view.InconsistentFrames(), engine.Links().Reconnects(),
                engine.Links().LinkDrops(), sink.Status().c_str());
            if (tty)
                std::printf("\r%-110.110s", line);
            else if (lastLine != line)
                std::printf("%s\n", line);
            lastLine = line;
            std::fflush(stdout);
        }
        if (StopRequested()) break;
        if (stopAtFrames && counter.Frames() >= stopAtFrames) break;
        if (seconds > 0 && std::chrono::duration<double>(now - start).count() >= seconds) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (tty) std::printf("\n");
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    engine.Close();
    QueuedMessage m;
    while (sink.Take(m)) view.Count(m);

    const uint64_t frames = counter.Frames();
    std::printf("Total frames: %llu\nChecksum errors: %llu\nInconsistent frames: %llu\nMalformed chunks: "
                "%llu\nReconnects: %u\nLink drops: %u\nLost sync: %llu\n",
                (unsigned long long)frames, (unsigned long long)view.ChecksumErrors(),
                (unsigned long long)view.InconsistentFrames(),
                (unsigned long long)engine.State().Parser.MalformedChunks(), engine.Links().Reconnects(),
                engine.Links().LinkDrops(), (unsigned long long)view.LostSyncReports());
    if (stopAtFrames) {
        rusage ru{};
        getrusage(RUSAGE_SELF, &ru);
        const double cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
        std::printf("Elapsed, s: %.3f\nCPU, s: %.3f\n", elapsed, cpu);
    }
    if (engine.State().HandOff.FramesNotDrawn())
        std::printf("Frames not shown (window behind): %llu\n",
                    (unsigned long long)engine.State().HandOff.FramesNotDrawn());
    const bool mismatch = !engine.FormatWarning().empty();
    if (mismatch) {
        std::fflush(stdout);
        std::fprintf(stderr, "vintrel-cli monitor: %s\n", engine.FormatWarning().c_str());
    }
    if (frames == 0) {
        std::fprintf(stderr, "vintrel-cli monitor: no frames arrived%s%s\n",
                     view.LastWarning().empty() ? "" : " - ", view.LastWarning().c_str());
        return mismatch ? kExitMismatch : kExitNothing;
    }
    if (mismatch) return kExitMismatch;
    return kExitSuccess;
}

} // namespace vintrel::cli
