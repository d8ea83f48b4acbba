#pragma once
// What the simulated target knows about itself: the profile sent in new-protocol profile chunks,
// with the target information that names it, and the PS key table of the old-protocol header.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vintrel::sim {

// The platforms the simulator can stand for, with their numbers in the target-information chunk.
enum class TargetPlatform : uint8_t { General = 0, Kalimba = 4 };

// "General" or "Kalimba" (case-insensitive).
std::optional<TargetPlatform> ParsePlatformName(std::string_view text);
const char* PlatformCaption(TargetPlatform p);
std::string ValidPlatformList(); // "General, Kalimba"

struct TargetProfile {
    TargetPlatform platform = TargetPlatform::General;
    uint8_t profileNumber = 0; // profile structure version
    int16_t revision = 0;      // voice package revision
    std::vector<uint16_t> words;
};

// A fixed profile per platform. The Kalimba profile follows the Kalimba layout: key number and
// length of three groups in words 0-5, then the groups' data one after another.
TargetProfile MakeTargetProfile(TargetPlatform platform);
// The word after the 0x8001 tag: platform number in the low byte, profile number in the high byte.
uint16_t TargetInfoWord(const TargetProfile& profile);

struct ProfileChunk {
    uint16_t chunkNo = 0;
    uint16_t wordsLeftToSend = 0; // profile words still to come after this chunk
    std::vector<uint16_t> words;  // always the chunk length; the last chunk is padded with zeros
};

// Cuts the profile into chunks of equal length, one per frame, and starts over after the last.
class ProfileChunker {
public:
    static constexpr int kDefaultChunkWords = 16;
    explicit ProfileChunker(std::vector<uint16_t> profile, int chunkWords = kDefaultChunkWords);
    ProfileChunk Next();
    int ChunkWords() const { return chunkWords_; }
    int ChunksPerProfile() const;

private:
    std::vector<uint16_t> profile_;
    int chunkWords_;
    int nextChunk_ = 0;
};

// The old-protocol PS key table, indexed by the low byte of the frame counter. Index 0 holds
// 0x5350 ("PS"), index 1 the Vexil version, then three key groups (key number, length, data) and
// the closing 0x4B53 ("SK"). Indexes past the table up to 199 are zero, and so are 200-255,
// which the receiver does not keep.
constexpr uint16_t kPskTableEnd = 0x4B53;
constexpr int kOldPskVexilVersion = 27;
std::array<uint16_t, 256> MakeOldPskTable();

} // namespace vintrel::sim
