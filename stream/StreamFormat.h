#pragma once
// The seven data stream formats and the values derived from the chosen one.
#include <optional>
#include <string>
#include <string_view>

namespace vintrel {

enum class DataStreamFormat : int {
    Ksps8Ms4 = 0,
    Ksps16Ms2,
    Ksps16Ms4,
    Ksps16Ms16,
    Ksps8Ms16,
    Ksps24Ms1_33,
    Ksps24Ms2_67,
};
constexpr int kFormatCount = 7;

struct StreamFormat {
    int SamplingRateFromSettings = 8000; // Hz
    float MsPerFrame = 4.0f;             // single precision, as the target's frame period
    int ChannLenWords = 32;              // old protocol: samples per channel per frame
    int ChannSizeBytes = 64;
    float FramesPerSec = 250.0f; // 1000 / MsPerFrame
    int BuffersToSendWithWinMsg = 12;
};

StreamFormat GetStreamFormat(DataStreamFormat f);

// The radio button caption, e.g. "8 Ksps, 4 ms".
const char* FormatCaption(DataStreamFormat f);
// Short form used on command lines, e.g. "8k4".
const char* FormatShortName(DataStreamFormat f);
// Accepts a caption or a short form (case-insensitive, blanks ignored).
std::optional<DataStreamFormat> ParseFormatName(std::string_view text);
// "\"8 Ksps, 4 ms\" (8k4), ..." for usage messages.
std::string ValidFormatList();

// Round half to even, the rounding of reals to integers throughout the program.
long RoundHalfEven(double v);

} // namespace vintrel
