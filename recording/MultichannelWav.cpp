#include "recording/MultichannelWav.h"

#include "recording/FileCause.h"
#include "recording/WavFile.h"
#include "stream/SystemError.h"

#include <algorithm>
#include <cstring>

namespace vintrel {

namespace {
constexpr int kExtensibleHeaderBytes = 68;
// KSDATAFORMAT_SUBTYPE_PCM, 00000001-0000-0010-8000-00aa00389b71, as it is stored.
constexpr uint8_t kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

void Put16(std::vector<uint8_t>& h, uint32_t v) {
    h.push_back(uint8_t(v));
    h.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& h, uint32_t v) {
    Put16(h, v & 0xFFFF);
    Put16(h, v >> 16);
}
void PutTag(std::vector<uint8_t>& h, const char* tag) {
    h.insert(h.end(), tag, tag + 4);
}
int HeaderBytes(int channels) {
    return channels <= 2 ? kWavHeaderBytes : kExtensibleHeaderBytes;
}
} // namespace

std::vector<uint8_t> MakeMultichannelHeader(int channels, int sampleRate, uint64_t dataBytes) {
    const bool extensible = channels > 2;
    const uint32_t align = uint32_t(channels) * 2;
    std::vector<uint8_t> h;
    h.reserve(kExtensibleHeaderBytes);
    PutTag(h, "RIFF");
    Put32(h, uint32_t(dataBytes + uint64_t(HeaderBytes(channels)) - 8));
    PutTag(h, "WAVE");
    PutTag(h, "fmt ");
    Put32(h, extensible ? 40 : 16);
    Put16(h, extensible ? 0xFFFE : 1);
    Put16(h, uint32_t(channels));
    Put32(h, uint32_t(sampleRate));
    Put32(h, uint32_t(sampleRate) * align);
    Put16(h, align);
    Put16(h, 16);
    if (extensible) {
        Put16(h, 22); // the extension's size
        Put16(h, 16); // valid bits per sample
        Put32(h, 0);  // channel mask: no speaker positions
        h.insert(h.end(), kPcmSubFormat, kPcmSubFormat + 16);
    }
    PutTag(h, "data");
    Put32(h, uint32_t(dataBytes));
    return h;
}

uint64_t MultichannelMaxDataBytes(int channels) {
    const uint64_t align = uint64_t(channels) * 2;
    return (0xFFFFFFFFull - uint64_t(HeaderBytes(channels) - 8)) / align * align;
}

MultichannelWav::MultichannelWav(FileSystem& files)
    : files_(files), in_(std::make_unique_for_overwrite<uint8_t[]>(kMaxMultichannels * kChunkSamples * 2)),
      out_(std::make_unique_for_overwrite<uint8_t[]>(kMaxMultichannels * kChunkSamples * 2)) {}

MultichannelEnd MultichannelWav::Write(const std::vector<std::string>& sources, const std::string& path,
                                       int sampleRate, uint64_t maxDataBytes, std::string& error) {
    const int n = int(sources.size());
    if (n < 1 || n > kMaxMultichannels) {
        error = path + ": " + std::to_string(n) + " channels (1 to " + std::to_string(kMaxMultichannels) +
                " can be written)";
        return MultichannelEnd::Failed;
    }
    std::vector<std::unique_ptr<File>> in(sources.size());
    uint64_t samples = UINT64_MAX; // per channel
    for (int c = 0; c < n; ++c) {
        int err = 0;
        in[size_t(c)] = files_.Open(sources[size_t(c)], OpenMode::Read, err);
        FileStatus st;
        if (in[size_t(c)] && (err = in[size_t(c)]->Status(st)) == 0) {
            samples = std::min(samples, st.Size > kWavHeaderBytes ? (st.Size - kWavHeaderBytes) / 2 : 0);
            continue;
        }
        error = OpenFailureCause(sources[size_t(c)], err);
        return MultichannelEnd::Failed;
    }
    const uint64_t align = uint64_t(n) * 2;
    const uint64_t maxFrames = std::min(maxDataBytes, MultichannelMaxDataBytes(n)) / align;
    const uint64_t frames = std::min(samples, maxFrames);

    int err = 0;
    std::unique_ptr<File> out = files_.Open(path, OpenMode::CreateAlways, err);
    if (!out) {
        error = CreateFailureCause(files_, path, err);
        return MultichannelEnd::Failed;
    }
    const std::vector<uint8_t> header = MakeMultichannelHeader(n, sampleRate, frames * align);
    bool ok = out->WriteAt(header.data(), header.size(), 0, err) == header.size();
    std::string failed = path;
    for (uint64_t at = 0; ok && at < frames; at += kChunkSamples) {
        const size_t k = size_t(std::min<uint64_t>(kChunkSamples, frames - at));
        for (int c = 0; c < n && ok; ++c) {
            uint8_t* dst = in_.get() + size_t(c) * kChunkSamples * 2;
            ok = in[size_t(c)]->ReadAt(dst, k * 2, kWavHeaderBytes + at * 2, err) == k * 2;
            if (!ok) failed = sources[size_t(c)];
        }
        if (!ok) break;
        uint8_t* o = out_.get();
        for (size_t i = 0; i < k; ++i)
            for (int c = 0; c < n; ++c, o += 2)
                std::memcpy(o, in_.get() + (size_t(c) * kChunkSamples + i) * 2, 2);
        ok = out->WriteAt(out_.get(), k * align, header.size() + at * align, err) == k * align;
    }
    if (const int closeErr = out->Close(); ok && closeErr != 0) {
        ok = false;
        err = closeErr;
    }
    out.reset();
    if (!ok) {
        // A file that ended early (err 0) was cut short while it was read.
        error = "write error on " + path + ": " +
                (err != 0 ? SystemErrorText(err) : failed + " ends before its samples are read");
        files_.Remove(path);
        return MultichannelEnd::Failed;
    }
    return samples > maxFrames ? MultichannelEnd::LimitReached : MultichannelEnd::Written;
}

} // namespace vintrel
