#pragma once
// The receive ring and the start-point search.
//
// Threads: the transport thread writes the bytes and then advances ReadIndx; the parsing thread
// reads up to ReadIndx and advances ParseIndx. Both indices are read and written whole. The
// start-point search is made by the transport thread (not synced) and the parsing thread
// (synced); they never search at the same time because the transport thread searches only in
// SYNCHRONIZING, while the parsing thread only searches in RUNNING.
#include "stream/Transport.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace vintrel {

constexpr uint32_t kRingSize = 1u << 19;
constexpr uint32_t kRingMask = kRingSize - 1;
constexpr uint32_t kRingReserve = 65536;

// Told about every block read into the ring (raw dump, forwarding copy). markLen is the
// length of the dump marks around the block: 1 byte for an empty read, 16 for a split read,
// otherwise 32.
class ReadObserver {
public:
    virtual ~ReadObserver() = default;
    virtual void OnBlockRead(const uint8_t* data, uint32_t len, uint32_t markLen) = 0;
};

struct SyncParams {
    bool BigEndian = false;
    int ChannLenWords = 32;
};

class ReceiveRing {
public:
    ReceiveRing() { CyclicBufByte.fill(0); }

    std::array<uint8_t, kRingSize + kRingReserve> CyclicBufByte;
    std::atomic<uint32_t> ReadIndx{0};
    std::atomic<uint32_t> ParseIndx{0};

    // Result of the last start-point search.
    std::atomic<int16_t> ProtocolType{-2}; // 0 old, 1 new, -2 unknown
    std::atomic<int16_t> OldProtCH{-10};   // -10 no marker, -1 new protocol, else the old-protocol mask

    // Reads at most readRecSize bytes at ReadIndx, split at the ring's end; does not advance ReadIndx.
    // splitInfo receives (second part bytes << 16) | first part bytes for the read log.
    uint32_t ReadToCycBuf(Transport& transport, uint32_t readRecSize, ReadObserver* observers[],
                          int observerCount, uint32_t* splitInfo = nullptr);

    // Frame length in bytes at the first marker from ParseIndx, 0 when undecided, -1 (synced only)
    // when the marker found is not at ParseIndx. Not synced, ParseIndx moves to the marker.
    int32_t FindStartPointInCycBuf(bool synced, const SyncParams& p);

    bool IsNewProtMarker(uint32_t p) const;
    bool IsOldProtLEMarker(uint32_t p) const;
    bool IsOldProtBEMarker(uint32_t p) const;

    uint8_t At(uint32_t pos) const { return CyclicBufByte[pos & kRingMask]; }
    uint32_t Unparsed() const { return (ReadIndx.load() - ParseIndx.load()) & kRingMask; }
    // Copies n bytes from ring position pos, split at the ring's end.
    void CopyOut(uint32_t pos, uint8_t* dst, uint32_t n) const;
    void ZeroFill() { CyclicBufByte.fill(0); }
    void Reset() {
        ReadIndx = 0;
        ParseIndx = 0;
    }

private:
    int32_t FrameLengthAt(uint32_t i, uint32_t iend, bool newProt, const SyncParams& p, bool* valid);
};

} // namespace vintrel
