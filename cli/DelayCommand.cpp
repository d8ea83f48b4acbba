#include "cli/DelayCommand.h"

#include "cli/CliArgs.h"
#include "cli/ExitStatus.h"
#include "cli/InputFile.h"
#include "cli/JsonLines.h"
#include "delay/CorrLibrary.h"
#include "delay/DelayAnalysis.h"
#include "delay/DelayFeed.h"
#include "quendel/QuendelImage.h"
#include "stream/Replay.h"
#include "stream/ReplayTransport.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace vintrel::cli {

namespace {

constexpr const char* kUsage =
    "usage: vintrel-cli delay FILE|- [--format F] [--max-delay 1000|2000|4000] [--big-endian] [--json]\n"
    "Feeds a raw record frame by frame to the delay analysis, as the live stream feeds the delay\n"
    "window, and prints one line per estimate:\n"
    "  estimate K: samples S, ms M, reliability R, warning \"W\", RPD P\n"
    "(with \", likely echo E ms\" before RPD while the warning says the echo is longer than the\n"
    "range), then \"Median delay, ms: \" (the median of the estimates judged without a warning) and\n"
    "\"Recommended RPD setting, ms: \" (the last recommendation that was not N/A); each is N/A\n"
    "when there is none.\n"
    "--json writes JSON Lines on standard output instead (the text goes to standard error): an\n"
    "\"estimate\" object per estimate, \"warning\" and \"error\" objects and one \"summary\" at the end.\n";
constexpr const char* kExitNotes =
    "Also 3 when the estimator library cannot be loaded or the analysis cannot start.\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "vintrel-cli delay: %s\n", why.c_str());
    PrintHelp(stderr, kUsage, kExitNotes);
    return kExitUsage;
}

// The delays in ms of the estimates judged without a warning, counted per value:
// ms = (delay + 4) / 8 with |delay| <= 16384.
class DelayHistogram {
public:
    void Add(int ms) {
        const int i = ms + kOffset;
        if (i >= 0 && i < int(counts_.size())) {
            ++counts_[i];
            ++total_;
        }
    }
    uint64_t Total() const { return total_; }
    // The median, twice over (so that the mean of the two middle values stays whole).
    long TwiceMedian() const {
        const uint64_t lo = (total_ - 1) / 2, hi = total_ / 2;
        long a = 0, b = 0;
        uint64_t seen = 0;
        for (size_t i = 0; i < counts_.size(); ++i) {
            if (seen <= lo && lo < seen + counts_[i]) a = long(i) - kOffset;
            if (seen <= hi && hi < seen + counts_[i]) {
                b = long(i) - kOffset;
                break;
            }
            seen += counts_[i];
        }
        return a + b;
    }

private:
    static constexpr int kOffset = 2050;
    std::array<uint64_t, 2 * kOffset + 1> counts_{};
    uint64_t total_ = 0;
};

// A shown number ("0.90") as a number; null when the text is none.
std::optional<double> ShownNumber(const char* text) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0') return std::nullopt;
    return v;
}

// Runs after the delay feed for every frame and prints each new estimate, as text or as an
// "estimate" object.
class EstimatePrinter : public FrameConsumer {
public:
    EstimatePrinter(DelayAnalysis& analysis, JsonReport& report) : analysis_(analysis), report_(report) {}

    void OnFrame(const DecodedFrame&) override {
        if (stopped_) return;
        const DelayView v = analysis_.View();
        std::FILE* to = report_.Text();
        if (v.HideRequested) {
            std::fprintf(to, "%s\n", v.Warning.data());
            report_.Warning(v.Warning.data());
            analysis_.FormHide(); // as the window does when feeding fails
            stopped_ = true;
            return;
        }
        if (v.Estimates == printed_) return;
        printed_ = v.Estimates;
        char likely[40] = "";
        if (v.LikelyEchoShown)
            std::snprintf(likely, sizeof likely, ", likely echo %d ms", int(v.LikelyEchoMs));
        std::fprintf(to, "estimate %llu: samples %d, ms %d, reliability %s, warning \"%s\"%s, RPD %s\n",
                     static_cast<unsigned long long>(v.Estimates), v.DelaySamples, v.DelayMs,
                     v.Reliability.data(), v.Warning.data(), likely, v.RpdText.data());
        const std::string_view warning = v.Warning.data();
        report_.Write(
            Typed("estimate")
                .Add("estimate", v.Estimates)
                .Add("samples", v.DelaySamples)
                .Add("ms", v.DelayMs)
                .Add("reliability", ShownNumber(v.Reliability.data()))
                .Add("warning", warning.empty() ? std::nullopt : std::optional(warning))
                .Add("likely_echo_ms", v.LikelyEchoShown ? std::optional(v.LikelyEchoMs) : std::nullopt)
                .Add("rpd", v.RpdAvailable ? std::optional(v.Rpd) : std::nullopt)
                .Add("trusted", !v.EstimateWarned));
        // Only estimates that passed every rule count toward the summary.
        if (!v.EstimateWarned) delays_.Add(v.DelayMs);
        if (v.RpdAvailable) {
            lastRpd_ = v.Rpd;
            haveRpd_ = true;
        }
    }

    // The median and the recommendation as text, and into the summary.
    void PrintSummary(JsonObject& summary) const {
        std::FILE* to = report_.Text();
        std::optional<double> median;
        if (delays_.Total() == 0) {
            std::fprintf(to, "Median delay, ms: N/A\n");
        } else {
            const long twice = delays_.TwiceMedian();
            median = twice / 2.0;
            if (twice % 2 == 0)
                std::fprintf(to, "Median delay, ms: %ld\n", twice / 2);
            else
                std::fprintf(to, "Median delay, ms: %.1f\n", twice / 2.0);
        }
        if (haveRpd_)
            std::fprintf(to, "Recommended RPD setting, ms: %d\n", lastRpd_);
        else
            std::fprintf(to, "Recommended RPD setting, ms: N/A\n");
        summary.Add("estimates", printed_)
            .Add("median_delay_ms", median)
            .Add("recommended_rpd_ms", haveRpd_ ? std::optional(lastRpd_) : std::nullopt);
    }

private:
    DelayAnalysis& analysis_;
    JsonReport& report_;
    uint64_t printed_ = 0;
    DelayHistogram delays_;
    int lastRpd_ = 0;
    bool haveRpd_ = false;
    bool stopped_ = false;
};

} // namespace

int RunDelay(int argc, char** argv, int first) {
    CliArgs args(argc, argv, first, {"--format", "--max-delay"}, {"--big-endian", "--json", "--help"});
    if (args.Has("--help")) {
        PrintHelp(stdout, kUsage, kExitNotes);
        return 0;
    }
    JsonReport report(args.Has("--json"));
    // The counters of the replay; null before it ran.
    const auto summary = [](const ReplayTotals* t) {
        const auto v = [t](uint64_t ReplayTotals::*field) {
            return t ? std::optional<uint64_t>(t->*field) : std::nullopt;
        };
        JsonObject o = Typed("summary");
        o.Add("total_frames", v(&ReplayTotals::Frames))
            .Add("checksum_errors", v(&ReplayTotals::ChecksumErrors))
            .Add("inconsistent_frames", v(&ReplayTotals::Inconsistent));
        return o;
    };
    const auto fail = [&](const std::string& text, int status) {
        std::fprintf(stderr, "vintrel-cli delay: %s\n", text.c_str());
        report.Error(text);
        return report.Summary(summary(nullptr).Null("median_delay_ms").Null("recommended_rpd_ms"), status);
    };
    const auto usage = [&](const std::string& why) {
        Usage(why);
        report.Error(why);
        return report.Summary(summary(nullptr).Null("median_delay_ms").Null("recommended_rpd_ms"),
                              kExitUsage);
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
    const auto maxDelay = args.Integer("--max-delay", 1000, 4000);
    const int scale = int(maxDelay.value_or(1000));
    if (!args.Ok() || (scale != 1000 && scale != 2000 && scale != 4000))
        return usage("--max-delay must be 1000, 2000 or 4000, not \"" + *args.Value("--max-delay") + "\"");

    CorrLibrary library;
    const LoadDllStatus loaded = library.LoadDll(QuendelImage());
    if (loaded != LoadDllStatus::Loaded) {
        return fail(library.Message().empty() ? "the estimator library lacks an entry point"
                                              : library.Message(),
                    kExitOpenFailed);
    }

    const std::string& name = args.Positional()[0];
    InputFile input;
    std::string error;
    if (int status = 0; !input.Open(name, error, status)) return fail(error, status);
    const std::string& path = input.Path();
    FileTransport file;
    if (!file.Open(path, error)) return fail("cannot read \"" + path + "\": " + error, kExitUsage);
    Replay replay(
        file, [&file] { return file.Exhausted(); }, o);
    DelayAnalysis analysis(library.Entries(), replay.State(), scale);
    DelayFeed feed(replay.State(), analysis);
    EstimatePrinter printer(analysis, report);
    replay.AddConsumer(&feed);
    replay.AddConsumer(&printer);
    // "Show diagram": the estimator is created and the feed flag set before the first frame.
    replay.State().Add(StreamState::Usb);
    const DelayAnalysis::ShowResult shown = analysis.FormShow(replay.State().Format());
    if (shown != DelayAnalysis::ShowResult::Shown) {
        return fail(shown == DelayAnalysis::ShowResult::NoMemory
                        ? "Error memory allocation, delay analysis is impossible"
                        : "delay analysis is impossible",
                    kExitOpenFailed);
    }
    const ReplayTotals totals = replay.Run();
    analysis.FormHide();
    if (file.Failed()) return fail("read error in \"" + name + "\"", kExitUsage);
    JsonObject s = summary(&totals);
    printer.PrintSummary(s);
    return report.Summary(s, totals.Frames ? kExitSuccess : kExitNothing);
}

} // namespace vintrel::cli
