// The old-protocol loop of the record parser: frames of a header block and one block per channel
// of the frame's own mask; silent frames where the numbering breaks or the mask changes.
#include "recording/RecordParser.h"

#include "stream/FrameLayout.h"

#include <algorithm>
#include <bit>

namespace vintrel {

namespace {
const uint16_t kChannelTags[5] = {kTagTxOut1, kTagRxOut1, kTagTxIn1, kTagTxIn2, kTagRxIn1};

// The values of an old-protocol header block; kNoValue where a key is missing.
struct OldHeader {
    int16_t mips = kNoValue, vol = kNoValue, nr = kNoValue, nt = kNoValue, uf = kNoValue;
    int mask = 31;
};

// The key/value pairs of the header block, from word 4 (words 0-3 are the marker, the counter
// and a PS-key word, which can look like any key). A key met again ends the walk. A channel
// mask of 0 or less, or of 32 or more, is 31.
OldHeader ReadOldHeader(const uint16_t* frame, int chanLen) {
    OldHeader h;
    int ch = 0;
    unsigned seen = 0;
    for (int i = kOldFirstKeyWord; i + 1 < chanLen; i += 2) {
        const int16_t value = int16_t(frame[i + 1]);
        int16_t* target;
        unsigned bit;
        switch (frame[i]) {
        case kKeyCS:
            target = &h.mips, bit = 1;
            break;
        case kKeyVL:
            target = &h.vol, bit = 2;
            break;
        case kKeyNR:
            target = &h.nr, bit = 4;
            break;
        case kKeyNT:
            target = &h.nt, bit = 8;
            break;
        case kKeyUF:
            target = &h.uf, bit = 16;
            break;
        case kKeyCH:
            target = nullptr, bit = 32;
            break;
        default:
            continue;
        }
        if (seen & bit) break;
        seen |= bit;
        if (target)
            *target = value;
        else
            ch = value;
    }
    h.mask = ch <= 0 || ch >= 32 ? 31 : ch;
    return h;
}
} // namespace

int RecordParser::RecordFrame(const uint16_t* framebuf, int ValidCH) {
    const bool silent = framebuf == zero.data();
    const int chanLen = req_.Format.ChannLenWords;
    const size_t block = size_t(req_.Format.ChannSizeBytes);
    OldHeader h;
    if (!silent) h = ReadOldHeader(framebuf, chanLen);
    const int mask = silent ? ValidCH : h.mask;
    auto put = [&](uint16_t tag, int16_t value, const uint16_t* samples) {
        const int slot = int{slotOfTag_[tag]};
        if (slot < 0) return;
        TFileRecord& r = FilesForFileParsing[slot];
        if (!r.Handle) return;
        if (samples)
            r.Handle->Write(samples, block);
        else
            r.Handle->Fill(value, block);
        if (!silent) ++r.FramesRecorded;
    };
    put(kTagMips, h.mips, nullptr);
    put(kTagVL, h.vol, nullptr);
    put(kTagNR, h.nr, nullptr);
    put(kTagNT, h.nt, nullptr);
    // The channels of the record's table, each from its block in this frame (the k-th channel of
    // the frame's own mask is its k-th block) or silent when the frame lacks it.
    int k = 1;
    for (int b = 0; b < 5; ++b) {
        const bool inFrame = mask & (1 << b);
        if (ValidCH & (1 << b))
            put(kChannelTags[b], 0, inFrame && !silent ? framebuf + ptrdiff_t{k} * chanLen : nullptr);
        else if (inFrame)
            notes_.NotWritten(kChannelTags[b], framebuf[kOldCounterWord]);
        if (inFrame) ++k;
    }
    put(kTagUF, h.uf, nullptr);
    return mask;
}

bool RecordParser::OldProtocolBreak(uint16_t expected, uint16_t num, int fromMask, int toMask, int ValidCH) {
    const uint64_t at = SamplesWritten();
    const int chanLen = req_.Format.ChannLenWords;
    const bool exact = req_.Settings.Gaps == GapFill::Exact;
    uint64_t frames = uint64_t(RoundHalfEven(req_.Format.FramesPerSec)) / 2;
    const uint16_t ahead = uint16_t(num - expected);
    if (ahead == 0) {
        if (exact) frames = 0; // the numbering goes on: no time is missing
        notes_.MaskChange(num, fromMask, toMask, frames * uint64_t(chanLen), at);
    } else if (ahead < 0x8000) {
        const uint64_t cap = GapCapFrames();
        if (exact) frames = std::min<uint64_t>(ahead, cap);
        notes_.Gap(expected, ahead, frames * uint64_t(chanLen), at, exact && ahead > cap);
    } else {
        notes_.Jump(uint16_t(expected - 1), num, frames * uint64_t(chanLen), at);
    }
    MarkSlots();
    for (uint64_t i = 0; i < frames; ++i) RecordFrame(zero.data(), ValidCH);
    ++Portion;
    if (!AnyFull()) return true;
    RewindToMark();
    return false;
}

int64_t RecordParser::ParseOldProtocolTmpFile(RecordReader& TempFile, int TagsResult, int64_t FSize) {
    RecordReader& f = TempFile;
    uint16_t* buf = frame_.get();
    const int CH = TagsResult / 256;
    const int chanLen = req_.Format.ChannLenWords;
    const size_t blockBytes = size_t(req_.Format.ChannSizeBytes);
    const int silentFrames = int(RoundHalfEven(req_.Format.FramesPerSec)) / 2;
    zero.fill(0);
    int64_t fragmentFrames = 0, total = 0;
    uint16_t expected = 0;
    int fragmentMask = CH; // the channel mask of the fragment's frames
    bool IgnoreMsg = false;
    auto finishFragment = [&] {
        if (fragmentFrames > 0) ++Portion;
    };
    // Whatever was written since the last mark stays only when every file could take it.
    auto fits = [&] {
        if (!AnyFull()) return true;
        RewindToMark();
        return false;
    };
    auto discontinuity = [&] {
        MarkSlots();
        for (int k = 0; k < silentFrames; ++k) RecordFrame(zero.data(), CH);
        ++Portion;
        fragmentFrames = 0;
        return fits();
    };

    for (;;) {
        const int64_t at = f.Position();
        MarkSlots();
        if (f.Read(buf, blockBytes) < blockBytes) {
            finishFragment();
            break;
        }
        if (buf[0] != kOldMarkerWord0 || buf[1] != kOldMarkerWord1) {
            if (!req_.WasRecording && !IgnoreMsg) {
                const DamageAnswer a = questions_.AbortRetryIgnore(
                    "Sondrel parser",
                    "Temp file corrupted or fragmented, or format selection is wrong: frame " +
                        std::to_string(expected) +
                        "\nPress IGNORE to continue without further warning messages,\n      RETRY to "
                        "continue with "
                        "warning messages,\n      ABORT to stop parsing");
                if (a == DamageAnswer::Abort) {
                    aborted_ = true;
                    finishFragment();
                    break;
                }
                if (a == DamageAnswer::Ignore) IgnoreMsg = true;
            }
            // The next marker may lie inside the bytes just read.
            f.Seek(at + 1);
            if (FindFileFrameStart(f) < 0) {
                finishFragment();
                break;
            }
            if (!discontinuity()) break;
            continue;
        }
        // The frame's own mask says how many channel blocks follow its header block.
        const int mask = ReadOldHeader(buf, chanLen).mask;
        const size_t rest = size_t(std::popcount(unsigned(mask))) * blockBytes;
        if (f.Read(buf + chanLen, rest) < rest) {
            finishFragment();
            break;
        }
        const uint16_t num = buf[kOldCounterWord];
        // A frame out of order or with another channel mask begins a new fragment; it is kept.
        if (fragmentFrames > 0 && (num != expected || mask != fragmentMask)) {
            if (!OldProtocolBreak(expected, num, fragmentMask, mask, CH)) break;
            fragmentFrames = 0;
        }
        MarkSlots();
        RecordFrame(buf, CH);
        if (req_.ProfileFromRecord) recordProfile_.OldHeader(num, buf[kOldPskWord]);
        if (!fits()) {
            finishFragment();
            break;
        }
        ++fragmentFrames;
        ++total;
        expected = uint16_t(num + 1);
        fragmentMask = mask;
        ShowProgress(f.Position(), FSize);
    }
    RecordHeaders(f);
    return total;
}

} // namespace vintrel
