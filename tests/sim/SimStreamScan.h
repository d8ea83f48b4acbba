#pragma once
// A small reader of simulator streams for the tests, written independently of the encoder:
// finds frames by their markers, normalises the byte order and walks new-protocol chunks.
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace vintrel::sim::test {

struct ScannedFrame {
    size_t offset = 0;             // byte offset in the stream
    size_t bytesSkippedBefore = 0; // bytes between the previous frame (or the start) and this one
    std::vector<uint16_t> words;   // normalised
};

struct StreamScan {
    std::vector<ScannedFrame> frames;
    size_t trailingBytes = 0; // bytes after the last whole frame
};

// Old-protocol frames need the block length, which the frame does not state.
StreamScan ScanStream(const std::vector<uint8_t>& bytes, bool newProtocol, bool bigEndian, int chanLenWords);

struct Chunk {
    size_t wordIndex = 0; // position of the tag in the frame
    uint16_t tag = 0;
    std::vector<uint16_t> body; // the words after the tag
};

// Walks the chunks of a new-protocol frame from word 8. Sets `endWord` to where the walk stopped:
// the checksum word of a well-formed frame. Stops early on a tag whose size is unknown (returned
// as the last chunk with an empty body).
std::vector<Chunk> WalkChunks(const std::vector<uint16_t>& frame, size_t& endWord);

uint32_t NewCounter(const std::vector<uint16_t>& frame);

// Samples per raw tag, concatenated over the frames of a new-protocol stream.
std::map<uint16_t, std::vector<int16_t>> RawChannels(const StreamScan& scan);

} // namespace vintrel::sim::test
