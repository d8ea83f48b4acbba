// The new-protocol loop of the record parser: frame after frame from the first marker, every
// chunk into its slot's file (chunks of channels without a file are stepped over and named), zero
// blocks where a frame lacks a chunk, silence where the frame numbers break, and the
// ABORT/RETRY/IGNORE question at damage.
#include "recording/RecordParser.h"

#include "stream/FrameLayout.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vintrel {

namespace {
enum class Damage { None, FullFrame, Frequency, Format };

const char* DamageText(Damage d) {
    switch (d) {
    case Damage::FullFrame:
        return "Temp file is corrupted: could not read full frame";
    case Damage::Frequency:
        return "Temp file is corrupted: inconsistent frequency";
    default:
        return "Temp file is corrupted: wrong frame format";
    }
}

// Exclusive-or of n words, four at a time.
uint16_t XorWords(const uint16_t* w, int n) {
    uint64_t acc = 0;
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        uint64_t v;
        std::memcpy(&v, w + i, sizeof v);
        acc ^= v;
    }
    uint16_t x = uint16_t(acc ^ acc >> 16 ^ acc >> 32 ^ acc >> 48);
    for (; i < n; ++i) x ^= w[i];
    return x;
}

bool IsNewMarker(const uint16_t* h) {
    return h[0] == kNewMarkerWord0 && h[1] == kNewMarkerWord0 && h[2] == kNewMarkerWord2 &&
           h[3] == kNewMarkerWord2;
}

// A frame marker inside `n` bytes: the frame was cut short by the next one.
bool HoldsNewMarker(const uint16_t* words, int n) {
    static constexpr uint8_t kMarker[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xEE, 0xEE, 0xEE, 0xEE};
    const auto* b = reinterpret_cast<const uint8_t*>(words);
    return std::search(b, b + n, kMarker, kMarker + 8) != b + n;
}

// The size in words of a chunk whose tag has no file, to step over it; 0 for a tag that no
// frame may carry.
int SkippedChunkWords(uint16_t tag, uint16_t wordAfterTag) {
    if (tag >= kTagRawFirst && tag <= kTagClipLast && std::popcount(unsigned(tag & 0xFF)) != 1) return 0;
    return ChunkSizeWords(tag, wordAfterTag);
}
} // namespace

void RecordParser::NewProtocolBreak(uint32_t num, uint32_t next, int datalen) {
    const uint64_t at = SamplesWritten();
    uint64_t blocks = kNewGapBlocks;
    if (next > num) {
        const uint64_t missing = uint64_t(next) - num - 1;
        const uint64_t cap = GapCapFrames();
        if (req_.Settings.Gaps == GapFill::Exact) blocks = std::min(missing, cap);
        notes_.Gap(uint64_t(num) + 1, missing, blocks * uint64_t(datalen / 2), at,
                   req_.Settings.Gaps == GapFill::Exact && missing > cap);
    } else {
        notes_.Jump(num, next, blocks * uint64_t(datalen / 2), at);
    }
    for (int k = 0; k < openCount_; ++k)
        FilesForFileParsing[open_[k]].Handle->Fill(0, size_t(blocks) * size_t(datalen));
}

int64_t RecordParser::ParseNewProtocolTmpFile(RecordReader& TempFile, int64_t FSize) {
    RecordReader& f = TempFile;
    uint16_t* buf = frame_.get();
    const int blockBytes = req_.Format.ChannSizeBytes;
    bool IgnoreMsg = false;
    int datalen = firstBlockBytes_; // bytes of the last audio chunk written
    int64_t fragmentFrames = 0;     // frames of the fragment in progress
    uint32_t num = 0;               // the current frame's number
    int len = 0;                    // its length in bytes, header and checksum included
    uint16_t headerSum = 0;         // the checksum of its header words 4-7
    int64_t frameStart = f.Position();
    auto takeHeader = [&](const uint16_t* h) {
        num = uint32_t(h[kNewCounterLoWord]) | uint32_t(h[kNewCounterHiWord]) << 16;
        len = h[kNewLengthWord];
        headerSum = uint16_t(h[4] ^ h[5] ^ h[6] ^ h[7]);
    };
    auto finishFragment = [&] {
        if (fragmentFrames > 0) ++Portion;
    };

    uint16_t header[8];
    if (f.Read(header, 16) == 16) {
        takeHeader(header);
    } else {
        len = -1; // cannot happen after the tag scan; ends the loop below
    }

    while (len >= 0) {
        Damage damage = Damage::None;
        int64_t resyncFrom = frameStart + 8; // behind this frame's marker
        size_t got = 0;
        MarkSlots();
        // A length that cannot hold the header and the checksum word, or an odd one, is no frame.
        if (len < kNewMinFrameBytes || (len & 1)) {
            damage = Damage::Format;
        } else {
            got = f.Read(buf, size_t(len));
            if (got == 0) {
                ++Portion;
                break;
            }
            // Fewer than 16 bytes after a whole frame: the record ended inside the next header.
            if (got < size_t(len) - 16) damage = Damage::FullFrame;
        }
        const int words = len / 2 - 8; // data words, the checksum word last
        const int csAt = words - 1;
        // The next frame's marker inside this one: it was cut short, its words are not all its own.
        if (damage == Damage::None && got == size_t(len) && !IsNewMarker(buf + words) &&
            HoldsNewMarker(buf, 2 * words))
            damage = Damage::Format;
        if (damage == Damage::None) {
            const uint16_t sum = uint16_t(headerSum ^ XorWords(buf, csAt));
            for (int c = 0; c < csAt;) {
                const uint16_t tag = buf[c];
                if (tag == kTagProfile) {
                    if (req_.ProfileFromRecord) recordProfile_.NewChunk(buf + c + 1, csAt - (c + 1));
                    c += buf[c + 1] + 4;
                    continue;
                }
                if (tag == kTagTargetInfo) {
                    if (req_.ProfileFromRecord && c + 3 <= csAt)
                        recordProfile_.TargetInfo(buf[c + 1], int16_t(buf[c + 2]));
                    c += 4;
                    continue;
                }
                if (tag > kTagClipLast && tag < kTagInfoFirst) break; // ends the frame's chunks
                const int slot = int{slotOfTag_[tag]};
                TFileRecord* r = slot >= 0 ? &FilesForFileParsing[slot] : nullptr;
                if (!r || !r->Handle) {
                    // A channel the record's table lacks (it appeared after the scanned frame).
                    const int skip = SkippedChunkWords(tag, buf[c + 1]);
                    if (skip == 0) {
                        damage = Damage::Frequency;
                        break;
                    }
                    notes_.NotWritten(tag, num);
                    if (tag <= kTagRawLast) datalen = 2 * buf[c + 1]; // the frame's block size still
                    c += skip;
                    continue;
                }
                if (tag <= kTagRawLast) {
                    const int n = buf[c + 1];
                    // Samples that run past the frame are taken as far as the frame goes and the
                    // block is padded to its stated count, so that every file keeps its length.
                    const int inside = std::clamp(csAt - (c + 4), 0, n);
                    r->Handle->Write(buf + c + 4, 2 * size_t(inside));
                    if (inside < n) r->Handle->Fill(0, 2 * size_t(n - inside));
                    datalen = 2 * n;
                    ++r->FramesRecorded;
                    if (inside < n) break;
                    c += 4 + n;
                    continue;
                }
                if (c + 4 > csAt) {
                    damage = Damage::Format;
                    break;
                }
                const int16_t w1 = int16_t(buf[c + 1]), v = int16_t(buf[c + 2]);
                const int16_t value = tag == kTagMips && w1 > 0 ? int16_t(int(v) * 32767 / w1) : v;
                if (datalen == 0) datalen = blockBytes;
                r->Handle->Fill(value, size_t(datalen));
                ++r->FramesRecorded;
                c += 4;
            }
            if (damage == Damage::None && buf[csAt] != sum && req_.VerifyChecksum) ++badcs;
        }
        // Files stay aligned, also when a damaged frame was written only in part.
        AlignSlots(datalen);
        if (AnyFull()) {
            RewindToMark();
            finishFragment();
            break;
        }
        uint32_t next = num + 1;
        if (damage == Damage::None) {
            ++fragmentFrames;
            if (got != size_t(len)) {
                frameStart = f.Position(); // the last frame of the file: no header follows
            } else if (!IsNewMarker(buf + words)) {
                damage = Damage::Format;
                resyncFrom = f.Position() - 16; // where the next frame should have begun
            } else {
                next = uint32_t(buf[words + kNewCounterLoWord]) | uint32_t(buf[words + kNewCounterHiWord])
                                                                      << 16;
            }
        }
        if (damage != Damage::None) {
            if (!IgnoreMsg) {
                const DamageAnswer a = questions_.AbortRetryIgnore(
                    "Sondrel offline parser",
                    std::string(DamageText(damage)) + " : frame " + std::to_string(num) + ". Continue?");
                if (a == DamageAnswer::Abort) {
                    aborted_ = true;
                    finishFragment();
                    break;
                }
                if (a == DamageAnswer::Ignore) IgnoreMsg = true;
            }
            // The damaged span is skipped without silence and without counting a fragment.
            f.Seek(resyncFrom);
            if (FindFileFrameStart(f) < 0) {
                finishFragment();
                break;
            }
            frameStart = f.Position();
            if (f.Read(header, 16) < 16) {
                finishFragment();
                break;
            }
            takeHeader(header);
            ShowProgress(f.Position(), FSize);
            continue;
        }
        if (next != num + 1) {
            ++Portion;
            fragmentFrames = 0;
            MarkSlots();
            NewProtocolBreak(num, next, datalen);
            if (AnyFull()) {
                RewindToMark();
                break;
            }
        }
        if (got == size_t(len)) {
            takeHeader(buf + words);
            frameStart = f.Position() - 16;
        } else {
            num = next;
        }
        ShowProgress(f.Position(), FSize);
    }
    int64_t recframes = 0;
    for (const TFileRecord& r : FilesForFileParsing)
        if (r.Handle) recframes = std::max(recframes, r.FramesRecorded);
    RecordHeaders(f);
    return recframes;
}

} // namespace vintrel
