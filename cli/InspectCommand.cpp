#include "cli/InspectCommand.h"

#include "cli/CliArgs.h"
#include "cli/ExitStatus.h"
#include "cli/FrameNumbering.h"
#include "cli/JsonLines.h"
#include "recording/OfflineParse.h"
#include "stream/FormatCheck.h"
#include "stream/FrameChannels.h"
#include "stream/ReceiveRing.h"
#include "stream/Replay.h"
#include "stream/ReplayTransport.h"
#include "stream/Tags.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace vintrel::cli {

namespace {

constexpr const char* kUsage =
    "usage: vintrel-cli inspect FILE|- [--format F] [--big-endian] [--no-checksum] [--json] [--summary]\n"
    "                           [--force]\n"
    "Replays a captured stream or raw record through the receiver, one line per frame; \"-\" reads\n"
    "standard input.\n"
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

std::optional<int> Available(int v) {
    if (v == kNotAvailable) return std::nullopt;
    return v;
}

// Prints one line (or JSON object) per frame as the replay takes it.
class FramePrinter : public FrameConsumer {
public:
    FramePrinter(StreamState& s, JsonReport* json, bool quiet)
        : s_(s), json_(json), quiet_(quiet), numbering_(s.Format().MsPerFrame / 1000.0) {}

    void OnFrame(const DecodedFrame& f) override {
        const uint64_t index = index_++;
        Track(f);
        if (quiet_) return;
        const TNewProtHeaderEveryFrameData& r = s_.Decoder.HeaderEveryFrInfo[f.FrameBufN];
        if (json_) {
            if (f.Protocol == 1)
                channels_.FromNewProtocol(
                    reinterpret_cast<const uint16_t*>(s_.Decoder.WordPtr(f.FrameBufN, 0)), int(f.Bytes / 2));
            else
                channels_.FromOldProtocol(r, s_.Tags);
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
    // The frame number and the byte offset in the file.
    void Track(const DecodedFrame& f) {
        numbering_.Take(f);
        if (index_ == 1)
            offset_ = f.ParseIndx;
        else
            offset_ += (f.ParseIndx - parseIndx_) & kRingMask; // the frame before and any bytes skipped
        parseIndx_ = f.ParseIndx;
    }

    JsonObject FrameObject(const DecodedFrame& f, const TNewProtHeaderEveryFrameData& r) const {
        JsonArray channels;
        for (int i = 0; i < channels_.Count(); ++i) {
            const ChannelValues& c = channels_[i];
            channels.Push(JsonObject()
                              .Add("tag", GetParNameFromTag(c.Tag, kMaxTagForLists))
                              .Add("samples", c.Samples)
                              .Add("peak", Available(c.Peak))
                              .Add("vad", Available(c.Vad))
                              .Add("nd", Available(c.Nd))
                              .Add("agc_gain", Available(c.AgcGain)));
        }
        return Typed("frame")
            .Add("number", numbering_.Number())
            .Add("time", numbering_.Seconds())
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
    FrameNumbering numbering_;
    FrameChannels channels_;
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
    // The frames at the start, looked at without seeking so that standard input works too.
    const std::vector<uint8_t>& head = file.LookAhead(kFormatLookBytes);
    const FormatFinding finding = CheckStreamBytes(head.data(), head.size(), o.BigEndian, o.Format);
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
