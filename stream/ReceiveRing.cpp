#include "stream/ReceiveRing.h"

#include "stream/FrameLayout.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vintrel {

void ReceiveRing::CopyOut(uint32_t pos, uint8_t* dst, uint32_t n) const {
    pos &= kRingMask;
    const uint32_t first = std::min(n, kRingSize - pos);
    std::memcpy(dst, bytes_.data() + pos, first);
    if (n > first) std::memcpy(dst + first, bytes_.data(), n - first);
}

void ReceiveRing::ResetParked(uint32_t at) {
    readIndx_.store(at & kRingMask, std::memory_order_release);
    parseIndx_.store(at & kRingMask, std::memory_order_release);
}

void ReceiveRing::Writer::Commit(uint32_t got) {
    r_.readIndx_.store((ReadIndx() + got) & kRingMask, std::memory_order_release);
}

void ReceiveRing::Writer::Write(const uint8_t* data, uint32_t n) {
    const uint32_t at = ReadIndx();
    const uint32_t first = std::min(n, kRingSize - at);
    std::memcpy(r_.bytes_.data() + at, data, first);
    std::memcpy(r_.bytes_.data(), data + first, n - first);
    Commit(n);
}

uint32_t ReceiveRing::Writer::ReadToCycBuf(Transport& transport, uint32_t readRecSize,
                                           ReadObserver* observers[], int observerCount,
                                           uint32_t* splitInfo) {
    uint8_t* const ring = r_.bytes_.data();
    const uint32_t at = ReadIndx();
    const uint32_t len1 = std::min(readRecSize, kRingSize - at);
    uint32_t len2 = readRecSize - len1;

    const TransportRead r1 = transport.Read(ring + at, len1, true);
    const uint32_t got1 = std::min(r1.Got, len1);
    const uint32_t markLen = got1 == 0 ? 1 : (len2 > 0 ? 16 : 32);
    // The wrapped part is read only when the first part was filled: a short first read followed
    // by bytes at position 0 would leave a hole of stale bytes before ReadIndx.
    if (r1.Failed || got1 < len1) len2 = 0;
    for (int i = 0; i < observerCount; ++i) observers[i]->OnBlockRead(ring + at, got1, markLen);

    uint32_t got2 = 0;
    if (len2 > 0) {
        const TransportRead r2 = transport.Read(ring, len2, false);
        got2 = std::min(r2.Got, len2);
        for (int i = 0; i < observerCount; ++i) observers[i]->OnBlockRead(ring, got2, markLen);
    }
    if (splitInfo) *splitInfo = (got2 << 16) | (got1 & 0xFFFF);
    return got1 + got2;
}

bool ReceiveRing::IsNewProtMarker(uint32_t p) const {
    // p is the second byte; the first 0xFF was checked by the caller.
    return At(p) == 0xFF && At(p + 1) == 0xFF && At(p + 2) == 0xFF && At(p + 3) == 0xEE &&
           At(p + 4) == 0xEE && At(p + 5) == 0xEE && At(p + 6) == 0xEE;
}

bool ReceiveRing::IsOldProtLEMarker(uint32_t p) const {
    return At(p) == 0x7F && At(p + 1) == 0x01 && At(p + 2) == 0x80;
}

bool ReceiveRing::IsOldProtBEMarker(uint32_t p) const {
    return At(p) == 0xFE && At(p + 1) == 0x80 && At(p + 2) == 0x01;
}

int32_t ReceiveRing::Reader::FrameLengthAt(uint32_t i, uint32_t iend, bool newProt, const SyncParams& p,
                                           bool* valid) {
    *valid = true;
    const ReceiveRing& r = r_;
    auto At = [&r](uint32_t pos) { return r.At(pos); };
    if (newProt) {
        const uint8_t b12 = At(i + 12), b13 = At(i + 13);
        const uint32_t len = p.BigEndian ? (uint32_t(b12) << 8 | b13) : (uint32_t(b13) << 8 | b12);
        // A length that cannot be a frame (shorter than the fixed words, or odd) marks a false
        // marker: taking it would stop the parser on the same bytes for ever.
        if (len < uint32_t(kNewMinFrameBytes) || (len & 1)) *valid = false;
        return static_cast<int32_t>(len);
    }
    int mask = 31; // no "CH" key: all five channels
    const uint32_t qend = std::min(iend, i + 132);
    for (uint32_t q = i + 8; q + 3 <= qend; q += 4) {
        const uint8_t k0 = At(q), k1 = At(q + 1);
        const bool hit = p.BigEndian ? (k0 == 0x48 && k1 == 0x43) : (k0 == 0x43 && k1 == 0x48);
        if (!hit) continue;
        const uint8_t v0 = At(q + 2), v1 = At(q + 3);
        mask = p.BigEndian ? (v0 << 8 | v1) : (v1 << 8 | v0); // the last "CH" counts
    }
    mask = OldProtMaskClamp(mask);
    r_.oldProtCH_.store(static_cast<int16_t>(mask), std::memory_order_relaxed);
    return OldProtFrameBytes(mask, p.ChannLenWords);
}

int32_t ReceiveRing::Reader::FindStartPointInCycBuf(bool synced, const SyncParams& p) {
    const ReceiveRing& r = r_;
    auto At = [&r](uint32_t pos) { return r.At(pos); };
    auto setCH = [this](int16_t v) { r_.oldProtCH_.store(v, std::memory_order_relaxed); };
    // The search works on unwrapped positions and masks each access. The end is taken from the
    // count of unparsed bytes: an empty ring is no data, not a whole ring of stale bytes.
    const uint32_t parse = r.ParseIndx();
    const uint32_t avail = r.Unparsed();
    setCH(-10);
    if (avail == 0) return 0;
    const uint32_t iend = parse + avail - 1;
    if (iend - parse < 18) return 0;

    for (uint32_t i = parse; i <= iend; ++i) {
        const uint8_t b = At(i);
        int found = 0; // 1 new, 2 old
        if (b == 0x7F && p.BigEndian) {
            if (iend - i < 4) return 0;
            if (r.IsOldProtBEMarker(i + 1)) {
                if (i + 28 > iend) return 0;
                found = 2;
            }
        } else if (b == 0xFE && !p.BigEndian) {
            if (iend - i < 4) return 0;
            if (r.IsOldProtLEMarker(i + 1)) {
                if (i + 28 > iend) return 0;
                found = 2;
            }
        } else if (b == 0xFF) {
            if (iend - i < 7) return 0;
            if (r.IsNewProtMarker(i + 1)) {
                if (i + 16 > iend) return 0;
                found = 1;
            }
        }
        if (!found) continue;

        setCH(found == 1 ? int16_t(-1) : int16_t(31));
        bool valid;
        const int32_t len = FrameLengthAt(i, iend, found == 1, p, &valid);
        if (!valid) {
            setCH(-10);
            continue; // not a frame start: keep looking behind it
        }
        r_.protocolType_.store(found == 1 ? int16_t(1) : int16_t(0), std::memory_order_relaxed);
        if (!synced) {
            SkipTo(i);
            return len;
        }
        return (i & kRingMask) == parse ? len : -1;
    }
    return 0;
}

} // namespace vintrel
