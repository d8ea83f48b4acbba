#pragma once
// The simulated target: signals, diagnostics, profile and damage tied into a byte stream of
// new- or old-protocol frames. It does not pace itself and owns no output; whoever serves the
// stream (a file writer, later a socket or a pseudo-terminal with real-time pacing) pulls one
// frame at a time with AppendNextFrame.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/DamageInjector.h"
#include "sim/Diagnostics.h"
#include "sim/FrameEncoder.h"
#include "sim/ProfileData.h"
#include "sim/SignalSource.h"
#include "sim/SimChannels.h"
#include "stream/StreamFormat.h"

namespace vintrel::sim {

enum class Protocol : uint8_t { New, Old };

struct StreamConfig {
    Protocol protocol = Protocol::New;
    DataStreamFormat format = DataStreamFormat::Ksps8Ms4;
    bool bigEndian = false;
    int channels = kSimChannelCount; // 1..5, chosen by ChannelsByPreference
    uint64_t seed = 1;
    TargetPlatform platform = TargetPlatform::General;
    int echoDelayMs = 60;
    SignalSettings signal;
    uint32_t startCounter = 0; // the old protocol sends its low 16 bits
    DamagePlan damage;
};

// What became of the last frame generated.
struct FrameRecord {
    uint32_t counter = 0; // 32-bit new-protocol counter; the old protocol sent its low 16 bits
    bool emitted = false; // false for a skipped frame
    bool badChecksum = false;
    bool unknownTag = false;
    size_t garbageBytes = 0; // sent before the frame
    size_t frameBytes = 0;   // the frame's own length (also when skipped)
};

class StreamGenerator {
public:
    static constexpr int kMinEchoDelayMs = 0;
    static constexpr int kMaxEchoDelayMs = 1000;

    // The config must be valid (channels 1..5, echo delay 0..1000 ms); out-of-range values are clamped.
    explicit StreamGenerator(const StreamConfig& config);

    // Generates the next frame and appends its bytes, with any garbage injected before it, to
    // `out`. Returns the number of bytes appended: 0 when the frame was skipped with no garbage.
    size_t AppendNextFrame(std::vector<uint8_t>& out);
    // Appends `frames` frames; returns the number of bytes appended.
    size_t AppendFrames(std::vector<uint8_t>& out, uint64_t frames);

    const StreamConfig& Config() const { return config_; }
    const StreamFormat& Format() const { return format_; }
    const std::vector<SimChannel>& Channels() const { return channels_; } // in frame order
    const TargetProfile& Profile() const { return profile_; }
    const DamageCounts& Counts() const { return damage_.Counts(); }
    const FrameRecord& LastFrame() const { return last_; }
    uint64_t FramesGenerated() const { return damage_.Counts().framesGenerated; }
    // Bytes appended so far (garbage included): the stream offset of the next frame's bytes.
    uint64_t BytesGenerated() const { return bytesGenerated_; }
    uint32_t NextCounter() const { return counter_; }
    double FramePeriodMs() const { return format_.MsPerFrame; }
    int EchoDelaySamples() const { return signal_.EchoDelaySamples(); }

private:
    StreamConfig config_;
    StreamFormat format_;
    std::vector<SimChannel> channels_;
    TargetProfile profile_;
    std::array<uint16_t, 256> pskTable_;
    SignalSource signal_;
    DiagnosticsModel diagnostics_;
    ProfileChunker chunker_;
    DamageInjector damage_;
    uint32_t counter_;
    uint64_t bytesGenerated_ = 0;
    FrameRecord last_;
    // Reused from frame to frame.
    SignalFrame frame_;
    ProfileChunk chunk_;
    std::vector<uint16_t> words_;
};

// Number of frames that make up `seconds` of stream in the format (rounded to the nearest frame).
uint64_t FramesForSeconds(const StreamFormat& format, double seconds);

// A whole stream in one call, for tests and benchmarks.
std::vector<uint8_t> GenerateStream(const StreamConfig& config, uint64_t frames,
                                    DamageCounts* counts = nullptr);

} // namespace vintrel::sim
