// One frame as the parser hands it to the decoder: the frame's words are arbitrary, only its
// length is what the frame finder guarantees (the new protocol's length word is between the
// smallest and largest frame; the old protocol's follows from its channel mask and format).
// Byte 0 chooses the protocol, byte order, checksum check and format, byte 1 the frame buffer,
// bytes 2-3 the old protocol's mask as the marker search leaves it (negative when none was read).
#include "fuzz/FuzzInput.h"
#include "stream/FrameDecoder.h"
#include "stream/FrameLayout.h"
#include "stream/QueueSink.h"
#include "stream/StreamFormat.h"

#include <algorithm>
#include <memory>

namespace {

using namespace vintrel;

struct Decoder {
    QueueSink sink;
    TagModel tags;
    DecoderSettings settings;
    FrameDecoder dec{tags, settings, &sink};
    ReceiveRing ring;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One decoder for the whole run, as one parsing thread decodes frame after frame: the
    // profile assembly and the target information carry over from input to input.
    static auto* d = new Decoder;
    fuzz::FuzzInput in(data, size);
    const uint8_t options = in.Byte();
    const int bufN = in.Byte() % kFrameBuffers;
    const int mask = int16_t(in.Word());
    const bool oldProtocol = options & 1;
    const StreamFormat f = GetStreamFormat(DataStreamFormat((options >> 3) % kFormatCount));
    d->settings.ChannLenWords = f.ChannLenWords;
    d->settings.BigEndian = options & 2;
    d->settings.VerifyChecksum = !(options & 4);

    size_t bytes = in.RestSize() & ~size_t(1);
    if (oldProtocol) {
        bytes = size_t(OldProtFrameBytes(mask, f.ChannLenWords));
    } else {
        bytes = std::clamp<size_t>(bytes, kNewMinFrameBytes, kNewMaxFrameBytes);
    }
    // The frame starts anywhere in the ring, so copies that wrap at its end are covered too.
    const uint32_t at = uint32_t(in.RestSize() * 7919u) & kRingMask;
    d->ring.ResetParked(at);
    const size_t given = std::min(bytes, in.RestSize());
    d->ring.Producer().Write(in.Rest(), uint32_t(given));
    static const uint8_t kZeros[kNewMaxFrameBytes] = {};
    d->ring.Producer().Write(kZeros, uint32_t(bytes - given));
    d->dec.CopyAndSwap(d->ring, uint32_t(bytes), bufN);
    if (oldProtocol)
        d->dec.ParseOldProtocolFrame(int(bytes / 2), bufN, mask);
    else
        d->dec.ParseNewProtocolFrame(int(bytes / 2), bufN);
    QueuedMessage m;
    while (d->sink.Take(m)) {
    }
    (void)d->dec.StatString();
    return 0;
}
