#include "sim/SimChannels.h"

#include <algorithm>

#include "stream/FrameLayout.h"

namespace vintrel::sim {

namespace {
struct ChannelRow {
    uint16_t tag;
    int maskBit;
    const char* name;
};
const ChannelRow kRows[kSimChannelCount] = {
    {kTagRxOut1, 1, "RXout"}, {kTagTxIn1, 2, "TX1in"}, {kTagTxOut1, 0, "TXout"},
    {kTagRxIn1, 4, "RXin"},   {kTagTxIn2, 3, "TX2in"},
};
const ChannelRow& Row(SimChannel ch) {
    return kRows[static_cast<int>(ch)];
}
} // namespace

uint16_t ChannelTag(SimChannel ch) {
    return Row(ch).tag;
}
int OldMaskBit(SimChannel ch) {
    return Row(ch).maskBit;
}
const char* ChannelName(SimChannel ch) {
    return Row(ch).name;
}

std::vector<SimChannel> ChannelsByPreference(int count) {
    count = std::clamp(count, 1, kSimChannelCount);
    std::vector<SimChannel> out;
    for (int i = 0; i < count; ++i) out.push_back(static_cast<SimChannel>(i));
    return out;
}

std::vector<SimChannel> InTagOrder(std::vector<SimChannel> channels) {
    std::sort(channels.begin(), channels.end(),
              [](SimChannel a, SimChannel b) { return ChannelTag(a) < ChannelTag(b); });
    return channels;
}

std::vector<SimChannel> InMaskOrder(std::vector<SimChannel> channels) {
    std::sort(channels.begin(), channels.end(),
              [](SimChannel a, SimChannel b) { return OldMaskBit(a) < OldMaskBit(b); });
    return channels;
}

uint16_t OldChannelMask(const std::vector<SimChannel>& channels) {
    uint16_t mask = 0;
    for (SimChannel ch : channels) mask |= static_cast<uint16_t>(1u << OldMaskBit(ch));
    return mask;
}

} // namespace vintrel::sim
