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
    "                           [--autoreconnect N] [--frames N] [--dump DIR [--dump-marks]] [--json]\n"
    "Connects as the Connect button does (default --connect 127.0.0.1:9090), shows the status line and\n"
    "the counters while frames arrive, and prints the totals at the end (after S seconds, or Ctrl-C).\n"
    "--ftdi N takes the N-th FT2232H MiniModule adapter (1 = first). --forward serves the raw stream\n"
    "to TCP clients. --frames N stops once N frames have arrived and prints the elapsed and CPU\n"
    "time (for throughput measurements). --dump writes the debug dump (every block read, a record\n"
    "per read and per frame) into DIR; --dump-marks adds the state marks around each block.\n"
    "HOST is an IPv4 address, a host name (looked up within 2 s) or an IPv6 address in brackets.\n"
    "When the stream's frame rate, sample counts or byte order contradict --format or --big-endian,\n"
    "the line that says how (and the formats that fit) is printed; the stream goes on, and the\n"
    "exit status is 4.\n"
    "--json writes JSON Lines on standard output instead (the text goes to standard error): a\n"
    "\"status\" object once a second with the counters and the status line, \"warning\" and\n"
    "\"error\" objects and one \"summary\" at the end.\n";

// The counters shown while frames arrive and at the end; null where the run never started.
struct MonitorCounters {
    uint64_t Frames = 0, ChecksumErrors = 0, Inconsistent = 0;
    uint32_t Reconnects = 0, LinkDrops = 0;

    JsonObject& AddTo(JsonObject& o) const {
        return o.Add("total_frames", Frames)
            .Add("checksum_errors", ChecksumErrors)
            .Add("inconsistent_frames", Inconsistent)
            .Add("reconnects", Reconnects)
            .Add("link_drops", LinkDrops);
    }
};

JsonObject NullSummary() {
    return Typed("summary")
        .Null("total_frames")
        .Null("checksum_errors")
        .Null("inconsistent_frames")
        .Null("reconnects")
        .Null("link_drops");
}

} // namespace

int RunMonitor(int argc, char** argv, int first) {
    CliArgs args(argc, argv, first,
                 {"--connect", "--serial", "--baud", "--ftdi", "--format", "--seconds", "--frames",
                  "--forward", "--autoreconnect", "--dump"},
                 {"--big-endian", "--no-checksum", "--dump-marks", "--json", "--help"});
    if (args.Has("--help")) {
        PrintHelp(stdout, kUsage);
        return 0;
    }
    JsonReport report(args.Has("--json"));
    std::FILE* const out = report.Text();
    const auto fail = [&report](const std::string& text, int status) {
        std::fprintf(stderr, "vintrel-cli monitor: %s\n", text.c_str());
        report.Error(text);
        return report.Summary(NullSummary(), status);
    };
    auto usage = [&](const std::string& why) {
        const int status = fail(why, kExitUsage);
        PrintHelp(stderr, kUsage);
        return status;
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
    view.ReportTo(report.On() ? &report : nullptr);
    Engine engine(sink, clock, view);
    FrameCounter counter;
    engine.Extractor().AddConsumer(&counter);

    int linkExit = 0;
    if (const std::string why = LinkSettings(args, engine, cs, linkExit); !why.empty()) {
        if (linkExit == 2) return usage(why);
        return fail(why, linkExit);
    }
    view.UseConnectSettings(cs);

    if (auto fwd = args.Value("--forward")) {
        std::string host, error;
        uint16_t port = 0;
        if (ParseIPaddrPortString(*fwd, host, port, error) <= 0) return usage("--forward needs HOST:PORT");
        if (!engine.Forwarding().Start(host, std::to_string(port), error))
            return fail("forwarding on " + *fwd + ": " + error, kExitOpenFailed);
        const std::string where = HostPortText(host, engine.Forwarding().BoundPort());
        std::fprintf(out, "forwarding on %s\n", where.c_str());
        report.Write(Typed("forwarding").Add("address", where));
    }

    if (auto d = args.Value("--dump")) {
        std::string error;
        if (!engine.Dump().Open(*d, args.Has("--dump-marks"), error))
            return fail("cannot write the dump: " + error, kExitOpenFailed);
    }

    // The engine's threads keep their reads; the loop below asks for the flag every few ms.
    InstallStopHandlers(InterruptedCalls::Restart);
    engine.Start();
    if (!engine.ConnectButtonClick(false)) {
        const std::string why = view.Failure().empty() ? sink.Status() : view.Failure();
        engine.Close();
        return fail(why, kExitOpenFailed);
    }
    std::fflush(out);

    const auto counters = [&] {
        return MonitorCounters{counter.Frames(), view.ChecksumErrors(), view.InconsistentFrames(),
                               engine.Links().Reconnects(), engine.Links().LinkDrops()};
    };
    const bool tty = isatty(fileno(out));
    auto lastStatus = std::chrono::steady_clock::now();
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
            const MonitorCounters c = counters();
            const std::string status = sink.Status();
            char line[256];
            std::snprintf(
                line, sizeof line,
                "frames %llu  checksum errors %llu  inconsistent %llu  reconnects %u  link drops %u  | %s",
                (unsigned long long)c.Frames, (unsigned long long)c.ChecksumErrors,
                (unsigned long long)c.Inconsistent, c.Reconnects, c.LinkDrops, status.c_str());
            if (tty)
                std::fprintf(out, "\r%-110.110s", line);
            else if (lastLine != line)
                std::fprintf(out, "%s\n", line);
            lastLine = line;
            std::fflush(out);
            if (now - lastStatus >= std::chrono::seconds(1)) {
                lastStatus = now;
                JsonObject o = Typed("status");
                o.Add("elapsed_s", std::chrono::duration<double>(now - start).count());
                report.Write(c.AddTo(o).Add("status", status));
            }
        }
        if (StopRequested()) break;
        if (stopAtFrames && counter.Frames() >= stopAtFrames) break;
        if (seconds > 0 && std::chrono::duration<double>(now - start).count() >= seconds) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (tty) std::fprintf(out, "\n");
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    engine.Close();
    QueuedMessage m;
    while (sink.Take(m)) view.Count(m);

    const uint64_t frames = counter.Frames();
    JsonObject summary = Typed("summary");
    counters()
        .AddTo(summary)
        .Add("malformed_chunks", engine.State().Parser.MalformedChunks())
        .Add("lost_sync", view.LostSyncReports())
        .Add("elapsed_s", elapsed);
    std::fprintf(out,
                 "Total frames: %llu\nChecksum errors: %llu\nInconsistent frames: %llu\nMalformed chunks: "
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
        std::fprintf(out, "Elapsed, s: %.3f\nCPU, s: %.3f\n", elapsed, cpu);
        summary.Add("cpu_s", cpu);
    }
    if (engine.State().HandOff.FramesNotDrawn())
        std::fprintf(out, "Frames not shown (window behind): %llu\n",
                     (unsigned long long)engine.State().HandOff.FramesNotDrawn());
    const bool mismatch = !engine.FormatWarning().empty();
    if (mismatch) {
        std::fflush(out);
        std::fprintf(stderr, "vintrel-cli monitor: %s\n", engine.FormatWarning().c_str());
    }
    if (frames == 0) {
        const std::string why =
            "no frames arrived" + (view.LastWarning().empty() ? "" : " - " + view.LastWarning());
        std::fprintf(stderr, "vintrel-cli monitor: %s\n", why.c_str());
        report.Error(why);
        return report.Summary(summary, mismatch ? kExitMismatch : kExitNothing);
    }
    return report.Summary(summary, mismatch ? kExitMismatch : kExitSuccess);
}

} // namespace vintrel::cli
