#include "stream/FormatCheck.h"

#include "stream/FrameLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vintrel {

namespace {

constexpr uint8_t kNewMarker[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xEE, 0xEE, 0xEE, 0xEE};
constexpr uint8_t kOldMarkerLe[4] = {0xFE, 0x7F, 0x01, 0x80};
constexpr uint8_t kOldMarkerBe[4] = {0x7F, 0xFE, 0x80, 0x01};
constexpr size_t kNone = ~size_t(0);
// How far behind an old-protocol marker the "CH" key is looked for, as the start-point search does.
constexpr size_t kOldKeyScanBytes = 129;
// Byte offset of a new-protocol frame's length word.
constexpr size_t kNewLengthByte = 2 * size_t(kNewLengthWord);

uint16_t WordAt(const uint8_t* p, bool bigEndian) {
    return bigEndian ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
}

size_t FindMarker(const uint8_t* d, size_t n, size_t from, const uint8_t* marker, size_t len) {
    while (from + len <= n) {
        const void* hit = std::memchr(d + from, marker[0], n - from - len + 1);
        if (!hit) return kNone;
        const size_t at = size_t(static_cast<const uint8_t*>(hit) - d);
        if (std::memcmp(d + at, marker, len) == 0) return at;
        from = at + 1;
    }
    return kNone;
}

// A few distinct values and how often each was seen; values past the first sixteen are dropped.
class Tally {
public:
    void Add(uint16_t v) {
        for (int i = 0; i < n_; ++i)
            if (e_[i].value == v) {
                ++e_[i].count;
                return;
            }
        if (n_ < kMax) e_[n_++] = {v, 1};
    }
    bool Empty() const { return n_ == 0; }
    bool Has(uint16_t v) const {
        for (int i = 0; i < n_; ++i)
            if (e_[i].value == v) return true;
        return false;
    }
    // The most common value other than `except` (0: none).
    uint16_t Top(uint16_t except = 0) const {
        uint16_t best = 0;
        uint32_t count = 0;
        for (int i = 0; i < n_; ++i)
            if (e_[i].value != except && e_[i].count > count) best = e_[i].value, count = e_[i].count;
        return best;
    }
    uint8_t Formats() const {
        uint8_t m = 0;
        for (int i = 0; i < n_; ++i) m |= FormatsCarrying(e_[i].value);
        return m;
    }

private:
    static constexpr int kMax = 16;
    struct Entry {
        uint16_t value;
        uint32_t count;
    };
    Entry e_[kMax] = {};
    int n_ = 0;
};

// New protocol: how many frames' length words equal their marker spacing in each byte order.
struct NewVotes {
    uint32_t chosen = 0, other = 0;
};

NewVotes VoteNewLengths(const uint8_t* d, size_t n, bool bigEndian) {
    NewVotes v;
    size_t p = FindMarker(d, n, 0, kNewMarker, 8);
    while (p != kNone) {
        const size_t q = FindMarker(d, n, p + 8, kNewMarker, 8);
        if (q == kNone) break;
        if (q - p >= size_t(kNewMinFrameBytes)) {
            const uint8_t* len = d + p + kNewLengthByte;
            if (WordAt(len, bigEndian) == q - p) ++v.chosen;
            if (WordAt(len, !bigEndian) == q - p) ++v.other;
        }
        p = q;
    }
    return v;
}

// The sample counts of the raw chunks of every whole new-protocol frame, read in `order`.
void TallyNewSamples(const uint8_t* d, size_t n, bool order, Tally& samples) {
    size_t p = FindMarker(d, n, 0, kNewMarker, 8);
    while (p != kNone) {
        const size_t q = FindMarker(d, n, p + 8, kNewMarker, 8);
        const size_t room = (q == kNone ? n : q) - p;
        const size_t len = room >= size_t(kNewMinFrameBytes) ? WordAt(d + p + kNewLengthByte, order) : 0;
        // A frame counts when its length word agrees with what follows it.
        if (len >= size_t(kNewMinFrameBytes) && len % 2 == 0 && (q == kNone ? len <= room : len == room)) {
            const size_t words = len / 2;
            size_t t = kNewFirstTagWord;
            while (t + 1 < words - 1) {
                const uint16_t tag = WordAt(d + p + 2 * t, order), after = WordAt(d + p + 2 * t + 2, order);
                if (tag >= kTagRawFirst && tag <= kTagRawLast) samples.Add(after);
                const int size = ChunkSizeWords(tag, after);
                if (size <= 0) break;
                t += size_t(size);
            }
        }
        p = q;
    }
}

// Old protocol: the samples per channel that each pair of neighbouring markers of one byte order
// implies; returns the number of such frames.
uint32_t TallyOldSpacing(const uint8_t* d, size_t n, bool order, Tally& samples) {
    const uint8_t* marker = order ? kOldMarkerBe : kOldMarkerLe;
    const uint8_t key0 = order ? 0x48 : 0x43, key1 = order ? 0x43 : 0x48;
    uint32_t frames = 0;
    size_t p = FindMarker(d, n, 0, marker, 4);
    while (p != kNone) {
        const size_t q = FindMarker(d, n, p + 4, marker, 4);
        if (q == kNone) break;
        int mask = 31;
        const size_t end = std::min(std::min(n, q), p + kOldKeyScanBytes);
        for (size_t k = p + 8; k + 4 <= end; k += 4)
            if (d[k] == key0 && d[k + 1] == key1) mask = WordAt(d + k + 2, order);
        const size_t blockBytes = 2 * size_t(OldProtBlockCount(mask));
        if ((q - p) % blockBytes == 0 && (q - p) / blockBytes <= 0xFFFF) {
            samples.Add(uint16_t((q - p) / blockBytes));
            ++frames;
        }
        p = q;
    }
    return frames;
}

std::string FormatList(uint8_t mask) {
    std::string out;
    for (int i = 0; i < kFormatCount; ++i) {
        if (!(mask & (1u << i))) continue;
        if (!out.empty()) out += ", ";
        const auto f = static_cast<DataStreamFormat>(i);
        out += '"';
        out += FormatCaption(f);
        out += "\" (";
        out += FormatShortName(f);
        out += ')';
    }
    return out.empty() ? "none" : out;
}

} // namespace

uint8_t FormatsCarrying(int samples) {
    uint8_t m = 0;
    for (int i = 0; i < kFormatCount; ++i)
        if (GetStreamFormat(static_cast<DataStreamFormat>(i)).ChannLenWords == samples) m |= uint8_t(1u << i);
    return m;
}

uint8_t FormatsAtPeriod(double msPerFrame) {
    uint8_t m = 0;
    for (int i = 0; i < kFormatCount; ++i) {
        const double period = GetStreamFormat(static_cast<DataStreamFormat>(i)).MsPerFrame;
        if (std::fabs(msPerFrame - period) <= 0.1 * period) m |= uint8_t(1u << i);
    }
    return m;
}

FormatFinding CheckStreamBytes(const uint8_t* d, size_t n, bool bigEndian, DataStreamFormat chosen) {
    FormatFinding f;
    const int chanLen = GetStreamFormat(chosen).ChannLenWords;
    const NewVotes votes = VoteNewLengths(d, n, bigEndian);
    const uint32_t newFrames = std::max(votes.chosen, votes.other);
    Tally oldSamples[2]; // [0] in the chosen byte order, [1] in the other
    const uint32_t oldChosen = TallyOldSpacing(d, n, bigEndian, oldSamples[0]);
    const uint32_t oldOther = TallyOldSpacing(d, n, !bigEndian, oldSamples[1]);
    if (newFrames == 0 && oldChosen + oldOther == 0) return f; // no frame to judge by

    if (newFrames >= oldChosen + oldOther) {
        f.OtherByteOrder = votes.other > votes.chosen;
        const bool order = f.OtherByteOrder ? !bigEndian : bigEndian;
        Tally samples;
        TallyNewSamples(d, n, order, samples);
        if (!samples.Empty()) {
            f.Samples = samples.Top();
            f.OtherSamples = samples.Top(f.Samples);
            f.Fits = samples.Formats();
            f.FormatMismatch = !samples.Has(uint16_t(chanLen));
        }
    } else {
        f.OtherByteOrder = oldOther > oldChosen;
        const Tally& samples = oldSamples[f.OtherByteOrder ? 1 : 0];
        f.Samples = samples.Top();
        f.Fits = FormatsCarrying(f.Samples);
        f.FormatMismatch = f.Samples != chanLen;
    }
    if (f.OtherByteOrder) f.StreamBigEndian = !bigEndian;
    if (!f.FormatMismatch) f.Fits = 0; // said only when it contradicts
    return f;
}

FormatFinding WithFramePeriod(FormatFinding f, double msPerFrame, DataStreamFormat chosen) {
    if (msPerFrame <= 0) return f;
    f.MsPerFrameX100 = uint16_t(std::clamp(std::lround(msPerFrame * 100), 1l, 65535l));
    if (msPerFrame < kFasterThanRealTimeMs) {
        // No target sends this fast: a replay or a file served as fast as it goes. Its rate names
        // no format; the sample counts alone decide.
        f.FasterThanRealTime = true;
        return f;
    }
    // A frame may carry a channel at another count: every format carrying one of the counts seen
    // stays in the running, and so does the chosen one when some chunk carries its count.
    uint8_t bySamples = 0x7F;
    if (f.Samples) {
        bySamples = uint8_t(FormatsCarrying(f.Samples) | FormatsCarrying(f.OtherSamples) | f.Fits);
        if (!f.FormatMismatch) bySamples |= FormatBit(chosen);
    }
    const uint8_t fits = uint8_t(FormatsAtPeriod(msPerFrame) & bySamples);
    // A period that fits no format the frames allow is no target's: a sender or a link that does
    // not keep up (a busy machine, a slow line). It says nothing of the format; the bytes alone
    // decide.
    if (!fits) return f;
    f.Fits = fits;
    f.FormatMismatch = !(f.Fits & FormatBit(chosen));
    if (!f.FormatMismatch) f.Fits = 0;
    return f;
}

std::string FindingText(const FormatFinding& f) {
    std::string out;
    if (f.OtherByteOrder)
        out = f.StreamBigEndian
                  ? "the stream is big-endian; byte order that fits: \"Big Endian\" on (--big-endian)"
                  : "the stream is little-endian; byte order that fits: \"Big Endian\" off "
                    "(without --big-endian)";
    if (!f.FormatMismatch) return out;
    if (!out.empty()) out += "; ";
    out += "frames";
    char buf[96];
    const bool rate = f.FasterThanRealTime || f.MsPerFrameX100 > 0;
    if (f.FasterThanRealTime) {
        out += " come faster than real time";
    } else if (f.MsPerFrameX100 > 0) {
        std::snprintf(buf, sizeof buf, " come every %.2f ms", f.MsPerFrameX100 / 100.0);
        out += buf;
    }
    if (f.Samples) {
        if (f.OtherSamples)
            std::snprintf(buf, sizeof buf, "%s carry %u or %u samples per channel", rate ? " and" : "",
                          unsigned(f.Samples), unsigned(f.OtherSamples));
        else
            std::snprintf(buf, sizeof buf, "%s carry %u samples per channel", rate ? " and" : "",
                          unsigned(f.Samples));
        out += buf;
    }
    out += "; formats that fit: " + FormatList(f.Fits);
    return out;
}

static_assert(sizeof(uintptr_t) >= 8, "a finding travels in one 64-bit message word");

void PackFinding(const FormatFinding& f, uintptr_t& wParam, intptr_t& lParam) {
    wParam = uintptr_t(f.Fits) | uintptr_t(f.OtherByteOrder) << 8 | uintptr_t(f.StreamBigEndian) << 9 |
             uintptr_t(f.FormatMismatch) << 10 | uintptr_t(f.FasterThanRealTime) << 11 |
             uintptr_t(f.Samples) << 16 | uintptr_t(f.OtherSamples) << 32;
    lParam = intptr_t(f.MsPerFrameX100);
}

FormatFinding UnpackFinding(uintptr_t w, intptr_t l) {
    FormatFinding f;
    f.Fits = uint8_t(w & 0x7F);
    f.OtherByteOrder = (w >> 8) & 1;
    f.StreamBigEndian = (w >> 9) & 1;
    f.FormatMismatch = (w >> 10) & 1;
    f.FasterThanRealTime = (w >> 11) & 1;
    f.Samples = uint16_t(w >> 16);
    f.OtherSamples = uint16_t(w >> 32);
    f.MsPerFrameX100 = uint16_t(l);
    return f;
}

} // namespace vintrel
