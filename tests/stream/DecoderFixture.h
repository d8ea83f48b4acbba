#pragma once
// A decoder with its tag model and settings, fed frames through a real ring.
#include "stream/FrameDecoder.h"
#include "stream/QueueSink.h"

#include <vector>

namespace vintrel::test {

struct DecoderFixture {
    QueueSink sink;
    TagModel tags;
    DecoderSettings settings;
    FrameDecoder dec{tags, settings, &sink};
    ReceiveRing ring;

    // Copies the frame into the ring at ParseIndx and from there into buffer n, as the parser does.
    void Load(const std::vector<uint8_t>& bytes, int n, uint32_t at = 0) {
        ring.ResetParked(at);
        ring.Producer().Write(bytes.data(), uint32_t(bytes.size()));
        dec.CopyAndSwap(ring, uint32_t(bytes.size()), n);
    }
    int DecodeNew(const std::vector<uint8_t>& bytes, int n = 0, uint32_t at = 0) {
        Load(bytes, n, at);
        return dec.ParseNewProtocolFrame(int(bytes.size() / 2), n);
    }
    int DecodeOld(const std::vector<uint8_t>& bytes, int mask, int n = 0) {
        Load(bytes, n);
        return dec.ParseOldProtocolFrame(int(bytes.size() / 2), n, mask);
    }
    const TNewProtHeaderEveryFrameData& Rec(int n = 0) const { return dec.HeaderEveryFrInfo[n]; }
};

} // namespace vintrel::test
