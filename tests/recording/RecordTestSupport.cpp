#include "RecordTestSupport.h"

#include "support/FrameBuilder.h"

#include "sim/SignalSource.h"
#include "sim/SimRandom.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace vintrel::test {

TempDir::TempDir() {
    std::string t = (std::filesystem::temp_directory_path() / "vintrel-rec-XXXXXX").string();
    if (mkdtemp(t.data())) path_ = t;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> TempDir::List() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

WavContent ReadWav(const std::string& path) {
    // The header values on one line, then the sample bytes the module hands out.
    // The system's interpreter when there is one: version managers' launchers take far longer.
    static const std::string python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    const std::string cmd =
        python +
        " -c \"import sys, wave\n"
        "w = wave.open(sys.argv[1], 'rb')\n"
        "data = w.readframes(w.getnframes())\n"
        "sys.stdout.write('%d %d %d %d %s %d\\n' % (w.getnchannels(), w.getsampwidth(), w.getframerate(),\n"
        "                 w.getnframes(), w.getcomptype(), len(data)))\n"
        "sys.stdout.flush()\n"
        "sys.stdout.buffer.write(data)\" '" +
        path + "' 2>&1";
    WavContent c;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) {
        c.error = "cannot run python3";
        return c;
    }
    std::string out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int status = pclose(p);
    const size_t nl = out.find('\n');
    std::istringstream head(out.substr(0, nl));
    std::string comptype;
    size_t dataBytes = 0;
    if (status != 0 || nl == std::string::npos ||
        !(head >> c.channels >> c.sampleWidth >> c.rate >> c.frames >> comptype >> dataBytes)) {
        c.error = out;
        return c;
    }
    if (comptype != "NONE" || out.size() - nl - 1 != dataBytes) {
        c.error = "compression " + comptype + " or short data";
        return c;
    }
    c.samples.resize(dataBytes / 2);
    std::memcpy(c.samples.data(), out.data() + nl + 1, c.samples.size() * 2);
    c.ok = true;
    return c;
}

namespace {
// The standard output of a shell command; false when it cannot run or fails.
bool CommandOutput(const std::string& cmd, std::string& out) {
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return false;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    return pclose(p) == 0;
}
} // namespace

WavContent ReadWavSox(const std::string& path) {
    WavContent c;
    std::string head, data;
    if (system("command -v sox >/dev/null 2>&1") != 0) {
        c.error = "no sox";
        return c;
    }
    const std::string q = "'" + path + "'";
    if (!CommandOutput("soxi -c " + q + " && soxi -r " + q + " && soxi -b " + q + " && soxi -s " + q +
                           " && soxi -e " + q + " 2>&1",
                       head) ||
        !CommandOutput("sox " + q + " -t raw -e signed -b 16 -L - 2>/dev/null", data)) {
        c.error = head;
        return c;
    }
    std::istringstream in(head);
    int bits = 0;
    std::string encoding;
    if (!(in >> c.channels >> c.rate >> bits >> c.frames) || !std::getline(in >> std::ws, encoding) ||
        encoding != "Signed Integer PCM") {
        c.error = head;
        return c;
    }
    c.sampleWidth = bits / 8;
    c.samples.resize(data.size() / 2);
    std::memcpy(c.samples.data(), data.data(), c.samples.size() * 2);
    c.ok = true;
    return c;
}

DamageAnswer ScriptedQuestions::AbortRetryIgnore(std::string_view caption, std::string_view text) {
    captions.emplace_back(caption);
    damage.emplace_back(text);
    if (answers.empty()) return otherwise;
    const DamageAnswer a = answers.front();
    answers.pop_front();
    return a;
}

bool ScriptedQuestions::YesNo(std::string_view caption, std::string_view text) {
    captions.emplace_back(caption);
    yesNo.emplace_back(text);
    return yes;
}

void ScriptedQuestions::ErrorBox(std::string_view caption, std::string_view text) {
    captions.emplace_back(caption);
    errors.emplace_back(text);
}

void ScriptedQuestions::MessageBox(std::string_view caption, std::string_view text) {
    captions.emplace_back(caption);
    messages.emplace_back(text);
}

SimRecord MakeSimRecord(const sim::StreamConfig& config, uint64_t frames) {
    SimRecord r;
    sim::StreamGenerator gen(config);
    const StreamFormat& f = gen.Format();
    sim::SignalSource signal(f.SamplingRateFromSettings, config.echoDelayMs, config.seed);
    sim::DiagnosticsModel diagnostics(f.MsPerFrame,
                                      sim::DeriveSeed(config.seed, sim::RandomStream::Diagnostics));
    sim::SignalFrame frame;
    for (uint64_t i = 0; i < frames; ++i) {
        gen.AppendNextFrame(r.bytes);
        signal.NextFrame(f.ChannLenWords, frame);
        r.diagnostics.push_back(diagnostics.Next(frame.farEndVoice, frame.echoPresent));
        r.samples.push_back(frame.samples);
        r.emitted.push_back(gen.LastFrame().emitted);
    }
    return r;
}

std::vector<int16_t> ChannelSamples(const SimRecord& r, sim::SimChannel ch, size_t first, size_t count) {
    std::vector<int16_t> out;
    for (size_t i = first; i < first + count && i < r.samples.size(); ++i) {
        const auto& s = r.samples[i][size_t(ch)];
        out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}

ParseRig::ParseRig(int protocol, DataStreamFormat format) {
    request.ProtocolType = protocol;
    request.Format = GetStreamFormat(format);
    request.Settings.RecordingsFolder = dir.Path();
    request.Settings.FileNameBase = "rec";
    request.Settings.IncludeTimeStamp = false;
}

ParseOutcome ParseRig::Parse(const std::vector<uint8_t>& bytes) {
    WriteBytes(dir.File("in.$$$"), bytes);
    return parser.ParseRecordedAudio(dir.File("in.$$$"), request);
}

std::vector<std::string> ParseRig::WavNames() const {
    std::vector<std::string> out;
    for (const std::string& n : dir.List())
        if (n.size() > 8 && n.rfind("rec-", 0) == 0 && n.substr(n.size() - 4) == ".wav")
            out.push_back(n.substr(4, n.size() - 8));
    return out;
}

bool AllEqual(const std::vector<int16_t>& v, int16_t value) {
    return std::all_of(v.begin(), v.end(), [value](int16_t s) { return s == value; });
}

std::vector<int16_t> Slice(const std::vector<int16_t>& v, size_t first, size_t count) {
    if (first >= v.size()) return {};
    return std::vector<int16_t>(v.begin() + long(first), v.begin() + long(std::min(v.size(), first + count)));
}

FileSizeLimit::FileSizeLimit(uint64_t bytes) {
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    oldCur_ = limit.rlim_cur;
    oldMax_ = limit.rlim_max;
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{rlim_t(bytes), limit.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
}

FileSizeLimit::~FileSizeLimit() {
    const rlimit old{rlim_t(oldCur_), rlim_t(oldMax_)};
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler_);
}

ScriptedTarget::Script TableChangeScript() {
    ScriptedTarget::Script script;
    script.PeriodMs = 4;
    for (uint32_t k = 0; k < 1000; ++k) {
        const uint32_t num = k < 600 ? k : k + 10;
        NewFrame f(num);
        f.Mips(100, 50).Raw(0x0101, std::vector<int16_t>(32, int16_t(num)));
        if (k >= 500) f.Raw(0x0502, std::vector<int16_t>(32, 9));
        f.Chunk4(0x2300, 1, 2, 3);
        script.FrameStarts.push_back(script.Bytes.size());
        Append(script.Bytes, f.Bytes());
    }
    return script;
}

} // namespace vintrel::test
