#include "cli/MetricsCommand.h"

#include "cli/CliArgs.h"
#include "cli/ExitStatus.h"
#include "cli/InputFile.h"
#include "cli/JsonLines.h"
#include "delay/CorrLibrary.h"
#include "delay/CorrelatorDelaySource.h"
#include "delay/EchoDelaySource.h"
#include "delay/EchoMetrics.h"
#include "delay/EchoMetricsFeed.h"
#include "quendel/QuendelImage.h"
#include "stream/Replay.h"
#include "stream/ReplayTransport.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace vintrel::cli {

namespace {

constexpr const char* kUsage =
    "usage: vintrel-cli metrics FILE|- [--format F] [--big-endian] [--vad-threshold X] [--json]\n"
    "Replays a raw record and prints the echo canceller's figures over the whole record: ERL,\n"
    "ERLE, TER (dB), the residual echo (dBov), the echo delay's median and spread (ms), and the\n"
    "double-talk and far-end single-talk shares; N/A where less than 0.5 s of far-end single talk\n"
    "is behind a figure. --vad-threshold is the voice threshold as a share of full scale (0.50).\n"
    "The echo delay comes from the correlator library, as for vintrel-cli delay. \"-\" reads\n"
    "standard input (through a temporary copy).\n"
    "--json writes JSON Lines on standard output instead: a \"window\" object per 2 s of stream\n"
    "(hop 1 s) and one \"summary\" at the end.\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "vintrel-cli metrics: %s\n", why.c_str());
    PrintHelp(stderr, kUsage);
    return kExitUsage;
}

JsonObject& AddFigures(JsonObject& o, const EchoFigures& f) {
    return o.Add("erl_db", f.ErlDb)
        .Add("erle_db", f.ErleDb)
        .Add("ter_db", f.TerDb)
        .Add("residual_echo_dbov", f.ResidualEchoDbov)
        .Add("delay_ms", f.DelayMs)
        .Add("delay_std_ms", f.DelayStdMs)
        .Add("double_talk_share", f.DoubleTalkShare)
        .Add("far_single_talk_share", f.FarSingleTalkShare);
}

void PrintLine(std::FILE* to, const char* label, const std::optional<double>& v, double scale = 1.0,
               const char* format = "%.1f") {
    std::fprintf(to, "%s", label);
    if (v)
        std::fprintf(to, format, *v * scale);
    else
        std::fprintf(to, "N/A");
    std::fprintf(to, "\n");
}

// Runs after the figures' feed and writes a "window" object at the end of every second from the
// second one on.
class WindowPrinter : public FrameConsumer {
public:
    WindowPrinter(const EchoMetrics& metrics, JsonReport& report) : metrics_(metrics), report_(report) {}
    void OnFrame(const DecodedFrame&) override {
        if (!metrics_.SecondDone() || metrics_.Seconds() < 2) return;
        JsonObject o = Typed("window");
        o.Add("start_s", metrics_.Seconds() - 2);
        report_.Write(AddFigures(o, metrics_.Window()));
    }

private:
    const EchoMetrics& metrics_;
    JsonReport& report_;
};

} // namespace

int RunMetrics(int argc, char** argv, int first) {
    CliArgs args(argc, argv, first, {"--format", "--vad-threshold"}, {"--big-endian", "--json", "--help"});
    if (args.Has("--help")) {
        PrintHelp(stdout, kUsage);
        return 0;
    }
    JsonReport report(args.Has("--json"));
    const auto summary = [](const ReplayTotals* t, const EchoFigures& f) {
        JsonObject o = Typed("summary");
        o.Add("total_frames", t ? std::optional<uint64_t>(t->Frames) : std::nullopt);
        return AddFigures(o, f);
    };
    const auto usage = [&](const std::string& why) {
        Usage(why);
        report.Error(why);
        return report.Summary(summary(nullptr, {}), kExitUsage);
    };
    if (!args.Ok()) return usage(args.Error());
    if (args.Positional().size() != 1) return usage("one FILE is needed");
    ReplayOptions o;
    if (auto f = args.Value("--format")) {
        auto parsed = ParseFormatName(*f);
        if (!parsed) return usage("unknown format \"" + *f + "\"; valid formats: " + ValidFormatList());
        o.Format = *parsed;
    }
    o.BigEndian = args.Has("--big-endian");
    const double threshold = args.Real("--vad-threshold", 0.0, 1.0).value_or(0.5);
    if (!args.Ok()) return usage(args.Error());

    const auto fail = [&](const std::string& text, int status) {
        std::fprintf(stderr, "vintrel-cli metrics: %s\n", text.c_str());
        report.Error(text);
        return report.Summary(summary(nullptr, {}), status);
    };
    CorrLibrary library;
    if (library.LoadDll(QuendelImage()) != LoadDllStatus::Loaded)
        return fail(library.Message().empty() ? "the estimator library lacks an entry point"
                                              : library.Message(),
                    kExitOpenFailed);
    InputFile input;
    std::string error;
    if (int status = 0; !input.Open(args.Positional()[0], error, status)) return fail(error, status);
    const std::string& path = input.Path();
    FileTransport file;
    if (!file.Open(path, error)) return fail("cannot read \"" + path + "\": " + error, kExitUsage);
    Replay replay(
        file, [&file] { return file.Exhausted(); }, o);
    const StreamFormat format = GetStreamFormat(o.Format);
    // Some hundred kilobytes of histograms: not on the stack.
    auto metrics = std::make_unique<EchoMetrics>(format.FramesPerSec, format.MsPerFrame, threshold);
    auto delay = std::make_unique<CorrelatorDelaySource>(library.Entries(), format.ChannLenWords,
                                                         format.SamplingRateFromSettings);
    EchoMetricsFeed feed(replay.State(), *metrics, *delay);
    WindowPrinter printer(*metrics, report);
    replay.AddConsumer(&feed);
    replay.AddConsumer(&printer);
    const ReplayTotals totals = replay.Run();
    if (file.Failed()) {
        const std::string text = "read error in \"" + path + "\"";
        std::fprintf(stderr, "vintrel-cli metrics: %s\n", text.c_str());
        report.Error(text);
        return report.Summary(summary(nullptr, {}), kExitUsage);
    }
    const EchoFigures f = metrics->Whole();
    std::FILE* to = report.Text();
    PrintLine(to, "ERL, dB: ", f.ErlDb);
    PrintLine(to, "ERLE, dB: ", f.ErleDb);
    PrintLine(to, "TER, dB: ", f.TerDb);
    PrintLine(to, "Residual echo, dBov: ", f.ResidualEchoDbov);
    PrintLine(to, "Echo delay, ms: ", f.DelayMs);
    PrintLine(to, "Echo delay spread, ms: ", f.DelayStdMs);
    PrintLine(to, "Double talk, %: ", f.DoubleTalkShare, 100.0, "%.0f");
    PrintLine(to, "Far-end single talk, %: ", f.FarSingleTalkShare, 100.0, "%.0f");
    if (feed.Counted() == 0 && totals.Frames > 0)
        std::fprintf(to, "No frame carries RXout, TX1in and TXout together.\n");
    return report.Summary(summary(&totals, f), totals.Frames ? kExitSuccess : kExitNothing);
}

} // namespace vintrel::cli
