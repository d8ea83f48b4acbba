#include "cli/ParseCommand.h"

#include "cli/CliArgs.h"
#include "cli/ExitStatus.h"
#include "cli/InputFile.h"
#include "recording/OfflineParse.h"
#include "recording/PosixFileSystem.h"
#include "stream/QueueSink.h"
#include "stream/SystemError.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace vintrel::cli {

namespace {

constexpr const char* kUsage =
    "usage: vintrel-cli parse FILE|- [--format F] [--protocol new|old] [--big-endian] [--no-checksum]\n"
    "                         [--base NAME] [--no-stamp] [--out DIR] [--on-damage retry|ignore|abort]\n"
    "                         [--gaps marker|exact] [--multichannel] [--force] [--json]\n"
    "Parses a saved raw record (or a captured dump; \"-\" reads standard input) into one WAV file per\n"
    "channel and per-frame parameter in DIR (default: the current folder), named NAME + time stamp +\n"
    "channel name, as the \"Parse Offline (expert)\" button does. Without --protocol the protocol\n"
    "of the first frame marker in the file is used. --big-endian parses through a byte-swapped copy.\n"
    "At damage the parse retries (going on and asking again), ignores (going on without asking) or\n"
    "aborts (default: ignore); the questions are printed on standard error.\n"
    "--gaps exact fills a forward gap in the frame numbering with exactly the missing frames' silence\n"
    "(at most ten minutes a gap); marker (the default) puts a fixed stretch of silence at every break.\n"
    "--multichannel also writes NAME + time stamp + \"multichannel.wav\": every raw channel of the\n"
    "record, interleaved in the order of the record's channel table, with the same silence.\n"
    "Before anything is written the record's frames are set against --format and --big-endian: when\n"
    "they contradict them, the line that says how (and the formats that fit) is printed and the\n"
    "parse ends with exit status 4, unless --force is given.\n"
    "Prints the status line of the parse and, for a damaged record, \"Inconsistencies (fragments):\",\n"
    "\"Checksum errors (if verified):\" and \"Total frames:\"; then a line per break in the frame\n"
    "numbering and per channel that was not written.\n"
    "--json writes JSON Lines on standard output instead (the text and the progress bar go to\n"
    "standard error): a \"gap\" object per break in the numbering, \"warning\" and \"error\" objects\n"
    "and one \"summary\" at the end with the fragments and the files written.\n";

} // namespace

void CliQuestions::Box(std::string_view caption, std::string_view text, bool error) {
    std::fprintf(stderr, "%.*s: %.*s\n", int(caption.size()), caption.data(), int(text.size()), text.data());
    if (!report_) return;
    const std::string line = std::string(caption) + ": " + std::string(text);
    if (error)
        report_->Error(line);
    else
        report_->Warning(line);
}

DamageAnswer CliQuestions::AbortRetryIgnore(std::string_view caption, std::string_view text) {
    asked_ = true;
    Box(caption, text, false);
    static const char* const kNames[] = {"ABORT", "RETRY", "IGNORE"};
    std::fprintf(stderr, "  -> %s\n", kNames[int(onDamage_)]);
    return onDamage_;
}

bool CliQuestions::YesNo(std::string_view caption, std::string_view text) {
    Box(caption, text, false);
    std::fputs("  -> Yes\n", stderr);
    return true;
}

void CliQuestions::ErrorBox(std::string_view caption, std::string_view text) {
    Box(caption, text, true);
}
void CliQuestions::MessageBox(std::string_view caption, std::string_view text) {
    Box(caption, text, false);
}

bool ParseGapFill(const std::string& text, GapFill& out) {
    if (text == "marker")
        out = GapFill::Marker;
    else if (text == "exact")
        out = GapFill::Exact;
    else
        return false;
    return true;
}

bool ParseOnDamage(const std::string& text, DamageAnswer& out) {
    if (text == "retry")
        out = DamageAnswer::Retry;
    else if (text == "ignore")
        out = DamageAnswer::Ignore;
    else if (text == "abort")
        out = DamageAnswer::Abort;
    else
        return false;
    return true;
}

TerminalProgress::TerminalProgress(const char* label, std::FILE* to)
    : label_(label), to_(to), terminal_(isatty(fileno(to))) {}

void TerminalProgress::ParseProgressChanged(int percent) {
    if (!terminal_) return;
    if (percent < 0) {
        std::fprintf(to_, "\r%-72s\r", "");
    } else {
        const int filled = percent / 5;
        std::fprintf(to_, "\r%s [%.*s%*s] %3d%%", label_, filled, "####################", 20 - filled, "",
                     percent);
    }
    std::fflush(to_);
}

void PrintParseOutcome(const ParseOutcome& o, JsonReport& report) {
    std::FILE* to = report.Text();
    std::fprintf(to, "%s\n", o.Status.c_str());
    if (o.ShowDiagPanel)
        std::fprintf(
            to, "Inconsistencies (fragments): %d\nChecksum errors (if verified): %d\nTotal frames: %lld\n",
            o.Portion, o.badcs, static_cast<long long>(o.Frames));
    for (const std::string& n : o.Notes) std::fprintf(to, "%s\n", n.c_str());
    if (!o.MultichannelRefused.empty()) {
        std::fprintf(to, "%s\n", o.MultichannelRefused.c_str());
        report.Warning(o.MultichannelRefused);
    }
    for (const std::string& f : o.WavFiles) std::fprintf(to, "  %s\n", f.c_str());
    if (!o.MultichannelFile.empty()) std::fprintf(to, "  %s\n", o.MultichannelFile.c_str());
    for (const std::string& f : o.Reports) std::fprintf(to, "  %s\n", f.c_str());
    if (!o.GapsFile.empty()) std::fprintf(to, "  %s\n", o.GapsFile.c_str());
    std::fflush(to);
    static const char* const kKinds[] = {"gap", "jump", "mask_change"};
    for (const ParseBreak& b : o.Breaks)
        report.Write(Typed("gap")
                         .Add("kind", kKinds[int(b.What)])
                         .Add("after_frame", b.AfterFrame)
                         .Add("next_frame", b.NextFrame)
                         .Add("missing", b.Missing < 0 ? std::nullopt : std::optional<int64_t>(b.Missing))
                         .Add("silence_samples", b.SilenceSamples)
                         .Add("at_sample", b.AtSample));
}

JsonObject& AddParseSummary(JsonObject& summary, const ParseOutcome* o) {
    if (!o) return summary.Null("fragments").Null("status").Add("files", JsonArray());
    JsonArray files;
    for (const std::string& f : o->WavFiles) files.Push(f);
    if (!o->MultichannelFile.empty()) files.Push(o->MultichannelFile);
    for (const std::string& f : o->Reports) files.Push(f);
    if (!o->GapsFile.empty()) files.Push(o->GapsFile);
    return summary.Add("fragments", o->Portion).Add("status", o->Status).Add("files", files);
}

std::string OutputFolder(const std::string& dir, std::string& error) {
    char resolved[PATH_MAX];
    struct stat st {};
    if (!realpath(dir.c_str(), resolved) || stat(resolved, &st) != 0) {
        const int err = errno;
        error = "--out " + dir + ": " + SystemErrorText(err);
        return "";
    }
    if (!S_ISDIR(st.st_mode)) {
        error = "--out " + dir + ": " + SystemErrorText(ENOTDIR);
        return "";
    }
    return resolved;
}

std::string BaseNameError(const std::string& folder, const std::string& base) {
    const size_t slash = base.find_last_of('/');
    if (slash == std::string::npos) return "";
    // The files are named folder + "/" + base + ...: the base's folder is inside the output folder.
    const std::string dir = folder + "/" + base.substr(0, slash);
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0) {
        const int err = errno;
        return "--base " + base + ": folder " + dir + ": " + SystemErrorText(err);
    }
    if (!S_ISDIR(st.st_mode)) return "--base " + base + ": folder " + dir + ": " + SystemErrorText(ENOTDIR);
    return "";
}

int RunParse(int argc, char** argv, int first) {
    CliArgs args(
        argc, argv, first, {"--format", "--protocol", "--base", "--out", "--on-damage", "--gaps"},
        {"--big-endian", "--no-checksum", "--no-stamp", "--multichannel", "--force", "--json", "--help"});
    if (args.Has("--help")) {
        PrintHelp(stdout, kUsage);
        return 0;
    }
    JsonReport report(args.Has("--json"));
    // The one summary: the counters of the parse, null before it ran.
    const auto summary = [&report](const ParseOutcome* o, int status) {
        JsonObject s = Typed("summary");
        s.Add("total_frames", o ? std::optional<int64_t>(o->Frames) : std::nullopt)
            .Add("checksum_errors", o ? std::optional<int>(o->badcs) : std::nullopt);
        return report.Summary(AddParseSummary(s, o), status);
    };
    auto usage = [&](const std::string& why) {
        std::fprintf(stderr, "vintrel-cli parse: %s\n", why.c_str());
        PrintHelp(stderr, kUsage);
        report.Error(why);
        return summary(nullptr, kExitUsage);
    };
    if (!args.Ok()) return usage(args.Error());
    if (args.Positional().size() != 1) return usage("one FILE is needed");

    InputFile input;
    std::string inputError;
    if (int status = 0; !input.Open(args.Positional()[0], inputError, status)) {
        std::fprintf(stderr, "vintrel-cli parse: %s\n", inputError.c_str());
        report.Error(inputError);
        return summary(nullptr, status);
    }
    OfflineRequest r;
    r.FileName = input.Path();
    r.BigEndian = args.Has("--big-endian");
    DataStreamFormat format = DataStreamFormat::Ksps8Ms4;
    if (auto f = args.Value("--format")) {
        auto parsed = ParseFormatName(*f);
        if (!parsed) return usage("unknown format \"" + *f + "\"; valid formats: " + ValidFormatList());
        format = *parsed;
    }
    DamageAnswer onDamage = DamageAnswer::Ignore;
    if (auto d = args.Value("--on-damage"))
        if (!ParseOnDamage(*d, onDamage)) return usage("--on-damage takes retry, ignore or abort");
    std::string folderError;
    const std::string folder = OutputFolder(args.Value("--out").value_or("."), folderError);
    if (folder.empty()) return usage(folderError);
    if (const std::string why = BaseNameError(folder, args.Value("--base").value_or("")); !why.empty())
        return usage(why);
    if (auto g = args.Value("--gaps"))
        if (!ParseGapFill(*g, r.Parse.Settings.Gaps)) return usage("--gaps takes marker or exact");

    r.Parse.Format = GetStreamFormat(format);
    r.Parse.VerifyChecksum = !args.Has("--no-checksum");
    r.Parse.Settings.RecordingsFolder = folder;
    r.Parse.Settings.FileNameBase = args.Value("--base").value_or("");
    r.Parse.Settings.IncludeTimeStamp = !args.Has("--no-stamp");
    r.Parse.Settings.ShowFiles = false;
    r.Parse.Settings.WriteMultichannel = args.Has("--multichannel");

    QueueSink sink;
    CliQuestions questions(onDamage, report.On() ? &report : nullptr);
    PosixFileSystem files;
    TerminalProgress progress("Parsing", report.Text());
    RecordParser parser(sink, questions, files, &progress);
    if (auto p = args.Value("--protocol")) {
        if (*p != "new" && *p != "old") return usage("--protocol takes new or old");
        r.ProtocolType = *p == "new" ? 1 : 0;
    } else {
        r.ProtocolType = DetectRecordProtocol(files, r.FileName, r.BigEndian);
        if (r.ProtocolType == -1) {
            // No marker of either protocol: the parser says so in its own words.
            r.ProtocolType = 1;
        } else if (r.ProtocolType == -2) {
            r.ProtocolType = 1; // unreadable: the parser's message tells
        }
    }
    // A file-size limit makes the writes fail (reported) instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    const FormatFinding finding = CheckRecordFormat(files, r.FileName, r.BigEndian, format);
    if (finding.Contradicts()) {
        std::fprintf(stderr, "vintrel-cli parse: %s\n", FindingText(finding).c_str());
        if (!args.Has("--force")) {
            report.Error(FindingText(finding));
            return summary(nullptr, kExitMismatch);
        }
        report.Warning(FindingText(finding));
    }
    const ParseOutcome o = ParseOffline(parser, r);
    if (!o.Opened || o.WrongStructure) return summary(nullptr, kExitUsage);
    PrintParseOutcome(o, report);
    if (o.WriteFailed) return summary(&o, kExitWriteFailed);
    return summary(&o, o.WavFiles.empty() ? kExitNothing : kExitSuccess);
}

} // namespace vintrel::cli
