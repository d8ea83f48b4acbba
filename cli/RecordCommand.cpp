#include "cli/RecordCommand.h"

#include "app/Engine.h"
#include "cli/CliArgs.h"
#include "cli/CliEngineView.h"
#include "cli/ExitStatus.h"
#include "cli/FrameCounter.h"
#include "cli/LinkOptions.h"
#include "cli/ParseCommand.h"
#include "cli/RawRecordName.h"
#include "connection/StopSignal.h"
#include "stream/QueueSink.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>

namespace vintrel::cli {

namespace {

constexpr const char* kUsage =
    "usage: vintrel-cli record [--connect HOST:PORT | --serial DEV [--baud R] | --ftdi N]\n"
    "                          [--seconds N | --frames N] [--format F] [--big-endian] [--no-checksum]\n"
    "                          [--base NAME] [--no-stamp] [--out DIR] [--keep-raw | --raw FILE]\n"
    "                          [--force] [--on-damage retry|ignore|abort] [--dump DIR]\n"
    "                          [--gaps marker|exact] [--multichannel] [--json]\n"
    "Connects as the Connect button does (default --connect 127.0.0.1:9090), starts a recording as\n"
    "\"Start record\" does with \"Max time, sec\" N, and when N seconds of frames are recorded ends\n"
    "it, parsing the raw record \"temp.$$$\" into WAV files and the target's profile report in DIR\n"
    "(default: the current folder). --frames N ends it when N frames are recorded instead; without\n"
    "either the recording goes on until Ctrl-C or SIGTERM. Ctrl-C and SIGTERM end the recording\n"
    "early (it is still parsed).\n"
    "HOST is an IPv4 address, a host name (looked up within 2 s) or an IPv6 address in brackets.\n"
    "--keep-raw leaves the raw record in DIR: \"temp.$$$\", or when that is there already the first\n"
    "free name of temp-1.$$$, temp-2.$$$, ... (--force overwrites \"temp.$$$\"). --raw writes the raw\n"
    "record at FILE and keeps it; an existing FILE is refused unless --force is given. --dump writes the "
    "debug dump (every block read, a record\n"
    "per read and per frame) into its DIR. Prints the live counters, the status line of the parse\n"
    "and, for a damaged record, the diagnosis values.\n"
    "Each loss of the link and each reconnection is printed as it happens; a recording goes on\n"
    "across the reconnections. With --seconds N and without N seconds of frames the recording ends\n"
    "after 2 N + 15 s.\n"
    "A raw record that cannot be parsed is kept, and its path printed, even without --keep-raw.\n"
    "--gaps is the parse's fill of breaks in the frame numbering, and --multichannel its file of all\n"
    "raw channels interleaved, as for vintrel-cli parse.\n"
    "When the stream's frame rate, sample counts or byte order contradict --format or --big-endian,\n"
    "the line that says how (and the formats that fit) is printed; the recording goes on, and after\n"
    "its files are written the exit status is 4.\n"
    "--json writes JSON Lines on standard output instead (the text and the progress bar go to\n"
    "standard error): a \"status\" object once a second with the counters and the status line, a\n"
    "\"gap\" object per break in the numbering, \"warning\" and \"error\" objects and one \"summary\"\n"
    "at the end with the fragments, the files written and the raw record when it is kept.\n";
constexpr const char* kExitNotes =
    "Also 1 when the link was down at the 2 N + 15 s limit or the raw record was kept after a\n"
    "failed parse; 3 when the raw record could not be created.\n";

// The engine's view of the record verb: the recording's settings from the options, damage
// answered as --on-damage says, the parse's progress on the terminal.
class RecordView : public CliEngineView {
public:
    RecordView(RecordSettings settings, DamageAnswer onDamage, JsonReport& report)
        : CliEngineView("record"), settings_(std::move(settings)),
          questions_(onDamage, report.On() ? &report : nullptr), progress_("Parsing", report.Text()) {
        ReportTo(report.On() ? &report : nullptr);
    }
    RecordSettings RecordingSettings() override { return settings_; }
    UserQuestions* RecordingQuestions() override { return &questions_; }
    void ParseProgressChanged(int percent) override { progress_.ParseProgressChanged(percent); }

private:
    RecordSettings settings_;
    CliQuestions questions_;
    TerminalProgress progress_;
};

// Prints each loss of the link and each reconnection as it happens, one line each (and a
// "warning" object with --json).
class LinkLog {
public:
    LinkLog(const Engine& engine, const FrameCounter& counter, bool tty, JsonReport& report)
        : engine_(engine), counter_(counter), tty_(tty), report_(report) {}
    // Before the window side handles a message.
    void Message(const QueuedMessage& m) {
        if (m.Msg != WM_TRANSPORT_REPORT) return;
        Line(m.LParam ? "lost sync" : "no signal");
    }
    // After the messages of a turn: links lost, reconnections made, frames flowing again.
    void Turn() {
        const LinkCounters& links = engine_.Links();
        const bool dropped = links.LinkDrops() != drops_, reconnected = links.Reconnects() != reconnects_;
        drops_ = links.LinkDrops();
        reconnects_ = links.Reconnects();
        if (dropped) Line(engine_.Connected() ? "connection lost" : "connection lost, retrying every 5 s");
        if (reconnected) Line("connected again");
        if (down_ && counter_.Frames() != framesAtLoss_) {
            down_ = false;
            Say("link: frames again from frame " + std::to_string(counter_.LastFrameNum()));
        }
    }
    bool Down() const { return down_; }

private:
    void Line(const char* what) {
        if (!down_) framesAtLoss_ = counter_.Frames();
        down_ = true;
        Say(std::string("link: ") + what + " after frame " + std::to_string(counter_.LastFrameNum()));
    }
    void Say(const std::string& text) {
        std::FILE* to = report_.Text();
        if (tty_) std::fprintf(to, "\r%-72s\r", "");
        std::fprintf(to, "%s\n", text.c_str());
        std::fflush(to);
        report_.Warning(text);
    }
    const Engine& engine_;
    const FrameCounter& counter_;
    bool tty_;
    JsonReport& report_;
    uint32_t reconnects_ = 0;
    uint32_t drops_ = 0;
    uint64_t framesAtLoss_ = 0;
    bool down_ = false;
};

} // namespace

int RunRecord(int argc, char** argv, int first) {
    CliArgs args(argc, argv, first,
                 {"--connect", "--serial", "--baud", "--ftdi", "--format", "--seconds", "--frames", "--base",
                  "--out", "--on-damage", "--dump", "--gaps", "--raw"},
                 {"--big-endian", "--no-checksum", "--no-stamp", "--keep-raw", "--multichannel", "--force",
                  "--json", "--help"});
    if (args.Has("--help")) {
        PrintHelp(stdout, kUsage, kExitNotes);
        return 0;
    }
    JsonReport report(args.Has("--json"));
    std::FILE* const out = report.Text();
    const auto nullSummary = [] {
        JsonObject o = Typed("summary");
        o.Null("total_frames")
            .Null("checksum_errors")
            .Null("inconsistent_frames")
            .Null("reconnects")
            .Null("link_drops")
            .Null("recorded_frames")
            .Null("recorded_s");
        return AddParseSummary(o, nullptr);
    };
    const auto fail = [&](const std::string& text, int status) {
        std::fprintf(stderr, "vintrel-cli record: %s\n", text.c_str());
        report.Error(text);
        return report.Summary(nullSummary(), status);
    };
    auto usage = [&](const std::string& why) {
        const int status = fail(why, kExitUsage);
        PrintHelp(stderr, kUsage, kExitNotes);
        return status;
    };
    if (!args.Ok()) return usage(args.Error());
    if (!args.Positional().empty()) return usage("unexpected argument " + args.Positional()[0]);
    ConnectSettings cs;
    if (const std::string why = StreamSettings(args, cs); !why.empty()) return usage(why);
    const auto seconds = args.Integer("--seconds", 1, INT32_MAX);
    if (!args.Ok()) return usage(args.Error());
    const auto frames = args.Integer("--frames", 1, INT32_MAX);
    if (!args.Ok()) return usage(args.Error());
    if (seconds && frames) return usage("--seconds and --frames exclude each other");
    if (args.Has("--raw") && args.Has("--keep-raw")) return usage("--raw and --keep-raw exclude each other");
    DamageAnswer onDamage = DamageAnswer::Ignore;
    if (auto d = args.Value("--on-damage"))
        if (!ParseOnDamage(*d, onDamage)) return usage("--on-damage takes retry, ignore or abort");
    RecordSettings rs;
    std::string folderError;
    rs.RecordingsFolder = OutputFolder(args.Value("--out").value_or("."), folderError);
    if (rs.RecordingsFolder.empty()) return usage(folderError);
    if (const std::string why = BaseNameError(rs.RecordingsFolder, args.Value("--base").value_or(""));
        !why.empty())
        return usage(why);
    rs.FileNameBase = args.Value("--base").value_or("");
    rs.IncludeTimeStamp = !args.Has("--no-stamp");
    rs.DeleteRawRecord = !args.Has("--keep-raw") && !args.Has("--raw");
    const RawRecordChoice raw = ChooseRawRecord(rs.RecordingsFolder, args.Value("--raw"),
                                                args.Has("--keep-raw"), args.Has("--force"));
    if (!raw.Error.empty()) return usage(raw.Error);
    rs.RawRecordFile = raw.Path;
    // Without --seconds the time never ends a recording (INT32_MAX s is beyond any run).
    rs.MaxTimeText = std::to_string(seconds.value_or(INT32_MAX));
    rs.FrameLimit = int32_t(frames.value_or(0));
    rs.ShowFiles = false;
    rs.WriteMultichannel = args.Has("--multichannel");
    if (auto g = args.Value("--gaps"))
        if (!ParseGapFill(*g, rs.Gaps)) return usage("--gaps takes marker or exact");

    QueueSink sink;
    SteadyClock clock;
    RecordView view(rs, onDamage, report);
    Engine engine(sink, clock, view);
    FrameCounter counter;
    engine.Extractor().AddConsumer(&counter);
    int linkExit = 0;
    if (const std::string why = LinkSettings(args, engine, cs, linkExit); !why.empty()) {
        if (linkExit == 2) return usage(why);
        return fail(why, linkExit);
    }
    view.UseConnectSettings(cs);
    RecordingControl& rc = engine.Recording();

    if (auto d = args.Value("--dump")) {
        std::string error;
        if (!engine.Dump().Open(*d, false, error))
            return fail("cannot write the dump: " + error, kExitOpenFailed);
    }

    // The engine's threads keep their reads; the loop below asks for the flag every few ms.
    InstallStopHandlers(InterruptedCalls::Restart);
    // A file-size limit makes the raw record's writes fail (reported) instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    engine.Start();
    if (!engine.ConnectButtonClick(false)) {
        const std::string why = view.Failure().empty() ? sink.Status() : view.Failure();
        engine.Close();
        return fail(why, kExitOpenFailed);
    }
    rc.StartStopButtonClick();
    if (!rc.IsRecording()) {
        const std::string why = sink.Status();
        engine.Close();
        report.Error(why.empty() ? "the raw record could not be created" : why);
        return report.Summary(nullSummary(), kExitOpenFailed);
    }

    const bool tty = isatty(fileno(out));
    const auto start = std::chrono::steady_clock::now();
    // Frames that never come would keep the clock still: the recording then ends by the wall clock.
    // Only a recording of N seconds has one: the others end by their frames or by a signal.
    const double deadline = seconds ? 2.0 * rc.RecTotal + 15 : 0;
    bool capped = false;
    auto lastTimer = start, lastPrint = start, lastStatus = start;
    LinkLog link(engine, counter, tty, report);
    while (rc.IsRecording()) {
        QueuedMessage m;
        while (rc.IsRecording() && sink.Take(m)) {
            view.Count(m);
            link.Message(m);
            engine.AppMessage(m.Msg, m.WParam, m.LParam);
        }
        link.Turn();
        if (!rc.IsRecording()) break;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastTimer >= std::chrono::seconds(1)) {
            engine.OnTimer();
            lastTimer = now;
        }
        if (tty && !seconds && now - lastPrint >= std::chrono::milliseconds(250)) {
            lastPrint = now;
            std::fprintf(out, "\rRecording %s s  frames %llu", rc.Controls().RecordedSec.c_str(),
                         (unsigned long long)counter.Frames());
            std::fflush(out);
        } else if (tty && now - lastPrint >= std::chrono::milliseconds(250)) {
            lastPrint = now;
            const int total = rc.RecTotal > 0 ? rc.RecTotal : 1;
            const int filled = std::min(20, std::max(0, rc.RecShown) * 20 / total);
            std::fprintf(out, "\rRecording [%.*s%*s] %s/%d s  frames %llu", filled, "####################",
                         20 - filled, "", rc.Controls().RecordedSec.c_str(), rc.RecTotal,
                         (unsigned long long)counter.Frames());
            std::fflush(out);
        }
        if (report.On() && now - lastStatus >= std::chrono::seconds(1)) {
            lastStatus = now;
            report.Write(Typed("status")
                             .Add("elapsed_s", std::chrono::duration<double>(now - start).count())
                             .Add("total_frames", counter.Frames())
                             .Add("checksum_errors", view.ChecksumErrors())
                             .Add("inconsistent_frames", view.InconsistentFrames())
                             .Add("reconnects", engine.Links().Reconnects())
                             .Add("link_drops", engine.Links().LinkDrops())
                             .Add("recorded_frames", rc.Recorder().RecNo.load())
                             .Add("recorded_s", rc.Recorder().RecSec.load())
                             .Add("status", sink.Status()));
        }
        capped = seconds && std::chrono::duration<double>(now - start).count() > deadline;
        if (StopRequested() || capped) {
            rc.StartStopButtonClick(); // ends and parses what was recorded
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (tty) std::fprintf(out, "\r%-72s\r", "");
    const ParseOutcome outcome = rc.LastParse();
    const RawRecorder& rec = rc.Recorder();
    engine.Close();
    QueuedMessage m;
    while (sink.Take(m)) view.Count(m);

    std::fprintf(out,
                 "Total frames: %llu\nChecksum errors: %llu\nInconsistent frames: %llu\nReconnects: %u\n"
                 "Link drops: %u\nRecorded frames: %d\nRecorded, sec: %d\n",
                 (unsigned long long)counter.Frames(), (unsigned long long)view.ChecksumErrors(),
                 (unsigned long long)view.InconsistentFrames(), engine.Links().Reconnects(),
                 engine.Links().LinkDrops(), rec.RecNo.load(), rec.RecSec.load());
    JsonObject summary = Typed("summary");
    summary.Add("total_frames", counter.Frames())
        .Add("checksum_errors", view.ChecksumErrors())
        .Add("inconsistent_frames", view.InconsistentFrames())
        .Add("reconnects", engine.Links().Reconnects())
        .Add("link_drops", engine.Links().LinkDrops())
        .Add("recorded_frames", rec.RecNo.load())
        .Add("recorded_s", rec.RecSec.load())
        .Add("frames_lost", rec.FramesLost());
    if (rec.FramesLost())
        std::fprintf(out, "Frames lost from the raw record: %llu\n", (unsigned long long)rec.FramesLost());
    const bool parsed = outcome.Opened && !outcome.WrongStructure;
    if (parsed) PrintParseOutcome(outcome, report);
    AddParseSummary(summary, parsed ? &outcome : nullptr);
    if (!outcome.KeptRawRecord.empty())
        std::fprintf(out, "Raw record kept: %s\n", outcome.KeptRawRecord.c_str());
    summary.Add("raw_record_kept",
                outcome.KeptRawRecord.empty() ? std::nullopt : std::optional(outcome.KeptRawRecord));
    // A raw record kept on request (a failed parse keeps one anyway, named above).
    std::optional<std::string> kept;
    if (!outcome.KeptRawRecord.empty())
        kept = outcome.KeptRawRecord;
    else if (!rs.DeleteRawRecord)
        kept = rs.RawRecordFile.empty() ? RawRecordPath(rs) : rs.RawRecordFile;
    if (kept && outcome.KeptRawRecord.empty()) std::fprintf(out, "Raw record: %s\n", kept->c_str());
    summary.Add("raw_record", kept);
    const bool mismatch = !engine.FormatWarning().empty();
    if (mismatch) {
        std::fflush(out);
        std::fprintf(stderr, "vintrel-cli record: %s\n", engine.FormatWarning().c_str());
    }
    if (capped && link.Down()) {
        char text[96];
        std::snprintf(text, sizeof text, "The link did not come back before the wall-clock limit of %.0f s",
                      deadline);
        std::fprintf(out, "%s\n", text);
        report.Error(text);
        return report.Summary(summary, mismatch ? kExitMismatch : kExitNothing);
    }
    if (mismatch) return report.Summary(summary, kExitMismatch);
    if (outcome.WriteFailed || rec.FramesLost()) return report.Summary(summary, kExitWriteFailed);
    return report.Summary(summary, outcome.WavFiles.empty() || !outcome.KeptRawRecord.empty() ? kExitNothing
                                                                                              : kExitSuccess);
}

} // namespace vintrel::cli
