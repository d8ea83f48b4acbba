#include "recording/ProfileSnapshot.h"

#include <algorithm>

namespace vintrel {

const char* const PskName[3] = {"Main", "Additional", "License"};

ProfileSnapshot TakeProfileSnapshot(const FrameDecoder& decoder, int protocolType) {
    ProfileSnapshot p;
    p.ProtocolType = protocolType;
    p.Scarce = decoder.ScarceDataCopy();
    p.CheckPsk = decoder.CheckPsk.load(std::memory_order_acquire);
    for (int i = 0; i < kPskTabWords; ++i) {
        p.PskTab[i] = uint16_t(decoder.PskTab[i].load(std::memory_order_relaxed));
        p.LastPsk[i] = uint16_t(decoder.LastPsk[i].load(std::memory_order_relaxed));
    }
    return p;
}

int OldPskTableEnd(const uint16_t* t, size_t words) {
    // Words 2, 3: first key and length; the groups follow back to back.
    size_t lengthAt = 3;
    for (int g = 0; g < 3; ++g) {
        if (lengthAt >= words || t[lengthAt] >= 64) return -1;
        lengthAt += t[lengthAt] + 2;
    }
    const size_t end = lengthAt - 1; // the word after the third group's data
    return end < words && t[end] == kPskTableEndWord ? int(end) : -1;
}

PskGroup OldPskGroup(const uint16_t* t, int g) {
    int keyAt = 2;
    for (int k = 0; k < g; ++k) keyAt += t[keyAt + 1] + 2;
    return PskGroup{t[keyAt], t[keyAt + 1], keyAt + 2};
}

PskGroup KalimbaGroup(const uint16_t* profile, int fullWords, int g) {
    auto word = [&](int i) -> uint16_t { return i < fullWords ? profile[i] : 0; };
    int start = 6;
    for (int k = 0; k < g; ++k) start += word(2 * k + 1);
    PskGroup group{word(2 * g), word(2 * g + 1), start};
    group.Length = std::clamp(fullWords - start, 0, group.Length);
    return group;
}

} // namespace vintrel
