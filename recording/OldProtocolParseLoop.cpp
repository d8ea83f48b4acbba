// The old-protocol loop of the record parser: fixed-size frames of a header block and one block
// per channel of the record's mask; half a second of silent frames at every discontinuity.
#include "recording/RecordParser.h"

#include "stream/FrameLayout.h"

#include <bit>

namespace vintrel {

namespace {
const uint16_t kChannelTags[5] = {kTagTxOut1, kTagRxOut1, kTagTxIn1, kTagTxIn2, kTagRxIn1};
} // namespace

int RecordParser::RecordFrame(const uint16_t* framebuf, int ValidCH) {
    const bool silent = framebuf == zero.data();
    const int chanLen = req_.Format.ChannLenWords;
    const size_t block = size_t(req_.Format.ChannSizeBytes);
    int16_t mips = kNoValue, vol = kNoValue, nr = kNoValue, nt = kNoValue, uf = kNoValue;
    int mask = ValidCH;
    if (!silent) {
        // The key/value pairs of the header block, from word 4 (words 0-3 are the marker, the
        // counter and a PS-key word, which can look like any key). A key met again ends the walk.
        int ch = 0;
        unsigned seen = 0;
        for (int i = kOldFirstKeyWord; i + 1 < chanLen; i += 2) {
            const int16_t value = int16_t(framebuf[i + 1]);
            int16_t* target;
            unsigned bit;
            switch (framebuf[i]) {
            case kKeyCS:
                target = &mips, bit = 1;
                break;
            case kKeyVL:
                target = &vol, bit = 2;
                break;
            case kKeyNR:
                target = &nr, bit = 4;
                break;
            case kKeyNT:
                target = &nt, bit = 8;
                break;
            case kKeyUF:
                target = &uf, bit = 16;
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
        mask = ch <= 0 || ch >= 32 ? 31 : ch;
    }
    if (mask != ValidCH) return mask;

    auto put = [&](uint16_t tag, int16_t value, const uint16_t* samples) {
        const int slot = slotOfTag_[tag];
        if (slot < 0) return;
        TFileRecord& r = FilesForFileParsing[slot];
        if (!r.Handle) return;
        if (samples)
            r.Handle->Write(samples, block);
        else
            r.Handle->Fill(value, block);
        if (!silent) ++r.FramesRecorded;
    };
    put(kTagMips, mips, nullptr);
    put(kTagVL, vol, nullptr);
    put(kTagNR, nr, nullptr);
    put(kTagNT, nt, nullptr);
    int k = 1;
    for (int b = 0; b < 5; ++b) {
        if (!(ValidCH & (1 << b))) continue;
        put(kChannelTags[b], 0, silent ? nullptr : framebuf + k * chanLen);
        ++k;
    }
    put(kTagUF, uf, nullptr);
    return mask;
}

int64_t RecordParser::ParseOldProtocolTmpFile(RecordReader& TempFile, int TagsResult, int64_t FSize) {
    RecordReader& f = TempFile;
    uint16_t* buf = frame_.get();
    const int CH = TagsResult / 256;
    const size_t frameBytes =
        size_t(std::popcount(unsigned(CH & 31)) + 1) * size_t(req_.Format.ChannSizeBytes);
    const int silentFrames = int(RoundHalfEven(req_.Format.FramesPerSec)) / 2;
    zero.fill(0);
    int64_t fragmentFrames = 0, total = 0;
    uint16_t expected = 0;
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
        if (f.Read(buf, frameBytes) < frameBytes) {
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
        const uint16_t num = buf[kOldCounterWord];
        if (fragmentFrames == 0) expected = num;
        const bool inOrder = num == expected;
        if (inOrder && RecordFrame(buf, CH) == CH) {
            if (!fits()) {
                finishFragment();
                break;
            }
            ++fragmentFrames;
            ++total;
            expected = uint16_t(num + 1);
            ShowProgress(f.Position(), FSize);
            continue;
        }
        if (!discontinuity()) break;
        // A frame whose only fault is its number begins the new fragment.
        if (!inOrder) {
            MarkSlots();
            if (RecordFrame(buf, CH) == CH) {
                if (!fits()) break;
                fragmentFrames = 1;
                ++total;
                expected = uint16_t(num + 1);
            }
        }
        ShowProgress(f.Position(), FSize);
    }
    RecordHeaders(f);
    return total;
}

} // namespace vintrel
