#pragma once
// Every channel a frame carries, by its raw tag and whatever the charts show: the sample count and
// where the first block lies, the peak, and the diagnostics that belong to the channel (voice
// activity, noise detection, the AGC gain). Fixed storage: filling it allocates nothing.
#include "stream/FrameRecord.h"
#include "stream/TagModel.h"

#include <array>
#include <cstdint>

namespace vintrel {

struct ChannelValues {
    uint16_t Tag = 0; // the raw tag, 0x0101-0x08FF
    int Samples = 0;  // samples in the frame (all blocks); 0 when only a peak is carried
    // The first block's samples, in the frame's buffer (valid while the frame is); nullptr without.
    const int16_t* FirstBlock = nullptr;
    int FirstBlockSamples = 0;
    int Peak = kNotAvailable; // largest absolute sample, or the amplitude chunk's value
    int Vad = kNotAvailable;
    int Nd = kNotAvailable;      // the noise detector, as received
    int AgcGain = kNotAvailable; // the AGC word as a linear gain
};

class FrameChannels {
public:
    static constexpr int kMaxChannels = 64; // eight raw groups of eight channel bits

    // A new-protocol frame of `words` words (the checksum last). The chunks are taken as far as the
    // decoder takes them: a bad tag or a chunk that runs into the checksum ends them.
    void FromNewProtocol(const uint16_t* w, int words);
    // An old-protocol frame from the decoder's record, which holds the channels the charts show
    // (by default all five of the old protocol).
    void FromOldProtocol(const TNewProtHeaderEveryFrameData& r, const TagModel& charts);

    // The channels in the order the frame carries them (the diagnostics' channels after those).
    int Count() const { return count_; }
    const ChannelValues& operator[](int i) const { return values_[order_[i]]; }
    // The channel with raw tag `tag`, nullptr when the frame does not carry it.
    const ChannelValues* Find(uint16_t tag) const;

private:
    ChannelValues& At(uint16_t rawTag);
    void Clear();

    std::array<ChannelValues, kMaxChannels> values_{};
    std::array<uint8_t, kMaxChannels> order_{};
    int count_ = 0;
    uint64_t present_ = 0;
};

} // namespace vintrel
