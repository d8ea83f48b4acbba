// The receive path as the transport and parsing threads run it (ring, marker search,
// synchronisation, frame extraction, decoding, reports), fed arbitrary bytes in arbitrary read
// sizes. Byte 0 chooses the format, byte order and checksum check; bytes 1-16 are the read sizes,
// taken in turn.
#include "fuzz/FuzzInput.h"
#include "stream/Replay.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

using namespace vintrel;

class ChunkedTransport : public Transport {
public:
    ChunkedTransport(const uint8_t* data, size_t size, const std::array<uint32_t, 16>& sizes)
        : data_(data), size_(size), sizes_(sizes) {}
    TransportRead Read(uint8_t* dst, uint32_t len, bool) override {
        const uint32_t want = sizes_[next_++ % sizes_.size()];
        if (want == 0) return {0, false}; // a read that timed out
        const size_t n = std::min<size_t>({len, want, size_ - pos_});
        std::memcpy(dst, data_ + pos_, n);
        pos_ += n;
        return {uint32_t(n), false};
    }
    bool Exhausted() const { return pos_ >= size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    size_t next_ = 0;
    std::array<uint32_t, 16> sizes_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    const uint8_t options = in.Byte();
    ReplayOptions o;
    o.Format = DataStreamFormat(options % kFormatCount);
    o.BigEndian = options & 0x10;
    o.VerifyChecksum = !(options & 0x20);
    o.InconsistFramesThresh = (options >> 6) + 1;
    std::array<uint32_t, 16> sizes{};
    bool anyRead = false;
    for (uint32_t& s : sizes) {
        const uint8_t b = in.Byte();
        // Small reads byte by byte up to 127, large ones in steps of 512 bytes (up to 64 KiB).
        s = b & 0x80 ? uint32_t(b & 0x7F) * 512 : b;
        anyRead |= s != 0;
    }
    if (!anyRead) sizes[0] = 1;

    ChunkedTransport transport(in.Rest(), in.RestSize(), sizes);
    Replay replay(
        transport, [&transport] { return transport.Exhausted(); }, o);
    // Every pass reads or times out; a bound far above what the bytes need ends a loop that
    // stopped consuming them.
    replay.Run(64 * (in.RestSize() + 64));
    return 0;
}
