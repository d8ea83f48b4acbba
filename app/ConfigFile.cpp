#include "app/ConfigFile.h"

#include "stream/Tags.h"
#include "stream/Text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace vintrel {

namespace {

const char* const kKeyWords[] = {"*base*",       "*stamp*",     "*ksps*",    "*ms*",        "*stereo*",
                                 "*delete*",     "*transport*", "*comport*", "*ipadrport*", "ftdi",
                                 "*audio*",      "*rate*",      "*vad*",     "*voice*",     "*noise/voice*",
                                 "*fft_length*", "*bps*",       "*endian*",  "*checksum*",  "*autoreconnect*",
                                 "*lock*",       "*selected*",  "*gaps*",    "*browse*",    "*recordings*"};
enum Key {
    kBase,
    kStamp,
    kKsps,
    kMs,
    kStereo,
    kDelete,
    kTransport,
    kComport,
    kIpAdrPort,
    kFtdi,
    kAudio,
    kRate,
    kVad,
    kVoice,
    kNoiseVoice,
    kFftLength,
    kBps,
    kEndian,
    kChecksum,
    kAutoReconnect,
    kLock,
    kSelected,
    kGaps,
    kBrowse,
    kRecordings,
    kKeyCount
};

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool Near(double a, double b) {
    return std::fabs(a - b) < 0.0001;
}

// Returns false when the value does not convert.
bool Apply(int key, const std::string& value, AppSettings& s) {
    const std::string low = Lower(value);
    switch (key) {
    case kBase:
        s.BaseName = value;
        return true;
    case kStamp:
        s.Stamp = !low.empty() && (low[0] == 't' || low[0] == 'y');
        return true;
    case kKsps: {
        const std::optional<long> v = ParseDecimal<long>(low);
        if (!v) return false;
        // A rate no format has is made the default below; a huge one must not overflow on the way.
        s.SamplingRateFromSettings = *v > 0 && *v <= 1000000 ? unsigned(*v * 1000) : 0;
        return true;
    }
    case kMs: {
        const std::optional<double> v = ParseReal(low);
        if (!v) return false;
        s.MsPerFrame = float(*v);
        return true;
    }
    case kStereo:
        s.StereoMode = AppSettings::Stereo::RXinTX1in;
        if (!low.empty() && low[0] == 't') s.StereoMode = AppSettings::Stereo::TX1inTX2in;
        if (!low.empty() && low[0] == 'n') s.StereoMode = AppSettings::Stereo::Mono;
        return true;
    case kDelete:
        s.DeleteTmp = low != "no";
        return true;
    case kTransport:
        s.TransportKind =
            value == "USB/FTDI" ? AppSettings::Transport::UsbFtdi : AppSettings::Transport::TcpIp;
        return true;
    case kIpAdrPort:
        s.IPAddrPort = value;
        return true;
    case kComport: {
        s.ComPortNum = 0;
        s.PortText = value;
        if (value.size() > 3) {
            const auto d = value.find_first_of("0123456789");
            if (d != std::string::npos) {
                s.ComPortNum = unsigned(value[d] - '0');
                if (d + 1 < value.size() && std::isdigit(static_cast<unsigned char>(value[d + 1])))
                    s.ComPortNum = s.ComPortNum * 10 + unsigned(value[d + 1] - '0');
            }
        }
        if (s.ComPortNum == 0) s.PortText = " None";
        return true;
    }
    case kFtdi:
        s.FtdiOnly = low == "yes";
        return true;
    case kAudio:
        s.Audio = low;
        return true;
    case kRate: {
        const auto d = low.find_first_of("0123456789");
        s.Rate = d == std::string::npos ? 4 : std::clamp(low[d] - '0', 1, 7);
        return true;
    }
    case kVad:
        if (low == "vad") s.VadMode = true;
        return true;
    case kVoice: {
        const std::optional<double> v = ParseReal(low);
        if (!v) return false;
        const long item = RoundHalfEven(*v / 0.05);
        s.VoiceThrItem = (item < 0 || item > 20) ? 10 : int(item);
        return true;
    }
    case kNoiseVoice:
        s.PaintVoice = low == "voice" || low == "both";
        s.PlotNoise = low == "noise" || low == "both";
        return true;
    case kFftLength: {
        const long v = DecimalOr<long>(low, 0);
        s.FftLength = v == 256 || v == 512 || v == 1024 || v == 2048 ? int(v) : 256;
        return true;
    }
    case kBps:
        s.UartRate = low;
        return true;
    case kEndian:
        if (low == "big") s.BigEndian = true;
        return true;
    case kChecksum:
        if (low == "no") s.VerifyChecksum = false;
        return true;
    case kAutoReconnect: {
        s.AutoReconnect = int(DecimalOr<long>(low, 3));
        return true;
    }
    case kLock:
        s.Lock = low == "yes" || low == "y";
        return true;
    case kSelected:
        s.SelectedNames = value;
        return true;
    case kRecordings:
        s.RecordingsFolder = value;
        return true;
    case kGaps:
        s.ExactGaps = low == "exact";
        return true;
    case kBrowse:
        s.ShowFiles = low != "no";
        return true;
    }
    return true;
}

// The rate and duration are made one of the seven formats.
void MakeFormatConsistent(AppSettings& s) {
    const double ms = s.MsPerFrame;
    switch (s.SamplingRateFromSettings) {
    case 8000:
        if (!Near(ms, 4) && !Near(ms, 16)) s.MsPerFrame = 4;
        break;
    case 16000:
        if (!Near(ms, 2) && !Near(ms, 4) && !Near(ms, 16)) s.MsPerFrame = 4;
        break;
    case 24000:
        if (ms >= 2.66 - 0.0001 && ms <= 2.67 + 0.0001)
            s.MsPerFrame = 8.0f / 3.0f;
        else
            s.MsPerFrame = 4.0f / 3.0f;
        break;
    default:
        s.SamplingRateFromSettings = 8000;
        s.MsPerFrame = 4;
    }
}

// The status line's words for a line of the file that is not understood:
// "<what> in <path> file, line <line>".
std::string LineComplaint(std::string what, const std::string& path, int line) {
    what += " in ";
    what += path;
    what += " file, line ";
    what += std::to_string(line);
    return what;
}

} // namespace

DataStreamFormat FormatOf(const AppSettings& s) {
    for (int i = 0; i < kFormatCount; ++i) {
        const auto f = static_cast<DataStreamFormat>(i);
        const StreamFormat v = GetStreamFormat(f);
        if (unsigned(v.SamplingRateFromSettings) == s.SamplingRateFromSettings &&
            Near(v.MsPerFrame, s.MsPerFrame))
            return f;
    }
    return DataStreamFormat::Ksps8Ms4;
}

void SetFormat(AppSettings& s, DataStreamFormat f) {
    const StreamFormat v = GetStreamFormat(f);
    s.SamplingRateFromSettings = unsigned(v.SamplingRateFromSettings);
    s.MsPerFrame = v.MsPerFrame;
}

bool Tune(const std::string& path, AppSettings& s, MessageSink* sink) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    if (sink)
        sink->SetStat(" Reading settings from the configuration file ", StatStyle::Normal, StatKind::Sticky);
    s.SelectedNames.clear();
    bool complained = false;
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string label = Lower(std::string(TrimBlanks(std::string_view(line).substr(0, eq))));
        const std::string value(TrimBlanks(std::string_view(line).substr(eq + 1, 1000)));
        int key = -1;
        for (int k = 0; k < kKeyCount && key < 0; ++k)
            if (label.find(kKeyWords[k]) != std::string::npos) key = k;
        if (key < 0) {
            if (sink)
                sink->SetStat(LineComplaint("Unrecognized parameter name", path, n), StatStyle::Normal,
                              StatKind::Sticky);
            complained = true;
            continue;
        }
        // A value that does not convert is skipped; the rest of the file is still read.
        if (!Apply(key, value, s) && sink) {
            sink->SetStat(LineComplaint("Wrong value \"" + value + '"', path, n), StatStyle::Normal,
                          StatKind::Sticky);
            complained = true;
        }
    }
    MakeFormatConsistent(s);
    if (sink && !complained) {
        static constexpr std::string_view kReading[] = {" Reading settings "};
        sink->ClearStatIfContains(kReading, 1);
    }
    return true;
}

bool SaveSettings(const std::string& path, const AppSettings& s, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = path + ": cannot be written";
        return false;
    }
    auto yesNo = [](bool b) { return b ? "Yes" : "No"; };
    auto put = [f](const std::string& text) { std::fprintf(f, "%s\r\n", text.c_str()); };
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.4g", double(s.MsPerFrame));
    char voice[16];
    std::snprintf(voice, sizeof voice, "%.2f", s.VoiceThrItem * 0.05);
    const char* stereo = s.StereoMode == AppSettings::Stereo::RXinTX1in    ? "RXinTX1in"
                         : s.StereoMode == AppSettings::Stereo::TX1inTX2in ? "TX1inTX2in"
                                                                           : "No";
    const char* transport = s.TransportKind == AppSettings::Transport::UsbFtdi ? "USB/FTDI"
                            : s.TransportKind == AppSettings::Transport::TcpIp ? "TCP/IP"
                                                                               : "Simulator";
    const char* noiseVoice = s.PaintVoice && s.PlotNoise ? "both"
                             : s.PaintVoice              ? "voice"
                             : s.PlotNoise               ? "noise"
                                                         : "none";
    const std::string port(TrimBlanks(s.PortText));

    put(std::string(kAppTitle) + " coniguration");
    put("");
    put("File Name Formation");
    if (!TrimBlanks(s.BaseName).empty()) put("  *Base* name = " + std::string(TrimBlanks(s.BaseName)));
    put(std::string("  Include Time *Stamp* = ") + yesNo(s.Stamp));
    if (!s.RecordingsFolder.empty()) put("  *Recordings* folder = " + s.RecordingsFolder);
    put("");
    put("Data and File Formats");
    put("  Sampling Rate, *Ksps* = " + std::to_string(s.SamplingRateFromSettings / 1000));
    put(std::string("  Frame duration, *ms* = ") + ms);
    put(std::string("  Write *stereo* TX or RX+TX1 input = ") + stereo);
    put(std::string("  *Delete* temp record after parsing or deletion = ") + yesNo(s.DeleteTmp));
    put(std::string("  Fill frame number *gaps* = ") + (s.ExactGaps ? "exact" : "marker"));
    put(std::string("  *Browse* recorded files after parsing = ") + yesNo(s.ShowFiles));
    put("");
    put("Communication");
    put(std::string("  *Transport* = ") + transport);
    put("  *IPAdrPort* = " + std::string(TrimBlanks(s.IPAddrPort)));
    put("  Virtual Serial *COMPort* = " + port);
    put(std::string("  Use *FTDI* ports only = ") + yesNo(s.FtdiOnly));
    put("  UART rate, *bps* = " + std::string(TrimBlanks(s.UartRate)));
    put(std::string("  *Endian* = ") + (s.BigEndian ? "Big" : "Little"));
    put("");
    put("Listening");
    put("  *Audio* device = " + s.Audio);
    put("");
    put("Visualization");
    put("  Diagram *rate* = " + std::to_string(s.Rate));
    put(std::string("  *VAD* or ND = ") + (s.VadMode ? "VAD" : "ND"));
    put(std::string("  *Voice* threshold = ") + voice);
    put(std::string("  Paint *noise/voice* = ") + noiseVoice);
    put("  *FFT_length* for spectrum = " + std::to_string(s.FftLength));
    put("");
    put("Data checking options");
    put(std::string("  Verify frame *checksum* = ") + (s.VerifyChecksum ? "yes" : "no"));
    put("  *autoreconnect* after inconsistent frames = " + std::to_string(s.AutoReconnect));
    put("");
    put("Channels selection");
    put(std::string("  *Lock* selection = ") + (s.Lock ? "yes" : "no"));
    put("  *Selected* channels =" +
        (s.SelectedNames.empty() || s.SelectedNames[0] != ' ' ? " " + s.SelectedNames : s.SelectedNames));
    const bool ok = std::ferror(f) == 0;
    if (std::fclose(f) != 0 || !ok) {
        error = path + ": writing failed";
        return false;
    }
    return true;
}

void SetTagsFromSettingsFile(TagModel& tags, const std::string& names) {
    std::array<int16_t, kChannelCharts> t = TagModel::DefaultChartTags();
    if (!TrimBlanks(names).empty()) {
        t.fill(0);
        std::string rest(TrimBlanks(names));
        for (int k = 0; k < kChannelCharts; ++k) {
            if (k == kChannelCharts - 1) {
                t[k] = GetTagFromParName(TrimBlanks(rest));
                break;
            }
            const auto blank = rest.find(' ');
            if (blank == std::string::npos) break; // a last name with no blank after it is not used
            t[k] = GetTagFromParName(rest.substr(0, blank));
            rest = rest.substr(blank + 1);
        }
    }
    tags.SetChartTags(t);
    tags.FillListsFromChartTags();
}

std::string SelectedNamesOf(const TagModel& tags) {
    std::string out;
    for (int k = 1; k <= kChannelCharts; ++k) {
        const std::string text = tags.ChartSelTagCB[k].Text();
        out += " " + (text.empty() ? std::string("None") : text);
    }
    return out;
}

} // namespace vintrel
