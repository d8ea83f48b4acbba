#pragma once
// Hand-made frames of both protocols for tests that need exact control over every word.
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

namespace vintrel::test {

class NewFrame {
public:
    explicit NewFrame(uint32_t counter = 0) : counter_(counter) {}
    NewFrame& Raw(uint16_t tag, const std::vector<int16_t>& samples);
    // A raw chunk whose sample-count word says `count` whatever follows.
    NewFrame& RawCount(uint16_t tag, uint16_t count, const std::vector<int16_t>& samples);
    NewFrame& Ampl(uint16_t tag, int16_t peak) { return Chunk4(tag, 0, uint16_t(peak), 0); }
    NewFrame& Diag(uint16_t tag, int16_t value) { return Chunk4(tag, 0, uint16_t(value), 0); }
    NewFrame& Mips(int16_t maxMips, int16_t mips) {
        return Chunk4(0x8002, uint16_t(maxMips), uint16_t(mips), 0);
    }
    NewFrame& Info(uint16_t info, int16_t revision) { return Chunk4(0x8001, info, uint16_t(revision), 0); }
    NewFrame& Profile(uint16_t chunkNo, uint16_t wordsLeft, const std::vector<uint16_t>& words,
                      std::optional<uint16_t> lenWord = std::nullopt);
    NewFrame& Chunk4(uint16_t tag, uint16_t a, uint16_t b, uint16_t c);
    NewFrame& Words(std::initializer_list<uint16_t> w);
    NewFrame& BadChecksum() {
        badChecksum_ = true;
        return *this;
    }
    NewFrame& LengthWord(uint16_t len) {
        lengthOverride_ = len;
        return *this;
    }

    std::vector<uint16_t> FrameWords() const;
    std::vector<uint8_t> Bytes(bool bigEndian = false) const;

private:
    uint32_t counter_;
    std::vector<uint16_t> body_;
    bool badChecksum_ = false;
    std::optional<uint16_t> lengthOverride_;
};

class OldFrame {
public:
    OldFrame(uint16_t counter, int chanLenWords) : counter_(counter), chanLen_(chanLenWords) {}
    OldFrame& Psk(uint16_t word) {
        psk_ = word;
        return *this;
    }
    OldFrame& Key(uint16_t key, uint16_t value) {
        keys_.push_back({key, value});
        return *this;
    }
    // Adds the "CH" key and one block per set bit (bits 0-4), block b filled with `fill + b`.
    OldFrame& Channels(uint16_t mask, int16_t fill = 100);
    OldFrame& NoMaskKey(int blocks, int16_t fill = 100);

    std::vector<uint16_t> FrameWords() const;
    std::vector<uint8_t> Bytes(bool bigEndian = false) const;

private:
    struct KV {
        uint16_t k, v;
    };
    uint16_t counter_;
    int chanLen_;
    uint16_t psk_ = 0;
    std::vector<KV> keys_;
    std::vector<std::vector<int16_t>> blocks_;
};

std::vector<uint8_t> WordsToBytes(const std::vector<uint16_t>& w, bool bigEndian);
void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& from);
// Two new-protocol frames 40 000 bytes long: after them a receiver waits in a read of one such
// frame, 40 s of a serial port's time-out on a silent line.
std::vector<uint8_t> LongFrames();

} // namespace vintrel::test
