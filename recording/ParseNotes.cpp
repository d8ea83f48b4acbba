#include "recording/ParseNotes.h"

#include "recording/PskReports.h"
#include "stream/Tags.h"
#include "stream/Text.h"

#include <cstdio>

namespace vintrel {

namespace {
std::string Silence(uint64_t samples, uint64_t at) {
    return std::to_string(samples) + " samples of silence at sample " + std::to_string(at);
}
} // namespace

void ParseNotes::Clear() {
    breaks_.clear();
    records_.clear();
    unknownCount_ = 0;
}

void ParseNotes::Gap(uint64_t firstMissing, uint64_t count, uint64_t samples, uint64_t at, bool cut) {
    breaks_.push_back("Gap: frames " + std::to_string(firstMissing) + " to " +
                      std::to_string(firstMissing + count - 1) + " missing (" + std::to_string(count) +
                      " frames), " + Silence(samples, at) + (cut ? " (cut to the longest fill)" : ""));
    records_.push_back(
        {ParseBreak::Kind::Gap, firstMissing - 1, firstMissing + count, int64_t(count), samples, at});
}

void ParseNotes::Jump(uint64_t from, uint64_t to, uint64_t samples, uint64_t at) {
    breaks_.push_back("Jump: frame " + std::to_string(to) + " follows frame " + std::to_string(from) + ", " +
                      Silence(samples, at));
    records_.push_back({ParseBreak::Kind::Jump, from, to, -1, samples, at});
}

void ParseNotes::MaskChange(uint64_t frame, int from, int to, uint64_t samples, uint64_t at) {
    char masks[64];
    std::snprintf(masks, sizeof masks, " from 0x%02X to 0x%02X", unsigned(from), unsigned(to));
    breaks_.push_back("Channel mask: frame " + std::to_string(frame) + masks + ", " + Silence(samples, at));
    records_.push_back({ParseBreak::Kind::MaskChange, frame - 1, frame, 0, samples, at});
}

void ParseNotes::NotWritten(uint16_t tag, uint64_t frame) {
    for (int i = 0; i < unknownCount_; ++i)
        if (unknown_[size_t(i)].tag == tag) return;
    if (unknownCount_ < kMaxUnknownTags) unknown_[size_t(unknownCount_++)] = {tag, frame};
}

std::vector<std::string> ParseNotes::Lines() const {
    std::vector<std::string> lines = breaks_;
    for (int i = 0; i < unknownCount_; ++i) {
        const Unknown& u = unknown_[size_t(i)];
        std::string name = GetParNameFromTag(u.tag, kMaxTagForFiles);
        if (name.size() < 2) name = "Tag 0x" + Hex4(u.tag);
        lines.push_back(name + " from frame " + std::to_string(u.frame) +
                        " not written: not in the record's channel table");
    }
    return lines;
}

bool ParseNotes::WriteBreaks(FileSystem& files, const std::string& path, std::string& error) const {
    std::string text;
    for (const std::string& l : breaks_) text += l + "\r\n";
    return WriteTextFile(files, path, text, error);
}

} // namespace vintrel
