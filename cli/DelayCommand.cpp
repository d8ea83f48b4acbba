#include "cli/DelayCommand.h"

#include "cli/CliArgs.h"
#include "cli/ExitStatus.h"
#include "delay/CorrLibrary.h"
#include "delay/DelayAnalysis.h"
#include "delay/DelayFeed.h"
#include "quendel/QuendelImage.h"
#include "stream/Replay.h"
#include "stream/ReplayTransport.h"

#include <array>
#include <cstdio>
#include <string>

namespace vintrel::cli {

namespace {

constexpr const char* kUsage =
    "usage: vintrel-cli delay FILE [--format F] [--max-delay 1000|2000|4000] [--big-endian]\n"
    "Feeds a raw record frame by frame to the delay analysis, as the live stream feeds the delay\n"
    "window, and prints one line per estimate:\n"
    "  estimate K: samples S, ms M, reliability R, warning \"W\", RPD P\n"
    "(with \", likely echo E ms\" before RPD while the warning says the echo is longer than the\n"
    "range), then \"Median delay, ms: \" (the median of the estimates judged without a warning) and\n"
    "\"Recommended RPD setting, ms: \" (the last recommendation that was not N/A); each is N/A\n"
    "when there is none.\n";
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

// Runs after the delay feed for every frame and prints each new estimate.
class EstimatePrinter : public FrameConsumer {
public:
    explicit EstimatePrinter(DelayAnalysis& analysis) : analysis_(analysis) {}

    void OnFrame(const DecodedFrame&) override {
        if (stopped_) return;
        const DelayView v = analysis_.View();
        if (v.HideRequested) {
            std::printf("%s\n", v.Warning.data());
            analysis_.FormHide(); // as the window does when feeding fails
            stopped_ = true;
            return;
        }
        if (v.Estimates == printed_) return;
        printed_ = v.Estimates;
        char likely[40] = "";
        if (v.LikelyEchoShown)
            std::snprintf(likely, sizeof likely, ", likely echo %d ms", int(v.LikelyEchoMs));
        std::printf("estimate %llu: samples %d, ms %d, reliability %s, warning \"%s\"%s, RPD %s\n",
                    static_cast<unsigned long long>(v.Estimates), v.DelaySamples, v.DelayMs,
                    v.Reliability.data(), v.Warning.data(), likely, v.RpdText.data());
        // Only estimates that passed every rule count toward the summary.
        if (!v.EstimateWarned) delays_.Add(v.DelayMs);
        if (v.RpdAvailable) {
            lastRpd_ = v.Rpd;
            haveRpd_ = true;
        }
    }

    void PrintSummary() const {
        if (delays_.Total() == 0) {
            std::printf("Median delay, ms: N/A\n");
        } else {
            const long twice = delays_.TwiceMedian();
            if (twice % 2 == 0)
                std::printf("Median delay, ms: %ld\n", twice / 2);
            else
                std::printf("Median delay, ms: %.1f\n", twice / 2.0);
        }
        if (haveRpd_)
            std::printf("Recommended RPD setting, ms: %d\n", lastRpd_);
        else
            std::printf("Recommended RPD setting, ms: N/A\n");
    }

private:
    DelayAnalysis& analysis_;
    uint64_t printed_ = 0;
    DelayHistogram delays_;
    int lastRpd_ = 0;
    bool haveRpd_ = false;
    bool stopped_ = false;
};

} // namespace

int RunDelay(int argc, char** argv, int first) {
    CliArgs args(argc, argv, first, {"--format", "--max-delay"}, {"--big-endian", "--help"});
    if (args.Has("--help")) {
        PrintHelp(stdout, kUsage, kExitNotes);
        return 0;
    }
    if (!args.Ok()) return Usage(args.Error());
    if (args.Positional().size() != 1) return Usage("one FILE is needed");
    ReplayOptions o;
    if (auto f = args.Value("--format")) {
        auto parsed = ParseFormatName(*f);
        if (!parsed) return Usage("unknown format \"" + *f + "\"; valid formats: " + ValidFormatList());
        o.Format = *parsed;
    }
    o.BigEndian = args.Has("--big-endian");
    const auto maxDelay = args.Integer("--max-delay", 1000, 4000);
    const int scale = int(maxDelay.value_or(1000));
    if (!args.Ok() || (scale != 1000 && scale != 2000 && scale != 4000))
        return Usage("--max-delay must be 1000, 2000 or 4000, not \"" + *args.Value("--max-delay") + "\"");

    CorrLibrary library;
    const LoadDllStatus loaded = library.LoadDll(QuendelImage());
    if (loaded != LoadDllStatus::Loaded) {
        std::fprintf(stderr, "vintrel-cli delay: %s\n",
                     library.Message().empty() ? "the estimator library lacks an entry point"
                                               : library.Message().c_str());
        return kExitOpenFailed;
    }

    const std::string path = args.Positional()[0];
    FileTransport file;
    std::string error;
    if (!file.Open(path, error)) {
        std::fprintf(stderr, "vintrel-cli delay: cannot read \"%s\": %s\n", path.c_str(), error.c_str());
        return kExitUsage;
    }
    Replay replay(
        file, [&file] { return file.Exhausted(); }, o);
    DelayAnalysis analysis(library.Entries(), replay.State(), scale);
    DelayFeed feed(replay.State(), analysis);
    EstimatePrinter printer(analysis);
    replay.AddConsumer(&feed);
    replay.AddConsumer(&printer);
    // "Show diagram": the estimator is created and the feed flag set before the first frame.
    replay.State().Add(StreamState::Usb);
    const DelayAnalysis::ShowResult shown = analysis.FormShow(replay.State().Format());
    if (shown != DelayAnalysis::ShowResult::Shown) {
        std::fprintf(stderr, "vintrel-cli delay: %s\n",
                     shown == DelayAnalysis::ShowResult::NoMemory
                         ? "Error memory allocation, delay analysis is impossible"
                         : "delay analysis is impossible");
        return kExitOpenFailed;
    }
    const ReplayTotals totals = replay.Run();
    analysis.FormHide();
    if (file.Failed()) {
        std::fprintf(stderr, "vintrel-cli delay: read error in \"%s\"\n", path.c_str());
        return kExitUsage;
    }
    printer.PrintSummary();
    return totals.Frames ? kExitSuccess : kExitNothing;
}

} // namespace vintrel::cli
