#pragma once
// One 16-bit WAV file of several channels, interleaved from the record's mono WAV files after
// they are written: sample n of every channel in turn, as far as the shortest file goes. One or
// two channels get the plain PCM header, more get WAVE_FORMAT_EXTENSIBLE (channel mask 0, no
// speaker positions). Reads and writes go through two buffers made once.
//
// Threads: the owner's thread (the one parsing a record) makes every call.
#include "recording/FileSystem.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vintrel {

constexpr int kMaxMultichannels = 32;

// The header for `channels` 16-bit channels at `sampleRate` with `dataBytes` of data: 44 bytes
// for one or two channels, 68 (WAVE_FORMAT_EXTENSIBLE) for more.
std::vector<uint8_t> MakeMultichannelHeader(int channels, int sampleRate, uint64_t dataBytes);
// The largest data size the header can state, in whole sample frames of all channels.
uint64_t MultichannelMaxDataBytes(int channels);

enum class MultichannelEnd { Written, LimitReached, Failed };

class MultichannelWav {
public:
    static constexpr size_t kChunkSamples = 4096; // per channel and pass

    explicit MultichannelWav(FileSystem& files);

    // Interleaves the data of the mono files `sources` (44-byte headers) into `path`, created
    // anew; the data stop at `maxDataBytes` (and the header's own limit) on a whole sample frame.
    // Failed, with the file removed and `error` naming the file and the cause, when a file cannot
    // be read or written.
    MultichannelEnd Write(const std::vector<std::string>& sources, const std::string& path, int sampleRate,
                          uint64_t maxDataBytes, std::string& error);

private:
    FileSystem& files_;
    std::unique_ptr<uint8_t[]> in_;  // kChunkSamples samples of each channel, one after the other
    std::unique_ptr<uint8_t[]> out_; // the same samples interleaved
};

} // namespace vintrel
