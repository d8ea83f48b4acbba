#pragma once
// Layout of the two frame formats: markers, header words, chunk sizes, keys, the checksum,
// the AGC gain encoding and the platform names. Values are after byte-order normalisation.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vintrel {

// New protocol: words 0-3 are FFFF FFFF EEEE EEEE in either byte order.
constexpr uint16_t kNewMarkerWord0 = 0xFFFF;
constexpr uint16_t kNewMarkerWord2 = 0xEEEE;
constexpr int kNewCounterLoWord = 4;
constexpr int kNewCounterHiWord = 5;
constexpr int kNewLengthWord = 6;
constexpr int kNewFirstTagWord = 8;
// Marker, counter, length, reserved word and the checksum: the smallest frame there can be.
constexpr int kNewMinFrameBytes = 18;
constexpr int kNewMaxFrameBytes = 65534;

// Old protocol: words 0-1 are 7FFE 8001; word 2 the counter, word 3 one PS-key word.
constexpr uint16_t kOldMarkerWord0 = 0x7FFE;
constexpr uint16_t kOldMarkerWord1 = 0x8001;
constexpr int kOldCounterWord = 2;
constexpr int kOldPskWord = 3;
constexpr int kOldFirstKeyWord = 4;
constexpr int kOldKeyPairs = 11;              // words 4-25
constexpr uint16_t kOldPskTableMark = 0x5350; // "PS"
constexpr int kOldPskEntries = 200;

// Old-protocol header keys (the two characters in little-endian byte order).
constexpr uint16_t kKeyCH = 0x4843;
constexpr uint16_t kKeyCS = 0x5343;
constexpr uint16_t kKeyVL = 0x4C56;
constexpr uint16_t kKeyUF = 0x4655;
constexpr uint16_t kKeyNT = 0x544E;
constexpr uint16_t kKeyNR = 0x524E;

// Tags the receiver gives old-protocol header values so both protocols look alike.
constexpr uint16_t kTagVL = 0x7F00;
constexpr uint16_t kTagUF = 0x7F01;
constexpr uint16_t kTagNT = 0x1101;
constexpr uint16_t kTagNR = 0x1201;

// Tag classes of the new protocol.
constexpr uint16_t kTagRawFirst = 0x0100, kTagRawLast = 0x08FF;
constexpr uint16_t kTagAmplFirst = 0x0900, kTagAmplLast = 0x10FF;
constexpr uint16_t kTagDiagFirst = 0x1100, kTagDiagLast = 0x18FF;
constexpr uint16_t kTagClipFirst = 0x1900, kTagClipLast = 0x20FF;
// The high byte of a tag is its group, the low byte one channel bit of the group.
constexpr uint16_t kTagGroupMask = 0xFF00;
// Raw groups that feed the delay estimate: the transmit inputs 1-32 (four groups) and the receive
// output.
constexpr uint16_t kTagTxInFirst = 0x0100, kTagTxInLast = 0x04FF;
constexpr uint16_t kTagRxOutFirst = 0x0700, kTagRxOutLast = 0x07FF;
// Diagnostic groups, each for the transmit and the receive side: noise detection, voice activity,
// energy and the AGC gain.
constexpr uint16_t kTagNoiseTx = 0x1100, kTagNoiseRx = 0x1200;
constexpr uint16_t kTagVadTx = 0x1300, kTagVadRx = 0x1400;
constexpr uint16_t kTagEnergyTx = 0x1500, kTagEnergyRx = 0x1600;
constexpr uint16_t kTagAgcTx = 0x1700, kTagAgcRx = 0x1800;
// Tags from here on carry target information, MIPS and profile chunks; a tag after kTagClipLast
// and before this one ends a frame's chunks.
constexpr uint16_t kTagInfoFirst = 0x8000;
constexpr uint16_t kTagTargetInfo = 0x8001;
constexpr uint16_t kTagMips = 0x8002;
constexpr uint16_t kTagProfile = 0x8003;

// Old-protocol channel tags.
constexpr uint16_t kTagTxOut1 = 0x0601;
constexpr uint16_t kTagRxOut1 = 0x0701;
constexpr uint16_t kTagTxIn1 = 0x0101;
constexpr uint16_t kTagTxIn2 = 0x0102;
constexpr uint16_t kTagRxIn1 = 0x0501;

// Size in words of the chunk that starts with `tag`, given the word after the tag
// (the sample count of raw chunks, ChunkLenWords of profile chunks); 0 for tags that have no size.
int ChunkSizeWords(uint16_t tag, uint16_t wordAfterTag);

// Exclusive-or of all words except the last; the last word of a good frame equals it.
uint16_t FrameChecksum(const uint16_t* words, size_t countWords);

// Old-protocol frame bytes for a channel mask. The mask is taken as an unsigned 16-bit
// value and anything above 31 (bit 15 included) counts as all five channels.
int OldProtFrameBytes(int mask, int chanLenWords);
int OldProtMaskClamp(int mask);
int OldProtBlockCount(int mask);

// The AGC gain word to a linear gain.
int ConvertAGC(int16_t agc);

// 0-7 for 1, 2, 4, ... 128; -1 for any other value.
int BitToNum(int oneBit);

// Platform number of the target-information chunk to its name; "unknown (N)" past the table.
std::string PlatformName(int number);

} // namespace vintrel
