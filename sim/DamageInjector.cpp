#include "sim/DamageInjector.h"

namespace vintrel::sim {

DamageInjector::DamageInjector(const DamagePlan& plan, bool newProtocol, uint64_t seed)
    : plan_(plan), rng_(seed) {
    if (!newProtocol) {
        plan_.badChecksumEvery = 0;
        plan_.unknownTagEvery = 0;
    }
}

bool DamageInjector::IsMarkerByte(uint8_t b) {
    return b == 0xFF || b == 0xEE || b == 0xFE || b == 0x7F || b == 0x01 || b == 0x80;
}

const FrameDamage& DamageInjector::NextFrame() {
    const uint64_t n = ++counts_.framesGenerated;
    FrameDamage& d = current_;
    d.skip = Due(plan_.skipFrameEvery, n);
    d.badChecksum = !d.skip && Due(plan_.badChecksumEvery, n);
    d.unknownTag = !d.skip && Due(plan_.unknownTagEvery, n);
    d.garbage.clear();
    if (Due(plan_.garbageEvery, n)) {
        const int len = rng_.UniformInt(kGarbageMinBytes, kGarbageMaxBytes);
        while (static_cast<int>(d.garbage.size()) < len) {
            const auto b = static_cast<uint8_t>(rng_.Next() >> 56);
            if (!IsMarkerByte(b)) d.garbage.push_back(b);
        }
        ++counts_.garbageBursts;
        counts_.garbageBytes += d.garbage.size();
    }
    if (d.skip) {
        ++counts_.skippedFrames;
    } else {
        ++counts_.framesEmitted;
        counts_.badChecksums += d.badChecksum;
        counts_.unknownTags += d.unknownTag;
        counts_.damagedFrames += d.badChecksum || d.unknownTag;
    }
    return d;
}

} // namespace vintrel::sim
