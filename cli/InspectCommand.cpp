#include "cli/InspectCommand.h"

#include "cli/CliArgs.h"
#include "cli/ExitStatus.h"
#include "cli/JsonLines.h"
#include "recording/OfflineParse.h"
#include "recording/PosixFileSystem.h"
#include "stream/ReceiveRing.h"
#include "stream/Replay.h"
#include "stream/ReplayTransport.h"
#include "stream/Tags.h"

#include <cstdio>
#include <optional>
#include <string>

namespace vintrel::cli {

namespace {

constexpr const char* kUsage =
    "usage: vintrel-cli inspect FILE [--format F] [--big-endian] [--no-checksum] [--json] [--summary]\n"
    "                           [--force]\n"
    "Replays a captured stream or raw record through the receiver, one line per frame.\n"
    "First the stream's frames are set against --format and --big-endian: when they contradict them,\n"
    "the line that says how (and the formats that fit) is printed and inspect ends with exit status\n"
    "4, unless --force is given.\n"
    "--json writes JSON Lines on standard output instead (the text goes to standard error): a\n"
    "\"frame\" object per frame, \"warning\" and \"error\" objects and one \"summary\" at the end.\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "vintrel-cli inspect: %s\n", why.c_str());
    PrintHelp(stderr, kUsage);
    return kExitUsage;
}

// What the decoder's result codes mean.
const char* ResultText(int result) {
    switch (result) {
    case kDecodeOk:
        return "ok";
    case kDecodeBadTag:
        return "unknown or damaged chunk";
    case kDecodeBadChecksum:
        return "checksum error";
    default:
        return "unknown result";
    }
}

std::optional<int> Available(int16_t v) {
    if (v == kNotAvailable) return std::nullopt;
    return v;
}

// Prints one line (or JSON object) per frame as the replay takes it.
class FramePrinter : public FrameConsumer {
public:
    FramePrinter(StreamState& s, JsonReport* json, bool quiet) : s_(s), json_(json), quiet_(quiet) {}

    void OnFrame(const DecodedFrame& f) override {
        const uint64_t index = index_++;
        Track(f);
        if (quiet_) return;
        const TNewProtHeaderEveryFrameData& r = s_.Decoder.HeaderEveryFrInfo[f.FrameBufN];
        if (json_) {
            json_->Write(FrameObject(f, r));
            return;
        }
        std::string tags;
        for (int16_t t : s_.Tags.CollectPlottableTags) {
            if (t == 0) continue;
            if (!tags.empty()) tags += " ";
            tags += GetParNameFromTag(static_cast<uint16_t>(t), kMaxTagForLists);
        }
        std::printf("%8llu  frame %-10lld %s  %5u bytes  result %2d  mips %d/%d  %s%s\n",
                    static_cast<unsigned long long>(index), static_cast<long long>(f.FrameNum),
                    f.Protocol ? "new" : "old", f.Bytes, f.Result, r.MIPS, r.maxMIPS, tags.c_str(),
                    f.Inconsistent ? "  [inconsistent]" : "");
    }

private:
    // The frame number (old-protocol counters unwrapped from 16 bits) and the byte offset in the file.
    void Track(const DecodedFrame& f) {
        if (index_ == 1) {
            number_ = f.Protocol ? f.FrameNum : int64_t(uint16_t(f.FrameNum));
            first_ = number_;
            offset_ = f.ParseIndx;
        } else {
            number_ = f.Protocol ? f.FrameNum : number_ + int16_t(uint16_t(f.FrameNum) - uint16_t(number_));
            offset_ += (f.ParseIndx - parseIndx_) & kRingMask; // the frame before and any bytes skipped
        }
        parseIndx_ = f.ParseIndx;
    }

    JsonObject FrameObject(const DecodedFrame& f, const TNewProtHeaderEveryFrameData& r) const {
        JsonArray channels;
        for (int k = 1; k <= kChannelCharts; ++k) {
            const int16_t tag = s_.Tags.ChartTag[k].load(std::memory_order_relaxed);
            if (tag == 0 || (r.FrameLen[k] == 0 && r.ChannMax[k] == kNotAvailable)) continue;
            channels.Push(JsonObject()
                              .Add("tag", GetParNameFromTag(static_cast<uint16_t>(tag), kMaxTagForLists))
                              .Add("samples", int(r.FrameLen[k]))
                              .Add("peak", Available(r.ChannMax[k]))
                              .Add("vad", Available(r.VadStatus[k]))
                              .Add("nd", Available(r.NoiseDetect[k]))
                              .Add("agc", Available(r.AGC[k])));
        }
        const double period = s_.Format().MsPerFrame / 1000.0;
        return Typed("frame")
            .Add("number", number_)
            .Add("time", double(number_ - first_) * period)
            .Add("offset", offset_)
            .Add("length", f.Bytes)
            .Add("protocol", f.Protocol ? "new" : "old")
            .Add("result", f.Result)
            .Add("result_text", ResultText(f.Result))
            .Add("inconsistent", f.Inconsistent)
            .Add("channels", channels)
            .Add("mips", Available(r.MIPS))
            .Add("max_mips", Available(r.maxMIPS))
            .Add("volume", Available(r.Volume))
            .Add("underflow", Available(r.UF));
    }

    StreamState& s_;
    JsonReport* json_;
    bool quiet_;
    uint64_t index_ = 0;
    int64_t number_ = 0, first_ = 0;
    uint64_t offset_ = 0;
    uint32_t parseIndx_ = 0;
};

// The run's counters; null before the replay ran.
JsonObject Summary(const ReplayTotals* t) {
    JsonObject o = Typed("summary");
    const auto v = [t](uint64_t ReplayTotals::*field) {
        return t ? std::optional<uint64_t>(t->*field) : std::nullopt;
    };
    return o.Add("total_frames", v(&ReplayTotals::Frames))
        .Add("checksum_errors", v(&ReplayTotals::ChecksumErrors))
        .Add("inconsistent_frames", v(&ReplayTotals::Inconsistent))
        .Add("reconnects", v(&ReplayTotals::Reconnects))
        .Add("lost_sync", v(&ReplayTotals::LostSync))
        .Add("malformed_chunks", v(&ReplayTotals::MalformedChunks));
}

} // namespace

int RunInspect(int argc, char** argv, int first) {
    CliArgs args(argc, argv, first, {"--format"},
                 {"--big-endian", "--no-checksum", "--json", "--summary", "--force", "--help"});
    if (args.Has("--help")) {
        PrintHelp(stdout, kUsage);
        return 0;
    }
    JsonReport report(args.Has("--json"));
    const auto fail = [&report](const std::string& text, int status) {
        std::fprintf(stderr, "vintrel-cli inspect: %s\n", text.c_str());
        report.Error(text);
        return report.Summary(Summary(nullptr), status);
    };
    const auto usage = [&](const std::string& why) {
        report.Error(why);
        report.Summary(Summary(nullptr), kExitUsage);
        return Usage(why);
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
    o.VerifyChecksum = !args.Has("--no-checksum");

    const std::string path = args.Positional()[0];
    FileTransport file;
    std::string error;
    if (!file.Open(path, error)) return fail("cannot read \"" + path + "\": " + error, kExitUsage);
    PosixFileSystem files;
    const FormatFinding finding = CheckRecordFormat(files, path, o.BigEndian, o.Format);
    if (finding.Contradicts()) {
        if (!args.Has("--force")) return fail(FindingText(finding), kExitMismatch);
        std::fprintf(stderr, "vintrel-cli inspect: %s\n", FindingText(finding).c_str());
        report.Warning(FindingText(finding));
    }
    Replay replay(
        file, [&file] { return file.Exhausted(); }, o);
    FramePrinter printer(replay.State(), report.On() ? &report : nullptr, args.Has("--summary"));
    replay.AddConsumer(&printer);
    const ReplayTotals t = replay.Run();
    if (file.Failed()) return fail("read error in \"" + path + "\"", kExitUsage);
    std::FILE* text = report.Text();
    std::fprintf(text, "Lost sync reports: %llu\nReconnects: %llu\n", (unsigned long long)t.LostSync,
                 (unsigned long long)t.Reconnects);
    std::fprintf(
        text,
        "Total frames: %llu\nChecksum errors: %llu\nInconsistent frames: %llu\nMalformed chunks: %llu\n",
        (unsigned long long)t.Frames, (unsigned long long)t.ChecksumErrors,
        (unsigned long long)t.Inconsistent, (unsigned long long)t.MalformedChunks);
    return report.Summary(Summary(&t), t.Frames ? kExitSuccess : kExitNothing);
}

} // namespace vintrel::cli
