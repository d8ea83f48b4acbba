#include "sim/StreamGenerator.h"

#include <algorithm>
#include <cmath>

namespace vintrel::sim {

namespace {
StreamConfig Sanitised(StreamConfig c) {
    c.channels = std::clamp(c.channels, 1, kSimChannelCount);
    c.echoDelayMs =
        std::clamp(c.echoDelayMs, StreamGenerator::kMinEchoDelayMs, StreamGenerator::kMaxEchoDelayMs);
    return c;
}
} // namespace

StreamGenerator::StreamGenerator(const StreamConfig& config)
    : config_(Sanitised(config)), format_(GetStreamFormat(config_.format)),
      channels_(InTagOrder(ChannelsByPreference(config_.channels))),
      profile_(MakeTargetProfile(config_.platform)), pskTable_(MakeOldPskTable()),
      signal_(format_.SamplingRateFromSettings, config_.echoDelayMs, config_.seed, config_.signal),
      diagnostics_(format_.MsPerFrame, DeriveSeed(config_.seed, RandomStream::Diagnostics)),
      chunker_(profile_.words), damage_(config_.damage, config_.protocol == Protocol::New,
                                        DeriveSeed(config_.seed, RandomStream::Damage)),
      counter_(config_.startCounter) {
    if (config_.protocol == Protocol::Old) channels_ = InMaskOrder(channels_);
}

size_t StreamGenerator::AppendNextFrame(std::vector<uint8_t>& out) {
    const size_t start = out.size();
    const FrameDamage& damage = damage_.NextFrame();
    out.insert(out.end(), damage.garbage.begin(), damage.garbage.end());

    signal_.NextFrame(format_.ChannLenWords, frame_);
    const DiagnosticValues diag =
        diagnostics_.Next(frame_.farEndVoice, frame_.echoPresent, frame_.nearEndVoice);
    const uint32_t counter = counter_++;

    if (config_.protocol == Protocol::New) {
        chunk_ = chunker_.Next();
        NewFrameContent c;
        c.counter = counter;
        c.signal = &frame_;
        c.channels = channels_;
        c.diagnostics = diag;
        c.targetInfoWord = TargetInfoWord(profile_);
        c.revision = profile_.revision;
        c.profileChunk = &chunk_;
        c.unknownTagChunk = damage.unknownTag;
        c.badChecksum = damage.badChecksum;
        EncodeNewFrame(c, words_);
    } else {
        OldFrameContent c;
        c.counter = static_cast<uint16_t>(counter);
        c.pskWord = pskTable_[counter & 0xFF];
        c.signal = &frame_;
        c.channels = channels_;
        c.diagnostics = diag;
        c.chanLenWords = format_.ChannLenWords;
        EncodeOldFrame(c, words_);
    }
    if (!damage.skip) AppendWordsAsBytes(words_, config_.bigEndian, out);

    last_.counter = counter;
    last_.emitted = !damage.skip;
    last_.badChecksum = damage.badChecksum;
    last_.unknownTag = damage.unknownTag;
    last_.garbageBytes = damage.garbage.size();
    last_.frameBytes = words_.size() * 2;
    bytesGenerated_ += out.size() - start;
    return out.size() - start;
}

size_t StreamGenerator::AppendFrames(std::vector<uint8_t>& out, uint64_t frames) {
    size_t bytes = 0;
    for (uint64_t i = 0; i < frames; ++i) bytes += AppendNextFrame(out);
    return bytes;
}

uint64_t FramesForSeconds(const StreamFormat& format, double seconds) {
    if (!(seconds > 0)) return 0;
    return static_cast<uint64_t>(std::llround(seconds * 1000.0 / format.MsPerFrame));
}

std::vector<uint8_t> GenerateStream(const StreamConfig& config, uint64_t frames, DamageCounts* counts) {
    StreamGenerator gen(config);
    std::vector<uint8_t> out;
    gen.AppendFrames(out, frames);
    if (counts) *counts = gen.Counts();
    return out;
}

} // namespace vintrel::sim
