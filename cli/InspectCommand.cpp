#include "cli/InspectCommand.h"

#include "cli/CliArgs.h"
#include "cli/ExitStatus.h"
#include "recording/OfflineParse.h"
#include "recording/PosixFileSystem.h"
#include "stream/Replay.h"
#include "stream/ReplayTransport.h"
#include "stream/Tags.h"

#include <cstdio>
#include <string>

namespace vintrel::cli {

namespace {

constexpr const char* kUsage =
    "usage: vintrel-cli inspect FILE [--format F] [--big-endian] [--no-checksum] [--json] [--summary]\n"
    "                           [--force]\n"
    "Replays a captured stream or raw record through the receiver, one line per frame.\n"
    "First the stream's frames are set against --format and --big-endian: when they contradict them,\n"
    "the line that says how (and the formats that fit) is printed and inspect ends with exit status\n"
    "4, unless --force is given.\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "vintrel-cli inspect: %s\n", why.c_str());
    PrintHelp(stderr, kUsage);
    return kExitUsage;
}

// Prints one line (or JSON object) per frame as the replay takes it.
class FramePrinter : public FrameConsumer {
public:
    FramePrinter(StreamState& s, bool json, bool quiet) : s_(s), json_(json), quiet_(quiet) {}

    void OnFrame(const DecodedFrame& f) override {
        const uint64_t index = index_++;
        if (quiet_) return;
        const TNewProtHeaderEveryFrameData& r = s_.Decoder.HeaderEveryFrInfo[f.FrameBufN];
        std::string tags;
        for (int16_t t : s_.Tags.CollectPlottableTags) {
            if (t == 0) continue;
            if (!tags.empty()) tags += json_ ? "," : " ";
            const std::string name = GetParNameFromTag(static_cast<uint16_t>(t), kMaxTagForLists);
            tags += json_ ? "\"" + name + "\"" : name;
        }
        if (json_) {
            std::printf("{\"index\":%llu,\"counter\":%lld,\"protocol\":\"%s\",\"bytes\":%u,\"result\":%d,"
                        "\"tags\":[%s],"
                        "\"mips\":%d,\"maxMips\":%d}\n",
                        static_cast<unsigned long long>(index), static_cast<long long>(f.FrameNum),
                        f.Protocol ? "new" : "old", f.Bytes, f.Result, tags.c_str(), r.MIPS, r.maxMIPS);
        } else {
            std::printf("%8llu  frame %-10lld %s  %5u bytes  result %2d  mips %d/%d  %s%s\n",
                        static_cast<unsigned long long>(index), static_cast<long long>(f.FrameNum),
                        f.Protocol ? "new" : "old", f.Bytes, f.Result, r.MIPS, r.maxMIPS, tags.c_str(),
                        f.Inconsistent ? "  [inconsistent]" : "");
        }
    }

private:
    StreamState& s_;
    bool json_, quiet_;
    uint64_t index_ = 0;
};

} // namespace

int RunInspect(int argc, char** argv, int first) {
    CliArgs args(argc, argv, first, {"--format"},
                 {"--big-endian", "--no-checksum", "--json", "--summary", "--force", "--help"});
    if (args.Has("--help")) {
        PrintHelp(stdout, kUsage);
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
    o.VerifyChecksum = !args.Has("--no-checksum");
    const bool json = args.Has("--json");

    const std::string path = args.Positional()[0];
    FileTransport file;
    std::string error;
    if (!file.Open(path, error)) {
        std::fprintf(stderr, "vintrel-cli inspect: cannot read \"%s\": %s\n", path.c_str(), error.c_str());
        return kExitUsage;
    }
    PosixFileSystem files;
    const FormatFinding finding = CheckRecordFormat(files, path, o.BigEndian, o.Format);
    if (finding.Contradicts()) {
        std::fprintf(stderr, "vintrel-cli inspect: %s\n", FindingText(finding).c_str());
        if (!args.Has("--force")) return kExitMismatch;
    }
    Replay replay(
        file, [&file] { return file.Exhausted(); }, o);
    FramePrinter printer(replay.State(), json, args.Has("--summary"));
    replay.AddConsumer(&printer);
    const ReplayTotals t = replay.Run();
    if (file.Failed()) {
        std::fprintf(stderr, "vintrel-cli inspect: read error in \"%s\"\n", path.c_str());
        return kExitUsage;
    }
    if (json) {
        std::printf("{\"total\":%llu,\"checksum_errors\":%llu,\"inconsistent\":%llu,\"lost_sync\":%llu,"
                    "\"reconnects\":%llu,\"malformed_chunks\":%llu}\n",
                    (unsigned long long)t.Frames, (unsigned long long)t.ChecksumErrors,
                    (unsigned long long)t.Inconsistent, (unsigned long long)t.LostSync,
                    (unsigned long long)t.Reconnects, (unsigned long long)t.MalformedChunks);
    } else {
        std::printf("Lost sync reports: %llu\nReconnects: %llu\n", (unsigned long long)t.LostSync,
                    (unsigned long long)t.Reconnects);
        std::printf(
            "Total frames: %llu\nChecksum errors: %llu\nInconsistent frames: %llu\nMalformed chunks: %llu\n",
            (unsigned long long)t.Frames, (unsigned long long)t.ChecksumErrors,
            (unsigned long long)t.Inconsistent, (unsigned long long)t.MalformedChunks);
    }
    return t.Frames ? kExitSuccess : kExitNothing;
}

} // namespace vintrel::cli
