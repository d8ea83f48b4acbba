#include "stream/StreamFormat.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace vintrel {

namespace {
struct FormatRow {
    const char* caption;
    const char* shortName;
    int rate;
    float ms;
    int chanLenWords;
};
// Single-precision frame periods as the target's clock divides them: 4/3 and 8/3 ms.
const FormatRow kRows[kFormatCount] = {
    {"8 Ksps, 4 ms", "8k4", 8000, 4.0f, 32},
    {"16 Ksps, 2 ms", "16k2", 16000, 2.0f, 32},
    {"16 Ksps, 4 ms", "16k4", 16000, 4.0f, 64},
    {"16 Ksps, 16 ms", "16k16", 16000, 16.0f, 256},
    {"8 Ksps, 16 ms", "8k16", 8000, 16.0f, 128},
    {"24 Ksps, 1.33ms", "24k1.33", 24000, 4.0f / 3.0f, 32},
    {"24 Ksps, 2.67ms", "24k2.67", 24000, 8.0f / 3.0f, 64},
};

std::string Squash(std::string_view s) {
    std::string out;
    for (char c : s)
        if (!std::isspace(static_cast<unsigned char>(c)))
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}
} // namespace

long RoundHalfEven(double v) {
    return std::lrint(v);
} // default rounding mode is to nearest, ties to even

StreamFormat GetStreamFormat(DataStreamFormat f) {
    const FormatRow& r = kRows[static_cast<int>(f)];
    StreamFormat s;
    s.SamplingRateFromSettings = r.rate;
    s.MsPerFrame = r.ms;
    s.ChannLenWords = r.chanLenWords;
    s.ChannSizeBytes = 2 * r.chanLenWords;
    s.FramesPerSec = 1000.0f / r.ms;
    s.BuffersToSendWithWinMsg = static_cast<int>(std::min<long>(24, RoundHalfEven(48.0f / r.ms)));
    return s;
}

const char* FormatCaption(DataStreamFormat f) {
    return kRows[static_cast<int>(f)].caption;
}
const char* FormatShortName(DataStreamFormat f) {
    return kRows[static_cast<int>(f)].shortName;
}

std::optional<DataStreamFormat> ParseFormatName(std::string_view text) {
    const std::string t = Squash(text);
    for (int i = 0; i < kFormatCount; ++i)
        if (t == Squash(kRows[i].caption) || t == kRows[i].shortName) return static_cast<DataStreamFormat>(i);
    return std::nullopt;
}

std::string ValidFormatList() {
    std::string out;
    for (int i = 0; i < kFormatCount; ++i) {
        if (i) out += ", ";
        out += '"';
        out += kRows[i].caption;
        out += "\" (";
        out += kRows[i].shortName;
        out += ')';
    }
    return out;
}

} // namespace vintrel
