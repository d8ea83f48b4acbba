#pragma once
// The target's profile and PS-key data as received live, taken whole when a record is parsed or
// the details are shown: the old-protocol key table, the last complete new-protocol profile and
// the target information. Also the layouts of both tables.
#include "stream/FrameDecoder.h"

#include <array>
#include <cstdint>
#include <string>

namespace vintrel {

// The three key groups of both tables.
extern const char* const PskName[3];

struct ProfileSnapshot {
    int ProtocolType = -2; // in force when taken: 1 new protocol, otherwise old
    int32_t CheckPsk = 0;
    std::array<uint16_t, kPskTabWords> PskTab{};
    std::array<uint16_t, kPskTabWords> LastPsk{};
    TNewProtHeaderScarceData Scarce;
};

ProfileSnapshot TakeProfileSnapshot(const FrameDecoder& decoder, int protocolType);

// Old-protocol key table ("PS", Vexil version, three groups of key, length n and n words, "SK"):
// the index of the closing 0x4B53 word when the table is valid (every length below 64), else -1.
constexpr uint16_t kPskTableEndWord = 0x4B53;
int OldPskTableEnd(const uint16_t* table, size_t words);

struct PskGroup {
    uint16_t Key = 0;
    int Length = 0;    // words of data actually there
    int DataIndex = 0; // index of the first data word
};
// Group g (0..2) of a valid old-protocol table.
PskGroup OldPskGroup(const uint16_t* table, int g);
// Group g of a Kalimba profile: key and length in words 2g and 2g + 1, the data of the groups
// one after another from word 6; every range cut at `fullWords`.
PskGroup KalimbaGroup(const uint16_t* profile, int fullWords, int g);

} // namespace vintrel
