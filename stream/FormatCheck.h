#pragma once
// What the stream itself says about the data stream format and the byte order, set against the
// settings: the sample counts that new-protocol frames state, the marker spacing of old-protocol
// frames, the length words and markers read in either byte order, and (live) the frame rate.
// Standard C++ only; nothing here allocates.
#include "stream/StreamFormat.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vintrel {

// The verdict on a stretch of stream. All zero: nothing to say (or nothing could be told).
struct FormatFinding {
    bool OtherByteOrder = false;  // the frames make sense only in the byte order not chosen
    bool StreamBigEndian = false; // the byte order they make sense in (with OtherByteOrder)
    bool FormatMismatch = false;  // the frames contradict the chosen format
    bool FasterThanRealTime = false;
    uint8_t Fits = 0;            // bit f: format f fits what the stream shows
    uint16_t Samples = 0;        // samples per channel the frames carry most often; 0 unknown
    uint16_t OtherSamples = 0;   // a second count some raw chunks carry (new protocol); 0 none
    uint16_t MsPerFrameX100 = 0; // measured frame period in 1/100 ms; 0 not measured

    bool Contradicts() const { return OtherByteOrder || FormatMismatch; }
    bool operator==(const FormatFinding&) const = default;
};

constexpr uint8_t FormatBit(DataStreamFormat f) {
    return uint8_t(1u << static_cast<int>(f));
}

// The formats whose ChannLenWords is `samples` (as a mask of FormatBit).
uint8_t FormatsCarrying(int samples);
// The formats whose frame period is within 10 % of `msPerFrame`.
uint8_t FormatsAtPeriod(double msPerFrame);
// Below this period a source sends faster than any target could: its rate names no format.
constexpr double kFasterThanRealTimeMs = 4.0 / 3.0 / 2.0;

// Looks at raw stream bytes as received (or as saved in a record): which protocol's frames they
// hold, in which byte order their lengths and markers make sense, and how many samples per
// channel they carry. New-protocol frames fit the format when any raw chunk carries its
// ChannLenWords (a frame may carry one channel at another count); old-protocol frames when their
// marker spacing is (1 + channels) x ChannLenWords x 2 most of the time.
// How many bytes at the start of a stream the check looks at: half a megabyte holds more than a
// hundred frames of any format.
constexpr size_t kFormatLookBytes = size_t{512} * 1024;

FormatFinding CheckStreamBytes(const uint8_t* data, size_t n, bool bigEndian, DataStreamFormat chosen);

// Adds a measured frame period (live) to what the bytes said. The chosen format must fit both;
// a period that fits none of the formats the bytes allow is not taken as a rate at all.
FormatFinding WithFramePeriod(FormatFinding bytes, double msPerFrame, DataStreamFormat chosen);

// The one line that says what is wrong, e.g. "frames carry 64 samples per channel; formats that
// fit: "16 Ksps, 4 ms" (16k4), "24 Ksps, 2.67ms" (24k2.67)"; empty when nothing contradicts.
std::string FindingText(const FormatFinding& f);

// The finding as the two numbers of a thread message, and back.
void PackFinding(const FormatFinding& f, uintptr_t& wParam, intptr_t& lParam);
FormatFinding UnpackFinding(uintptr_t wParam, intptr_t lParam);

} // namespace vintrel
