#pragma once
// The five audio channels the simulated target sends, their tags and old-protocol mask bits.
#include <cstdint>
#include <vector>

namespace vintrel::sim {

// In the order in which channels are chosen when fewer than five are requested: the loudspeaker
// signal first, then the microphone that hears its echo, then the cleaned microphone signal.
enum class SimChannel : uint8_t { RxOut = 0, Tx1In, TxOut, RxIn, Tx2In };
constexpr int kSimChannelCount = 5;

// Raw-sample tag of the channel (0x0701, 0x0101, 0x0601, 0x0501, 0x0102).
uint16_t ChannelTag(SimChannel ch);
// Bit of the old-protocol "CH" mask: 0 TXout, 1 RXout, 2 TX1in, 3 TX2in, 4 RXin.
int OldMaskBit(SimChannel ch);
// "RXout", "TX1in", ...
const char* ChannelName(SimChannel ch);

// The first `count` channels (1..5) in order of preference.
std::vector<SimChannel> ChannelsByPreference(int count);
// The same channels in the order a new-protocol frame carries them: ascending raw tag.
std::vector<SimChannel> InTagOrder(std::vector<SimChannel> channels);
// The same channels in old-protocol block order: ascending mask bit.
std::vector<SimChannel> InMaskOrder(std::vector<SimChannel> channels);
uint16_t OldChannelMask(const std::vector<SimChannel>& channels);

} // namespace vintrel::sim
