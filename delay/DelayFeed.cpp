#include "delay/DelayFeed.h"

#include <algorithm>

namespace vintrel {

void DelayFeed::OnFrame(const DecodedFrame& f) {
    if (!state_.Has(StreamState::Corr)) return;
    FrameDecoder& d = state_.Decoder;
    const TNewProtHeaderEveryFrameData& r = d.HeaderEveryFrInfo[f.FrameBufN];
    const StreamFormat format = state_.Format();
    // A block holds the format's samples per channel; one that starts near the end of the frame
    // buffer is read only up to that end.
    int samplesPerChannel = format.ChannLenWords;
    const int16_t* bufferEnd = d.WordPtr(f.FrameBufN, 0) + kFrameBufWords;
    for (const int16_t* p : {r.RXOUTforDelay, r.TXINforDelay})
        if (p) samplesPerChannel = std::min<int>(samplesPerChannel, int(bufferEnd - p));
    analysis_.SetFramePeaks(r.TXINmaxForDelay, r.RXOUTmaxForDelay);
    // A refused frame asks the window to hide; the window then clears Corr, the only writer of it.
    analysis_.Prot1AddFrame(r.RXOUTforDelay, r.TXINforDelay, samplesPerChannel,
                            format.SamplingRateFromSettings);
}

} // namespace vintrel
