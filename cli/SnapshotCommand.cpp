#include "cli/SnapshotCommand.h"

#include "cli/CliArgs.h"
#include "cli/ExitStatus.h"
#include "cli/InputFile.h"
#include "cli/JsonLines.h"
#include "monitor/Snapshot.h"
#include "monitor/SnapshotLayout.h"
#include "stream/ReplayTransport.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace vintrel::cli {

namespace {

constexpr const char* kUsage =
    "usage: vintrel-cli snapshot FILE|- --png OUT.png [--format F] [--big-endian] [--spectrum] [--fft N]\n"
    "                            [--rate 1..7] [--linear] [--db 0..48] [--vad] [--noise-level]\n"
    "                            [--seconds S] [--size WxH] [--json]\n"
    "Replays a raw record (the first S seconds, default all of it) through the receiver and the\n"
    "charts and writes the six charts with their labels, as the main window shows them, to a PNG.\n"
    "  --spectrum     spectrum columns instead of level bars (--fft 256, 512, 1024 or 2048)\n"
    "  --rate R       the rate slider: 2^(R-1) frames a column (default 4)\n"
    "  --linear       amplitude instead of dB bars\n"
    "  --db N         the channel charts' dB sliders: the plot tops out N dB below full scale\n"
    "  --vad          paint frames by the VAD indicator rather than the noise detector\n"
    "  --noise-level  draw the noise-level markers and the SNR labels\n"
    "  --size WxH     the charts laid out on W x H pixels as the resized window shows them, with a\n"
    "                 time axis in seconds (default: the window's own 570 x 440, without the axis)\n"
    "  --json         JSON Lines on standard output (the text goes to standard error): \"error\"\n"
    "                 objects and one \"summary\" with the frames drawn, the PNG written and its size\n";
constexpr const char* kExitNotes = "Also 5 when the PNG cannot be written; 1 when no frame was drawn.\n";

// The counters of the drawing and the picture's size; null before it ran.
JsonObject Summary(const SnapshotResult* r) {
    const auto v = [r](uint64_t value) { return r ? std::optional<uint64_t>(value) : std::nullopt; };
    JsonObject o = Typed("summary");
    return o.Add("frames_drawn", v(r ? r->FramesDrawn : 0))
        .Add("total_frames", v(r ? r->Totals.Frames : 0))
        .Add("checksum_errors", v(r ? r->Totals.ChecksumErrors : 0))
        .Add("inconsistent_frames", v(r ? r->Totals.Inconsistent : 0))
        .Add("width", v(r ? uint64_t(r->Image.width()) : 0))
        .Add("height", v(r ? uint64_t(r->Image.height()) : 0));
}

} // namespace

int RunSnapshot(int argc, char** argv, int first) {
    CliArgs args(argc, argv, first, {"--png", "--format", "--rate", "--seconds", "--fft", "--db", "--size"},
                 {"--big-endian", "--spectrum", "--linear", "--vad", "--noise-level", "--json", "--help"});
    if (args.Has("--help")) {
        PrintHelp(stdout, kUsage, kExitNotes);
        return 0;
    }
    JsonReport report(args.Has("--json"));
    const auto failed = [&report](const std::string& text, int status) {
        std::fprintf(stderr, "vintrel-cli snapshot: %s\n", text.c_str());
        report.Error(text);
        return report.Summary(Summary(nullptr), status);
    };
    const auto Fail = [&](const std::string& text) {
        const int status = failed(text, kExitUsage);
        PrintHelp(stderr, kUsage, kExitNotes);
        return status;
    };
    if (!args.Ok()) return Fail(args.Error());
    if (args.Positional().size() != 1) return Fail("one FILE is needed");
    const auto png = args.Value("--png");
    if (!png || png->empty()) return Fail("--png OUT.png is needed");

    SnapshotOptions o;
    if (auto f = args.Value("--format")) {
        const auto parsed = ParseFormatName(*f);
        if (!parsed) return Fail("unknown format \"" + *f + "\"; valid formats: " + ValidFormatList());
        o.Replay.Format = *parsed;
    }
    o.Replay.BigEndian = args.Has("--big-endian");
    o.RatePosition = int(args.Integer("--rate", 1, 7).value_or(o.RatePosition));
    o.FftLength = int(args.Integer("--fft", 256, 2048).value_or(o.FftLength));
    o.DbOffset = int(args.Integer("--db", 0, 48).value_or(o.DbOffset));
    o.Seconds = args.Real("--seconds", 1e-3, 1e9).value_or(o.Seconds);
    if (!args.Ok()) return Fail(args.Error());
    if (o.FftLength != 256 && o.FftLength != 512 && o.FftLength != 1024 && o.FftLength != 2048)
        return Fail("--fft takes 256, 512, 1024 or 2048");
    o.Spectrum = args.Has("--spectrum");
    o.Linear = args.Has("--linear");
    o.Vad = args.Has("--vad");
    o.NoiseLevel = args.Has("--noise-level");
    if (auto size = args.Value("--size")) {
        const auto wh = ParseSnapshotSize(*size);
        if (!wh) return Fail("--size takes WxH in pixels, such as 1200x900, not \"" + *size + "\"");
        o.Width = wh->first;
        o.Height = wh->second;
    }

    const std::string& name = args.Positional()[0];
    InputFile input;
    std::string error;
    if (int status = 0; !input.Open(name, error, status)) return failed(error, status);
    const std::string& path = input.Path();
    FileTransport file;
    if (!file.Open(path, error)) return failed("cannot read \"" + path + "\": " + error, kExitUsage);
    // Text needs a GUI application; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QGuiApplication app(qtArgc, qtArgv);
    // The smallest legible size depends on the label font.
    if (args.Value("--size")) {
        const std::string tooSmallOrLarge = SnapshotSizeError(o.Width, o.Height, SnapshotLabelRoom());
        if (!tooSmallOrLarge.empty()) return Fail(tooSmallOrLarge);
    }

    const std::string base =
        name.substr(name.find_last_of('/') == std::string::npos ? 0 : name.find_last_of('/') + 1);
    o.Title = base + "  " + FormatCaption(o.Replay.Format);
    const SnapshotResult r = DrawSnapshot(
        file, [&file] { return file.Exhausted(); }, o);
    if (file.Failed()) return failed("read error in \"" + name + "\"", kExitUsage);
    if (!r.Image.save(QString::fromStdString(*png), "PNG"))
        return failed("cannot write \"" + *png + "\"", kExitWriteFailed);
    std::fprintf(report.Text(),
                 "Frames drawn: %llu\nTotal frames: %llu\nChecksum errors: %llu\nInconsistent frames: %llu\n",
                 (unsigned long long)r.FramesDrawn, (unsigned long long)r.Totals.Frames,
                 (unsigned long long)r.Totals.ChecksumErrors, (unsigned long long)r.Totals.Inconsistent);
    return report.Summary(Summary(&r).Add("png", *png), r.FramesDrawn > 0 ? kExitSuccess : kExitNothing);
}

} // namespace vintrel::cli
