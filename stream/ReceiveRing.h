#pragma once
// The receive ring: a single-producer single-consumer byte queue between the transport thread,
// which reads the transport into it, and the parsing thread, which finds frames in it.
//
// Threads: ReadIndx and the bytes are written only through Producer() (the transport thread),
// ParseIndx and the result of the start-point search only through Consumer() (the parsing
// thread). Each side publishes its index with release and reads the other's with acquire, so
// the bytes before ReadIndx are complete when the parser sees them, and the bytes before
// ParseIndx are free when the transport sees them. Both indices are reset only while both
// threads are parked (or in a single-threaded replay).
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
    // The transport thread's side.
    class Writer {
    public:
        explicit Writer(ReceiveRing& r) : r_(r) {}
        // Reads at most readRecSize bytes at ReadIndx, split at the ring's end; the caller
        // commits them. splitInfo receives (second part bytes << 16) | first part bytes.
        uint32_t ReadToCycBuf(Transport& transport, uint32_t readRecSize, ReadObserver* observers[],
                              int observerCount, uint32_t* splitInfo = nullptr);
        // Publishes `got` bytes written at ReadIndx.
        void Commit(uint32_t got);
        // Copies bytes in at ReadIndx and commits them (replays, tests, fuzzers).
        void Write(const uint8_t* data, uint32_t n);
        uint32_t ReadIndx() const { return r_.readIndx_.load(std::memory_order_relaxed); }

    private:
        ReceiveRing& r_;
    };

    // The parsing thread's side.
    class Reader {
    public:
        explicit Reader(ReceiveRing& r) : r_(r) {}
        // Frame length in bytes at the first marker from ParseIndx; 0 when undecided (an empty
        // or short ring included); -1 (synced only) when the marker found is not at ParseIndx.
        // Not synced, ParseIndx moves to the marker.
        int32_t FindStartPointInCycBuf(bool synced, const SyncParams& p);
        // Gives up n parsed bytes.
        void Consume(uint32_t n) { SkipTo(r_.ParseIndx() + n); }
        void SkipTo(uint32_t pos) { r_.parseIndx_.store(pos & kRingMask, std::memory_order_release); }

    private:
        int32_t FrameLengthAt(uint32_t i, uint32_t iend, bool newProt, const SyncParams& p, bool* valid);
        ReceiveRing& r_;
    };

    ReceiveRing() { bytes_.fill(0); }
    ReceiveRing(const ReceiveRing&) = delete;
    ReceiveRing& operator=(const ReceiveRing&) = delete;

    Writer& Producer() { return writer_; }
    Reader& Consumer() { return reader_; }

    uint32_t ReadIndx() const { return readIndx_.load(std::memory_order_acquire); }
    uint32_t ParseIndx() const { return parseIndx_.load(std::memory_order_acquire); }
    // Result of the last start-point search: 0 old, 1 new protocol, -2 unknown; -10 no marker,
    // -1 new protocol, else the old-protocol channel mask.
    int16_t ProtocolType() const { return protocolType_.load(std::memory_order_relaxed); }
    int16_t OldProtCH() const { return oldProtCH_.load(std::memory_order_relaxed); }
    // Received and not yet parsed.
    uint32_t Unparsed() const { return (ReadIndx() - ParseIndx()) & kRingMask; }

    uint8_t At(uint32_t pos) const { return bytes_[pos & kRingMask]; }
    // Copies n bytes from ring position pos, split at the ring's end.
    void CopyOut(uint32_t pos, uint8_t* dst, uint32_t n) const;

    // Only while both threads are parked (or in one thread): both indices at `at`; ZeroFill also
    // clears the bytes.
    void ResetParked(uint32_t at = 0);
    void ZeroFill() { bytes_.fill(0); }

private:
    bool IsNewProtMarker(uint32_t p) const;
    bool IsOldProtLEMarker(uint32_t p) const;
    bool IsOldProtBEMarker(uint32_t p) const;

    std::array<uint8_t, kRingSize + kRingReserve> bytes_; // CyclicBufByte
    std::atomic<uint32_t> readIndx_{0};
    std::atomic<uint32_t> parseIndx_{0};
    std::atomic<int16_t> protocolType_{-2};
    std::atomic<int16_t> oldProtCH_{-10};
    Writer writer_{*this};
    Reader reader_{*this};
};

} // namespace vintrel
