#pragma once
// Builds the words of one frame of either protocol (values as the receiver sees them after
// byte-order normalisation) and turns words into stream bytes in either byte order.
#include <cstdint>
#include <span>
#include <vector>

#include "sim/Diagnostics.h"
#include "sim/ProfileData.h"
#include "sim/SignalSource.h"
#include "sim/SimChannels.h"

namespace vintrel::sim {

// A tag no receiver knows, used to inject unknown chunks (four words, like the fixed-size classes).
constexpr uint16_t kUnknownTag = 0x8005;

// The diagnostic chunks of every new-protocol frame, in frame order.
constexpr uint16_t kTagNdTx = 0x1101, kTagNdRx = 0x1201, kTagVadTx = 0x1301, kTagVadRx = 0x1401,
                   kTagAgcTxOut = 0x1701, kTagAgcRxOut = 0x1801;

struct NewFrameContent {
    uint32_t counter = 0;
    const SignalFrame* signal = nullptr;
    std::span<const SimChannel> channels; // in frame order (see InTagOrder)
    DiagnosticValues diagnostics;
    uint16_t targetInfoWord = 0;
    int16_t revision = 0;
    const ProfileChunk* profileChunk = nullptr;
    bool unknownTagChunk = false; // inserted just before the checksum; length and checksum cover it
    bool badChecksum = false;     // the checksum word is stored inverted in its low byte
};

// New-protocol frame: marker, counter, length, reserved word; then the chunks 0x8001 (target
// information), 0x8002 (MIPS), per channel its raw chunk followed by its amplitude chunk,
// the six diagnostic chunks, one profile chunk, the optional unknown chunk; then the checksum.
void EncodeNewFrame(const NewFrameContent& content, std::vector<uint16_t>& words);

struct OldFrameContent {
    uint16_t counter = 0;
    uint16_t pskWord = 0; // the PS key table word at index counter & 0xFF
    const SignalFrame* signal = nullptr;
    std::span<const SimChannel> channels; // any order; blocks follow in mask-bit order
    DiagnosticValues diagnostics;
    int chanLenWords = 32;
};

// Old-protocol frame: a header block of chanLenWords words (marker, counter, PS key word, the key
// pairs "CH", "CS", "VL", "UF", "NT", "NR", then zero words) and one block per channel.
void EncodeOldFrame(const OldFrameContent& content, std::vector<uint16_t>& words);

// The stream bytes of the words: low byte first, or with bigEndian every word high byte first.
void AppendWordsAsBytes(std::span<const uint16_t> words, bool bigEndian, std::vector<uint8_t>& out);

} // namespace vintrel::sim
