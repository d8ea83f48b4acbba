#include "stream/FrameLayout.h"

#include <bit>

namespace vintrel {

int ChunkSizeWords(uint16_t tag, uint16_t wordAfterTag) {
    if (tag >= kTagRawFirst && tag <= kTagRawLast) return 4 + wordAfterTag;
    if (tag >= kTagAmplFirst && tag <= kTagClipLast) return 4;
    if (tag == kTagTargetInfo || tag == kTagMips) return 4;
    if (tag == kTagProfile) return 4 + wordAfterTag;
    return 0;
}

uint16_t FrameChecksum(const uint16_t* words, size_t countWords) {
    uint16_t x = 0;
    for (size_t i = 0; i + 1 < countWords; ++i) x ^= words[i];
    return x;
}

int OldProtMaskClamp(int mask) {
    const unsigned m = static_cast<uint16_t>(mask);
    return m > 31 ? 31 : static_cast<int>(m);
}

int OldProtBlockCount(int mask) {
    return 1 + std::popcount(static_cast<unsigned>(OldProtMaskClamp(mask)));
}

int OldProtFrameBytes(int mask, int chanLenWords) {
    return OldProtBlockCount(mask) * chanLenWords * 2;
}

int ConvertAGC(int16_t agc) {
    const int w = agc;
    const int e = w / 2048 - 2; // truncated toward zero
    int m = w & 0x3FF;
    if (w & 0x400) m -= 1024;
    if (e > 0) {
        const long g = static_cast<long>(m) << e;
        return g > 32767 ? 32767 : static_cast<int>(g);
    }
    return m / (1 << -e); // truncated toward zero
}

int BitToNum(int oneBit) {
    if (oneBit <= 0 || oneBit > 128 || !std::has_single_bit(static_cast<unsigned>(oneBit))) return -1;
    return std::countr_zero(static_cast<unsigned>(oneBit));
}

std::string PlatformName(int number) {
    static const char* const kNames[] = {"General", "ARM",      "Renesas",  "TEAK",
                                         "Kalimba", "Blackfin", "Coolflux", "PC"};
    if (number >= 0 && number < 8) return kNames[number];
    return "unknown (" + std::to_string(number) + ")";
}

} // namespace vintrel
