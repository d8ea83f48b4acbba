#include "sim/SimStreamScan.h"

#include <algorithm>

namespace vintrel::sim::test {

namespace {
uint16_t WordAt(const std::vector<uint8_t>& b, size_t p, bool bigEndian) {
    return bigEndian ? static_cast<uint16_t>(b[p] << 8 | b[p + 1])
                     : static_cast<uint16_t>(b[p + 1] << 8 | b[p]);
}

bool NewMarkerAt(const std::vector<uint8_t>& b, size_t p) {
    if (p + 8 > b.size()) return false;
    for (size_t i = 0; i < 4; ++i)
        if (b[p + i] != 0xFF || b[p + 4 + i] != 0xEE) return false;
    return true;
}

bool OldMarkerAt(const std::vector<uint8_t>& b, size_t p, bool bigEndian) {
    if (p + 4 > b.size()) return false;
    return bigEndian ? (b[p] == 0x7F && b[p + 1] == 0xFE && b[p + 2] == 0x80 && b[p + 3] == 0x01)
                     : (b[p] == 0xFE && b[p + 1] == 0x7F && b[p + 2] == 0x01 && b[p + 3] == 0x80);
}
} // namespace

StreamScan ScanStream(const std::vector<uint8_t>& bytes, bool newProtocol, bool bigEndian, int chanLenWords) {
    StreamScan scan;
    size_t p = 0, skipped = 0;
    while (p < bytes.size()) {
        size_t len = 0;
        if (newProtocol && NewMarkerAt(bytes, p) && p + 14 <= bytes.size()) {
            len = WordAt(bytes, p + 12, bigEndian);
        } else if (!newProtocol && OldMarkerAt(bytes, p, bigEndian) && p + 2 * 26 <= bytes.size()) {
            int mask = 0;
            for (size_t w = 4; w < 26; w += 2)
                if (WordAt(bytes, p + 2 * w, bigEndian) == 0x4843)
                    mask = WordAt(bytes, p + 2 * w + 2, bigEndian);
            int blocks = 1;
            for (int bit = 0; bit < 5; ++bit) blocks += (mask >> bit) & 1;
            len = static_cast<size_t>(blocks * chanLenWords * 2);
        }
        if (len == 0 || p + len > bytes.size()) {
            if (len != 0) break; // a frame cut off at the end
            ++p;
            ++skipped;
            continue;
        }
        ScannedFrame f;
        f.offset = p;
        f.bytesSkippedBefore = skipped;
        for (size_t i = 0; i < len; i += 2) f.words.push_back(WordAt(bytes, p + i, bigEndian));
        scan.frames.push_back(std::move(f));
        p += len;
        skipped = 0;
    }
    scan.trailingBytes = bytes.size() - p + skipped;
    return scan;
}

std::vector<Chunk> WalkChunks(const std::vector<uint16_t>& frame, size_t& endWord) {
    std::vector<Chunk> chunks;
    size_t t = 8;
    const size_t last = frame.size() - 1; // the checksum word
    while (t < last) {
        Chunk c;
        c.wordIndex = t;
        c.tag = frame[t];
        size_t size = 0;
        if (c.tag >= 0x0100 && c.tag <= 0x08FF)
            size = 4 + frame[t + 1];
        else if (c.tag >= 0x0900 && c.tag <= 0x20FF)
            size = 4;
        else if (c.tag == 0x8001 || c.tag == 0x8002)
            size = 4;
        else if (c.tag == 0x8003)
            size = 4 + frame[t + 1];
        if (size == 0) {
            chunks.push_back(c);
            break;
        }
        const size_t end = std::min(t + size, frame.size());
        c.body.assign(frame.begin() + static_cast<long>(t + 1), frame.begin() + static_cast<long>(end));
        chunks.push_back(std::move(c));
        t += size;
    }
    endWord = t;
    return chunks;
}

uint32_t NewCounter(const std::vector<uint16_t>& frame) {
    return frame[4] | static_cast<uint32_t>(frame[5]) << 16;
}

std::map<uint16_t, std::vector<int16_t>> RawChannels(const StreamScan& scan) {
    std::map<uint16_t, std::vector<int16_t>> out;
    for (const ScannedFrame& f : scan.frames) {
        size_t end = 0;
        for (const Chunk& c : WalkChunks(f.words, end)) {
            if (c.tag < 0x0100 || c.tag > 0x08FF) continue;
            std::vector<int16_t>& dst = out[c.tag];
            for (size_t i = 3; i < c.body.size(); ++i) dst.push_back(static_cast<int16_t>(c.body[i]));
        }
    }
    return out;
}

} // namespace vintrel::sim::test
