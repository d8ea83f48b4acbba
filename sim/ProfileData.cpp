#include "sim/ProfileData.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "stream/FrameLayout.h"

namespace vintrel::sim {

namespace {
std::string Lower(std::string_view s) {
    std::string out;
    for (char c : s) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Parameter-like words: a repeatable mixture of small settings, thresholds and filter
// coefficients rather than noise, so that a profile dump looks like a profile.
uint16_t ParameterWord(uint32_t group, uint32_t index) {
    uint32_t h = group * 0x9E3779B1u + index * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 13;
    switch (index % 4) {
    case 0:
        return static_cast<uint16_t>(h % 64); // small settings and flags
    case 1:
        return static_cast<uint16_t>(0x0400 + h % 0x3C00); // gains and thresholds
    default:
        return static_cast<uint16_t>(h); // coefficients
    }
}

void AppendGroup(std::vector<uint16_t>& out, uint32_t group, int count) {
    for (int i = 0; i < count; ++i) out.push_back(ParameterWord(group, static_cast<uint32_t>(i)));
}
} // namespace

std::optional<TargetPlatform> ParsePlatformName(std::string_view text) {
    const std::string t = Lower(text);
    if (t == "general") return TargetPlatform::General;
    if (t == "kalimba") return TargetPlatform::Kalimba;
    return std::nullopt;
}

const char* PlatformCaption(TargetPlatform p) {
    return p == TargetPlatform::Kalimba ? "Kalimba" : "General";
}

std::string ValidPlatformList() {
    return "General, Kalimba";
}

TargetProfile MakeTargetProfile(TargetPlatform platform) {
    TargetProfile p;
    p.platform = platform;
    if (platform == TargetPlatform::Kalimba) {
        p.profileNumber = 9;
        p.revision = 1187;
        // Main, additional and license groups.
        const uint16_t keys[3] = {0x0213, 0x0214, 0x0220};
        const int lengths[3] = {46, 20, 8};
        for (int g = 0; g < 3; ++g) {
            p.words.push_back(keys[g]);
            p.words.push_back(static_cast<uint16_t>(lengths[g]));
        }
        for (int g = 0; g < 3; ++g) AppendGroup(p.words, keys[g], lengths[g]);
    } else {
        p.profileNumber = 3;
        p.revision = 412;
        AppendGroup(p.words, 0x47454E, 118);
    }
    return p;
}

uint16_t TargetInfoWord(const TargetProfile& profile) {
    return static_cast<uint16_t>(static_cast<uint16_t>(profile.platform) | (profile.profileNumber << 8));
}

ProfileChunker::ProfileChunker(std::vector<uint16_t> profile, int chunkWords)
    : profile_(std::move(profile)), chunkWords_(std::max(1, chunkWords)) {}

int ProfileChunker::ChunksPerProfile() const {
    const int n = static_cast<int>(profile_.size());
    return std::max(1, (n + chunkWords_ - 1) / chunkWords_);
}

ProfileChunk ProfileChunker::Next() {
    ProfileChunk c;
    const int total = static_cast<int>(profile_.size());
    const int first = nextChunk_ * chunkWords_;
    c.chunkNo = static_cast<uint16_t>(nextChunk_);
    c.wordsLeftToSend = static_cast<uint16_t>(std::max(0, total - first - chunkWords_));
    c.words.assign(static_cast<size_t>(chunkWords_), 0);
    for (int i = 0; i < chunkWords_ && first + i < total; ++i)
        c.words[static_cast<size_t>(i)] = profile_[static_cast<size_t>(first + i)];
    nextChunk_ = c.wordsLeftToSend == 0 ? 0 : nextChunk_ + 1;
    return c;
}

std::array<uint16_t, 256> MakeOldPskTable() {
    std::array<uint16_t, 256> t{};
    std::vector<uint16_t> w = {kOldPskTableMark, kOldPskVexilVersion};
    // Lengths stay below 64 (the receiver's validity rule) and the first is at least 5.
    const uint16_t keys[3] = {0x0211, 0x0212, 0x021C};
    const int lengths[3] = {60, 48, 12};
    for (int g = 0; g < 3; ++g) {
        w.push_back(keys[g]);
        w.push_back(static_cast<uint16_t>(lengths[g]));
        AppendGroup(w, keys[g], lengths[g]);
    }
    w.push_back(kPskTableEnd);
    std::copy(w.begin(), w.end(), t.begin());
    return t;
}

} // namespace vintrel::sim
