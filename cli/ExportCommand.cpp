// vintrel-cli export: the per-frame values of a record as CSV, one row per frame. The record is
// replayed twice through the receiver: the first pass learns the columns (channels may appear
// late in a record), the second writes the rows.
#include "cli/ExportCommand.h"

#include "cli/CliArgs.h"
#include "cli/ExitStatus.h"
#include "cli/FrameNumbering.h"
#include "cli/InputFile.h"
#include "recording/OfflineParse.h"
#include "recording/PosixFileSystem.h"
#include "stream/FrameChannels.h"
#include "stream/FrameLayout.h"
#include "stream/Replay.h"
#include "stream/ReplayTransport.h"
#include "stream/SystemError.h"
#include "stream/Tags.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace vintrel::cli {

namespace {

constexpr const char* kUsage =
    "usage: vintrel-cli export FILE|- --csv OUT [--format F] [--big-endian] [--no-checksum] [--force]\n"
    "Replays a captured stream or raw record through the receiver and writes one CSV row per frame to\n"
    "OUT (- for standard output). Columns: frame (the frame counter; old-protocol counters unwrapped\n"
    "from 16 bits), time_s ((frame - first frame) x the format's frame period, so gaps show), result\n"
    "(the decoder's: 0 good, -1 bad tag, -2 checksum error), mips_percent (MIPS in percent of the\n"
    "frame's maximum MIPS; old protocol: of 32767), volume and underflow (old protocol), then for\n"
    "every channel the record carries, whatever the charts show: CHANNEL_peak (the peak absolute\n"
    "sample or the carried peak), CHANNEL_vad, CHANNEL_nd (as received) and CHANNEL_agc_gain (the\n"
    "AGC word as a linear gain), each only when some frame carries it. Channels come in the order\n"
    "they first appear in the record (FILE is read twice, so a channel that appears late has its\n"
    "column from the first row on). A field is empty where the frame lacks the value.\n"
    "The record's frames are first set against --format and --big-endian as inspect does: when they\n"
    "contradict them, export ends with exit status 4, unless --force is given.\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "vintrel-cli export: %s\n", why.c_str());
    PrintHelp(stderr, kUsage);
    return kExitUsage;
}

// What a channel column holds; a column is keyed by the channel's raw tag and its kind.
enum Kind : int { kPeak, kVad, kNd, kAgcGain, kKinds };
constexpr const char* kKindSuffix[kKinds] = {"_peak", "_vad", "_nd", "_agc_gain"};
constexpr int kKeys = (kTagRawLast + 1) * kKinds;
int Key(uint16_t rawTag, Kind k) {
    return rawTag * kKinds + k;
}

// One replay's consumer: each frame's decoder record and the channels it carries.
class Pass : public FrameConsumer {
public:
    explicit Pass(StreamState& s) : s_(s) {}
    void OnFrame(const DecodedFrame& f) override {
        FrameDecoder& d = s_.Decoder;
        const TNewProtHeaderEveryFrameData& r = d.HeaderEveryFrInfo[f.FrameBufN];
        if (f.Protocol == 1)
            channels_.FromNewProtocol(reinterpret_cast<const uint16_t*>(d.WordPtr(f.FrameBufN, 0)),
                                      int(f.Bytes / 2));
        else
            channels_.FromOldProtocol(r, s_.Tags);
        BeginFrame(f, r);
        for (int i = 0; i < channels_.Count(); ++i) {
            const ChannelValues& c = channels_[i];
            const int values[kKinds] = {c.Peak, c.Vad, c.Nd, c.AgcGain};
            for (int k = 0; k < kKinds; ++k)
                if (values[k] != kNotAvailable) Value(c.Tag, Kind(k), values[k]);
        }
        EndFrame();
    }

protected:
    virtual void BeginFrame(const DecodedFrame&, const TNewProtHeaderEveryFrameData&) {}
    virtual void Value(uint16_t rawTag, Kind k, int v) = 0;
    virtual void EndFrame() {}

private:
    StreamState& s_;
    FrameChannels channels_;
};

// The first pass: the channel columns in the order they are first met.
class ColumnCollector : public Pass {
public:
    using Pass::Pass;

protected:
    void Value(uint16_t rawTag, Kind k, int) override {
        if (!seen_[Key(rawTag, k)]) {
            seen_[Key(rawTag, k)] = true;
            if (std::find(channels_.begin(), channels_.end(), rawTag) == channels_.end())
                channels_.push_back(rawTag);
        }
    }

public:
    // Channels in order of appearance, each with the kinds some frame carries.
    std::vector<int> Keys() const {
        std::vector<int> keys;
        for (uint16_t c : channels_)
            for (int k = 0; k < kKinds; ++k)
                if (seen_[Key(c, Kind(k))]) keys.push_back(Key(c, Kind(k)));
        return keys;
    }

private:
    std::vector<bool> seen_ = std::vector<bool>(kKeys);
    std::vector<uint16_t> channels_;
};

// Plain decimal to the millionth (a microsecond of time_s), no trailing zeros.
std::string Decimal(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f", v);
    std::string s = buf;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
    return s;
}

// The second pass: one row per frame.
class RowWriter : public Pass {
public:
    RowWriter(StreamState& s, std::FILE* out, const std::vector<int>& keys, double frameSeconds)
        : Pass(s), out_(out), column_(kKeys, -1), values_(keys.size()), numbering_(frameSeconds) {
        for (size_t c = 0; c < keys.size(); ++c) column_[keys[c]] = int(c);
    }
    uint64_t Frames() const { return frames_; }
    // The system's reason of the first failed write, 0 while all went well.
    int WriteError() const { return writeError_; }

protected:
    void Value(uint16_t rawTag, Kind k, int v) override {
        const int c = column_[Key(rawTag, k)];
        if (c >= 0) values_[c] = v;
    }
    void BeginFrame(const DecodedFrame& f, const TNewProtHeaderEveryFrameData& r) override {
        ++frames_;
        std::fill(values_.begin(), values_.end(), std::nullopt);
        const int64_t number = numbering_.Take(f);
        row_ = std::to_string(number) + "," + Decimal(numbering_.Seconds()) + "," + std::to_string(f.Result) +
               ",";
        if (r.MIPS != kNotAvailable) row_ += Decimal(r.MIPS * 100.0 / (r.maxMIPS ? r.maxMIPS : 32767));
        row_ += ",";
        if (f.Protocol == 0 && r.Volume != kNotAvailable) row_ += std::to_string(r.Volume);
        row_ += ",";
        if (f.Protocol == 0 && r.UF != kNotAvailable) row_ += std::to_string(r.UF);
    }
    void EndFrame() override {
        for (const auto& v : values_) {
            row_ += ",";
            if (v) row_ += std::to_string(*v);
        }
        row_ += "\n";
        if (!writeError_ && std::fputs(row_.c_str(), out_) == EOF) writeError_ = errno ? errno : EIO;
    }

private:
    std::FILE* out_;
    std::vector<int> column_;
    std::vector<std::optional<int>> values_;
    std::string row_;
    uint64_t frames_ = 0;
    int writeError_ = 0;
    FrameNumbering numbering_;
};

// A header field, quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

std::string ChannelName(uint16_t rawTag) {
    std::string name = GetParNameFromTag(rawTag, kMaxTagForLists);
    if (name.rfind("Raw_", 0) == 0) name.erase(0, 4);
    return name;
}

std::string HeaderRow(const std::vector<int>& keys) {
    std::string row = "frame,time_s,result,mips_percent,volume,underflow";
    for (int key : keys)
        row += "," + CsvField(ChannelName(uint16_t(key / kKinds)) + kKindSuffix[key % kKinds]);
    return row + "\n";
}

} // namespace

int RunExport(int argc, char** argv, int first) {
    CliArgs args(argc, argv, first, {"--format", "--csv"},
                 {"--big-endian", "--no-checksum", "--force", "--help"});
    if (args.Has("--help")) {
        PrintHelp(stdout, kUsage);
        return 0;
    }
    if (!args.Ok()) return Usage(args.Error());
    if (args.Positional().size() != 1) return Usage("one FILE is needed");
    const auto outPath = args.Value("--csv");
    if (!outPath || outPath->empty()) return Usage("--csv OUT is needed");
    ReplayOptions o;
    if (auto f = args.Value("--format")) {
        auto parsed = ParseFormatName(*f);
        if (!parsed) return Usage("unknown format \"" + *f + "\"; valid formats: " + ValidFormatList());
        o.Format = *parsed;
    }
    o.BigEndian = args.Has("--big-endian");
    o.VerifyChecksum = !args.Has("--no-checksum");
    const std::string& name = args.Positional()[0];
    InputFile input;
    std::string inputError;
    if (int status = 0; !input.Open(name, inputError, status)) {
        std::fprintf(stderr, "vintrel-cli export: %s\n", inputError.c_str());
        return status;
    }
    const std::string& path = input.Path();

    PosixFileSystem files;
    const FormatFinding finding = CheckRecordFormat(files, path, o.BigEndian, o.Format);
    if (finding.Contradicts()) {
        std::fprintf(stderr, "vintrel-cli export: %s\n", FindingText(finding).c_str());
        if (!args.Has("--force")) return kExitMismatch;
    }
    // One replay of the whole file; false when it cannot be read.
    auto replay = [&](auto makePass, auto after) {
        FileTransport file;
        std::string error;
        if (!file.Open(path, error)) {
            std::fprintf(stderr, "vintrel-cli export: cannot read \"%s\": %s\n", name.c_str(), error.c_str());
            return false;
        }
        Replay r(
            file, [&file] { return file.Exhausted(); }, o);
        auto pass = makePass(r.State());
        r.AddConsumer(&pass);
        r.Run();
        if (file.Failed()) {
            std::fprintf(stderr, "vintrel-cli export: read error in \"%s\"\n", name.c_str());
            return false;
        }
        after(pass);
        return true;
    };
    std::vector<int> keys;
    if (!replay([](StreamState& s) { return ColumnCollector(s); },
                [&keys](const ColumnCollector& c) { keys = c.Keys(); }))
        return kExitUsage;

    const bool toStdout = *outPath == "-";
    std::FILE* out = toStdout ? stdout : std::fopen(outPath->c_str(), "w");
    auto writeFailed = [&](int err) {
        std::fprintf(stderr, "vintrel-cli export: cannot write \"%s\": %s\n", outPath->c_str(),
                     SystemErrorText(err).c_str());
        return kExitWriteFailed;
    };
    if (!out) return writeFailed(errno);
    errno = 0;
    int err = std::fputs(HeaderRow(keys).c_str(), out) == EOF ? (errno ? errno : EIO) : 0;
    uint64_t frames = 0;
    const double frameSeconds = GetStreamFormat(o.Format).MsPerFrame / 1000.0;
    const bool read = replay([&](StreamState& s) { return RowWriter(s, out, keys, frameSeconds); },
                             [&](const RowWriter& w) {
                                 if (!err) err = w.WriteError();
                                 frames = w.Frames();
                             });
    errno = 0;
    if ((std::fflush(out) != 0 || std::ferror(out)) && !err) err = errno ? errno : EIO;
    if (!toStdout && std::fclose(out) != 0 && !err) err = errno ? errno : EIO;
    if (err) return writeFailed(err);
    if (!read) return kExitUsage;
    return frames ? kExitSuccess : kExitNothing;
}

} // namespace vintrel::cli
