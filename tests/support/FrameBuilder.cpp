#include "support/FrameBuilder.h"

#include <bit>

namespace vintrel::test {

NewFrame& NewFrame::Raw(uint16_t tag, const std::vector<int16_t>& samples) {
    return RawCount(tag, uint16_t(samples.size()), samples);
}

NewFrame& NewFrame::RawCount(uint16_t tag, uint16_t count, const std::vector<int16_t>& samples) {
    body_.insert(body_.end(), {tag, count, 0, 0});
    for (int16_t s : samples) body_.push_back(uint16_t(s));
    return *this;
}

NewFrame& NewFrame::Profile(uint16_t chunkNo, uint16_t wordsLeft, const std::vector<uint16_t>& words,
                            std::optional<uint16_t> lenWord) {
    body_.insert(body_.end(), {0x8003, lenWord.value_or(uint16_t(words.size())), chunkNo, wordsLeft});
    body_.insert(body_.end(), words.begin(), words.end());
    return *this;
}

NewFrame& NewFrame::Chunk4(uint16_t tag, uint16_t a, uint16_t b, uint16_t c) {
    body_.insert(body_.end(), {tag, a, b, c});
    return *this;
}

NewFrame& NewFrame::Words(std::initializer_list<uint16_t> w) {
    body_.insert(body_.end(), w);
    return *this;
}

std::vector<uint16_t> NewFrame::FrameWords() const {
    std::vector<uint16_t> w = {0xFFFF, 0xFFFF, 0xEEEE, 0xEEEE, uint16_t(counter_), uint16_t(counter_ >> 16),
                               0,      0};
    w.insert(w.end(), body_.begin(), body_.end());
    w.push_back(0);
    w[6] = lengthOverride_.value_or(uint16_t(w.size() * 2));
    uint16_t x = 0;
    for (size_t i = 0; i + 1 < w.size(); ++i) x ^= w[i];
    w.back() = badChecksum_ ? uint16_t(x ^ 0x5A5A) : x;
    return w;
}

std::vector<uint8_t> NewFrame::Bytes(bool bigEndian) const {
    return WordsToBytes(FrameWords(), bigEndian);
}

OldFrame& OldFrame::Channels(uint16_t mask, int16_t fill) {
    keys_.push_back({0x4843, mask});
    const int n = std::popcount(unsigned(mask > 31 ? 31 : mask));
    for (int b = 0; b < n; ++b) blocks_.push_back(std::vector<int16_t>(chanLen_, int16_t(fill + b)));
    return *this;
}

OldFrame& OldFrame::NoMaskKey(int blocks, int16_t fill) {
    for (int b = 0; b < blocks; ++b) blocks_.push_back(std::vector<int16_t>(chanLen_, int16_t(fill + b)));
    return *this;
}

std::vector<uint16_t> OldFrame::FrameWords() const {
    std::vector<uint16_t> w(chanLen_, 0);
    w[0] = 0x7FFE;
    w[1] = 0x8001;
    w[2] = counter_;
    w[3] = psk_;
    size_t at = 4;
    for (const KV& kv : keys_) {
        w[at] = kv.k;
        w[at + 1] = kv.v;
        at += 2;
    }
    for (const auto& b : blocks_)
        for (int16_t s : b) w.push_back(uint16_t(s));
    return w;
}

std::vector<uint8_t> OldFrame::Bytes(bool bigEndian) const {
    return WordsToBytes(FrameWords(), bigEndian);
}

std::vector<uint8_t> WordsToBytes(const std::vector<uint16_t>& w, bool bigEndian) {
    std::vector<uint8_t> b;
    b.reserve(w.size() * 2);
    for (uint16_t x : w) {
        const uint8_t lo = uint8_t(x), hi = uint8_t(x >> 8);
        if (bigEndian)
            b.insert(b.end(), {hi, lo});
        else
            b.insert(b.end(), {lo, hi});
    }
    return b;
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& from) {
    to.insert(to.end(), from.begin(), from.end());
}

std::vector<uint8_t> LongFrames() {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 2; ++i)
        Append(bytes, NewFrame(i).Raw(0x0101, std::vector<int16_t>(20000, 7)).Bytes());
    return bytes;
}

} // namespace vintrel::test
