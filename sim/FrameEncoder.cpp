#include "sim/FrameEncoder.h"

#include <algorithm>
#include <cstdlib>

#include "stream/FrameLayout.h"

namespace vintrel::sim {

namespace {
uint16_t W(int v) {
    return static_cast<uint16_t>(v);
}

void PutFourWordChunk(std::vector<uint16_t>& w, uint16_t tag, uint16_t a, uint16_t b, uint16_t c) {
    w.insert(w.end(), {tag, a, b, c});
}

uint16_t PeakAbs(const std::vector<int16_t>& s) {
    int peak = 0;
    for (int16_t v : s) peak = std::max(peak, std::abs(static_cast<int>(v)));
    return W(peak > 32767 ? 32767 : peak);
}

const std::vector<int16_t>& Samples(const SignalFrame& f, SimChannel ch) {
    return f.samples[static_cast<int>(ch)];
}
} // namespace

void EncodeNewFrame(const NewFrameContent& c, std::vector<uint16_t>& w) {
    w.clear();
    w.insert(w.end(), {kNewMarkerWord0, kNewMarkerWord0, kNewMarkerWord2, kNewMarkerWord2});
    w.push_back(W(c.counter & 0xFFFF));
    w.push_back(W(c.counter >> 16));
    w.push_back(0); // length, filled in below
    w.push_back(0); // reserved

    PutFourWordChunk(w, kTagTargetInfo, c.targetInfoWord, W(c.revision), 0);
    PutFourWordChunk(w, kTagMips, W(c.diagnostics.mipsMax), W(c.diagnostics.mipsCurrent), 0);

    for (SimChannel ch : c.channels) {
        const std::vector<int16_t>& s = Samples(*c.signal, ch);
        const uint16_t tag = ChannelTag(ch);
        w.insert(w.end(), {tag, W(static_cast<int>(s.size())), 0, 0});
        for (int16_t v : s) w.push_back(W(v));
        PutFourWordChunk(w, W(tag + 0x0800), 0, PeakAbs(s), 0);
    }

    const DiagnosticValues& d = c.diagnostics;
    PutFourWordChunk(w, kTagNdTx, 0, W(d.ndTx), 0);
    PutFourWordChunk(w, kTagNdRx, 0, W(d.ndRx), 0);
    PutFourWordChunk(w, kTagVadTx, 0, W(d.vadTx), 0);
    PutFourWordChunk(w, kTagVadRx, 0, W(d.vadRx), 0);
    PutFourWordChunk(w, kTagAgcTxOut, 0, W(d.agcTx), 0);
    PutFourWordChunk(w, kTagAgcRxOut, 0, W(d.agcRx), 0);

    if (c.profileChunk) {
        const ProfileChunk& p = *c.profileChunk;
        w.insert(w.end(), {kTagProfile, W(static_cast<int>(p.words.size())), p.chunkNo, p.wordsLeftToSend});
        w.insert(w.end(), p.words.begin(), p.words.end());
    }

    if (c.unknownTagChunk) PutFourWordChunk(w, kUnknownTag, 0x0003, 0x5A5A, 0xA5A5);

    w.push_back(0); // checksum
    w[kNewLengthWord] = W(static_cast<int>(w.size() * 2));
    uint16_t sum = FrameChecksum(w.data(), w.size());
    if (c.badChecksum) sum ^= 0x00FF;
    w.back() = sum;
}

void EncodeOldFrame(const OldFrameContent& c, std::vector<uint16_t>& w) {
    const DiagnosticValues& d = c.diagnostics;
    const uint16_t mask = OldChannelMask(std::vector<SimChannel>(c.channels.begin(), c.channels.end()));
    w.assign(static_cast<size_t>(c.chanLenWords), 0);
    w[0] = kOldMarkerWord0;
    w[1] = kOldMarkerWord1;
    w[kOldCounterWord] = c.counter;
    w[kOldPskWord] = c.pskWord;
    const uint16_t pairs[][2] = {
        {kKeyCH, mask},           {kKeyCS, W(d.mipsCurrent)}, {kKeyVL, W(d.volume)},
        {kKeyUF, W(d.underflow)}, {kKeyNT, W(d.ndTx)},        {kKeyNR, W(d.ndRx)},
    };
    size_t pos = kOldFirstKeyWord;
    for (const auto& kv : pairs) {
        w[pos++] = kv[0];
        w[pos++] = kv[1];
    }
    for (SimChannel ch : InMaskOrder(std::vector<SimChannel>(c.channels.begin(), c.channels.end()))) {
        const std::vector<int16_t>& s = Samples(*c.signal, ch);
        for (int i = 0; i < c.chanLenWords; ++i)
            w.push_back(i < static_cast<int>(s.size()) ? W(s[static_cast<size_t>(i)]) : 0);
    }
}

void AppendWordsAsBytes(std::span<const uint16_t> words, bool bigEndian, std::vector<uint8_t>& out) {
    const size_t start = out.size();
    out.resize(start + words.size() * 2);
    uint8_t* p = out.data() + start;
    for (uint16_t v : words) {
        const uint8_t lo = static_cast<uint8_t>(v & 0xFF), hi = static_cast<uint8_t>(v >> 8);
        *p++ = bigEndian ? hi : lo;
        *p++ = bigEndian ? lo : hi;
    }
}

} // namespace vintrel::sim
