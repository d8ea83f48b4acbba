#include "stream/FrameChannels.h"

#include "stream/FrameLayout.h"

#include <algorithm>
#include <cstdlib>

namespace vintrel {

namespace {

enum class Diag { None, Vad, Nd, Agc };

// The raw channel a diagnostic tag belongs to, 0 for a diagnostic that belongs to none: the
// transmit noise detector to the transmit input, the receive one to the receive input, voice
// activity and AGC to the outputs.
uint16_t DiagChannel(uint16_t tag, Diag& kind) {
    const uint16_t bit = tag & 0xFF;
    switch (tag & kTagGroupMask) {
    case kTagNoiseTx:
        kind = Diag::Nd;
        return 0x0100 | bit;
    case kTagNoiseRx:
        kind = Diag::Nd;
        return 0x0500 | bit;
    case kTagVadTx:
        kind = Diag::Vad;
        return 0x0600 | bit;
    case kTagVadRx:
        kind = Diag::Vad;
        return 0x0700 | bit;
    case kTagAgcTx:
        kind = Diag::Agc;
        return 0x0600 | bit;
    case kTagAgcRx:
        kind = Diag::Agc;
        return 0x0700 | bit;
    default:
        return 0;
    }
}

int Slot(uint16_t rawTag) {
    return ((rawTag >> 8) - 1) * 8 + BitToNum(rawTag & 0xFF);
}

int AbsPeak(const int16_t* s, int n) {
    int peak = 0;
    for (int j = 0; j < n; ++j) peak = std::max(peak, std::abs(int(s[j])));
    return std::min(peak, 32767);
}

void RaisePeak(ChannelValues& c, int peak) {
    c.Peak = c.Peak == kNotAvailable ? peak : std::max(c.Peak, peak);
}

} // namespace

void FrameChannels::Clear() {
    for (int i = 0; i < count_; ++i) values_[order_[i]] = ChannelValues{};
    count_ = 0;
    present_ = 0;
}

ChannelValues& FrameChannels::At(uint16_t rawTag) {
    const int slot = Slot(rawTag);
    if (!(present_ >> slot & 1)) {
        present_ |= uint64_t(1) << slot;
        order_[count_++] = uint8_t(slot);
        values_[slot].Tag = rawTag;
    }
    return values_[slot];
}

const ChannelValues* FrameChannels::Find(uint16_t tag) const {
    if (tag < kTagRawFirst || tag > kTagRawLast || BitToNum(tag & 0xFF) < 0) return nullptr;
    const int slot = Slot(tag);
    return present_ >> slot & 1 ? &values_[slot] : nullptr;
}

void FrameChannels::FromNewProtocol(const uint16_t* w, int words) {
    Clear();
    const int last = words - 1; // the checksum word
    for (int i = kNewFirstTagWord; i < last;) {
        const uint16_t tag = w[i], len = w[i + 1];
        const int size = tag < kTagAmplFirst ? 4 + len : ChunkSizeWords(tag, len);
        const bool fits = size == 0 || i + size <= last;
        const bool oneBit = BitToNum(tag & 0xFF) >= 0;
        if (tag < kTagDiagFirst) {
            if (!oneBit) return;
            if (tag > kTagRawLast) { // an amplitude chunk: the peak of its raw channel
                if (!fits) return;
                RaisePeak(At(uint16_t(tag - 0x0800)), int16_t(w[i + 2]));
                i += 4;
                continue;
            }
            const int n = fits ? len : std::max(0, last - (i + 4)); // the samples inside the frame
            if (tag >= kTagRawFirst && n > 0) {
                ChannelValues& c = At(tag);
                if (!c.FirstBlock) {
                    c.FirstBlock = reinterpret_cast<const int16_t*>(w + i + 4);
                    c.FirstBlockSamples = n;
                }
                c.Samples += n;
                RaisePeak(c, AbsPeak(reinterpret_cast<const int16_t*>(w + i + 4), n));
            }
            if (!fits) return;
            i += 4 + len;
            continue;
        }
        if (!fits) return;
        if (tag < kTagInfoFirst) {
            Diag kind = Diag::None;
            const uint16_t raw = DiagChannel(tag, kind);
            const uint16_t group = tag & kTagGroupMask;
            if (raw && oneBit) {
                const int16_t v = int16_t(w[i + 2]);
                ChannelValues& c = At(raw);
                if (kind == Diag::Vad) c.Vad = v;
                if (kind == Diag::Nd) c.Nd = v;
                if (kind == Diag::Agc) c.AgcGain = ConvertAGC(v);
            } else if (!raw && group != kTagEnergyTx && group != kTagEnergyRx && tag > kTagClipLast) {
                return; // after the clip tags the chunks end
            }
            i += 4;
            continue;
        }
        if (tag == kTagTargetInfo || tag == kTagMips)
            i += 4;
        else if (tag == kTagProfile)
            i += 4 + len;
        else
            return;
    }
}

void FrameChannels::FromOldProtocol(const TNewProtHeaderEveryFrameData& r, const TagModel& charts) {
    Clear();
    // The old protocol's channels in the order of the frame's blocks.
    for (uint16_t tag : {kTagTxOut1, kTagRxOut1, kTagTxIn1, kTagTxIn2, kTagRxIn1}) {
        int k = 1;
        while (k <= kChannelCharts && uint16_t(charts.ChartTag[k].load(std::memory_order_relaxed)) != tag)
            ++k;
        if (k > kChannelCharts) continue;
        const bool samples = r.FrameLen[k] > 0 && r.ChannMax[k] != kNotAvailable;
        if (!samples && r.NoiseDetect[k] == kNotAvailable) continue;
        ChannelValues& c = At(tag);
        if (samples) {
            c.Peak = r.ChannMax[k];
            c.Samples = c.FirstBlockSamples = r.FrameLen[k];
            c.FirstBlock = r.SamplesPtr[k];
        }
        c.Nd = r.NoiseDetect[k];
    }
}

} // namespace vintrel
