#pragma once
// What a record parse tells beside its status line: every break in the frame numbering with the
// silence put in its place, channel-mask changes, and the chunks of channels that the record's
// channel table does not hold (named once, from the first frame that carried them).
//
// Threads: the thread that runs the parse. Lines are made per break, never per frame.
#include "recording/FileSystem.h"
#include "recording/RecordSettings.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vintrel {

// One break in a record's frame numbering (or old-protocol channel mask) and the silence put in
// its place.
struct ParseBreak {
    enum class Kind { Gap, Jump, MaskChange } What = Kind::Gap;
    uint64_t AfterFrame = 0; // the number of the frame before the break
    uint64_t NextFrame = 0;  // the number of the frame after it
    int64_t Missing = -1;    // frames missing; -1 when the numbering does not tell
    uint64_t SilenceSamples = 0;
    uint64_t AtSample = 0; // where the silence stands in every file
};

class ParseNotes {
public:
    void Clear();
    // Frames [firstMissing, firstMissing + count) are not in the record; `samples` of silence
    // stand at sample `at` of every file; `cut`: the gap was longer than the longest fill.
    void Gap(uint64_t firstMissing, uint64_t count, uint64_t samples, uint64_t at, bool cut);
    // The numbering went back, repeated a number or restarted: frame `to` follows frame `from`.
    void Jump(uint64_t from, uint64_t to, uint64_t samples, uint64_t at);
    // An old-protocol frame `frame` carries the channel mask `to` instead of `from`.
    void MaskChange(uint64_t frame, int from, int to, uint64_t samples, uint64_t at);
    // A chunk of `tag` in frame `frame` has no file: kept once per tag.
    void NotWritten(uint16_t tag, uint64_t frame);

    bool AnyBreak() const { return !breaks_.empty(); }
    const std::vector<ParseBreak>& Breaks() const { return records_; }
    // The break lines, then one line per channel not written.
    std::vector<std::string> Lines() const;
    // The break lines with CR LF line ends into `path`; false with the system's reason.
    bool WriteBreaks(FileSystem& files, const std::string& path, std::string& error) const;

private:
    static constexpr int kMaxUnknownTags = 64;
    struct Unknown {
        uint16_t tag;
        uint64_t frame;
    };
    std::vector<std::string> breaks_;
    std::vector<ParseBreak> records_; // breaks_ as values
    std::array<Unknown, kMaxUnknownTags> unknown_{};
    int unknownCount_ = 0;
};

} // namespace vintrel
