#pragma once
// Decides which frames of the stream are damaged and how, and counts what it injected so that a
// receiver's counters can be compared with it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/SimRandom.h"

namespace vintrel::sim {

// Each kind of damage hits every K-th generated frame (frames counted from 1), K = 0 is off.
struct DamagePlan {
    uint32_t badChecksumEvery = 0; // new protocol: the checksum word is wrong
    uint32_t skipFrameEvery = 0;   // the frame is generated, its counter used, and not sent
    uint32_t garbageEvery = 0;     // a burst of random bytes is sent before the frame
    uint32_t unknownTagEvery = 0;  // new protocol: an unknown chunk is inserted before the checksum

    bool Any() const { return badChecksumEvery || skipFrameEvery || garbageEvery || unknownTagEvery; }
};

struct DamageCounts {
    uint64_t framesGenerated = 0;
    uint64_t framesEmitted = 0;
    uint64_t badChecksums = 0; // emitted frames with a wrong checksum
    uint64_t skippedFrames = 0;
    uint64_t garbageBursts = 0;
    uint64_t garbageBytes = 0;
    uint64_t unknownTags = 0;   // emitted frames with an unknown chunk
    uint64_t damagedFrames = 0; // emitted frames with a wrong checksum or an unknown chunk or both
};

// What happens to one frame. A skipped frame takes no other frame damage (nothing of it is
// sent); a garbage burst due before it is still sent.
struct FrameDamage {
    bool skip = false;
    bool badChecksum = false;
    bool unknownTag = false;
    std::vector<uint8_t> garbage; // bytes to send before the frame
};

class DamageInjector {
public:
    static constexpr int kGarbageMinBytes = 16;
    static constexpr int kGarbageMaxBytes = 80;

    // Checksum and unknown-tag damage exist only in the new protocol; they stay off for the old one.
    DamageInjector(const DamagePlan& plan, bool newProtocol, uint64_t seed);

    // Decides the damage of the next frame and counts it.
    const FrameDamage& NextFrame();
    const DamageCounts& Counts() const { return counts_; }

    // True for the bytes that can be part of a frame marker: FF and EE (new protocol), FE 7F 01 80
    // (old protocol, either byte order). Garbage is drawn without them, so no marker can appear in
    // it or straddle its edges and a receiver resynchronises exactly on the next real frame.
    static bool IsMarkerByte(uint8_t b);

private:
    static bool Due(uint32_t every, uint64_t frame) { return every != 0 && frame % every == 0; }

    DamagePlan plan_;
    SimRandom rng_;
    DamageCounts counts_;
    FrameDamage current_;
};

} // namespace vintrel::sim
