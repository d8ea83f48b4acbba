#include "delay/EchoMetricsFeed.h"

#include "stream/StreamState.h"

#include <algorithm>

namespace vintrel {

namespace {

constexpr uint16_t kGroupTxIn = 0x0100, kGroupTxOut = 0x0600, kGroupRxOut = 0x0700;

// The group's lowest channel that carries samples: TX1in, TXout, RXout.
const ChannelValues* FirstOf(const FrameChannels& c, uint16_t group) {
    for (int bit = 0; bit < 8; ++bit) {
        const ChannelValues* v = c.Find(uint16_t(group | (1u << bit)));
        if (v && v->FirstBlock && v->FirstBlockSamples > 0) return v;
    }
    return nullptr;
}

double MeanSquare(const ChannelValues& v) {
    double sum = 0;
    for (int i = 0; i < v.FirstBlockSamples; ++i) sum += double(v.FirstBlock[i]) * v.FirstBlock[i];
    return sum / v.FirstBlockSamples;
}

int VadOf(const ChannelValues& v) {
    return v.Vad == kNotAvailable ? EchoFrame::kNoVad : v.Vad;
}

} // namespace

void EchoMetricsFeed::OnFrame(const DecodedFrame& f) {
    FrameDecoder& d = state_.Decoder;
    if (f.Protocol == 1)
        channels_.FromNewProtocol(reinterpret_cast<const uint16_t*>(d.WordPtr(f.FrameBufN, 0)),
                                  int(f.Bytes / 2));
    else
        channels_.FromOldProtocol(d.HeaderEveryFrInfo[f.FrameBufN], state_.Tags);
    const ChannelValues* rx = FirstOf(channels_, kGroupRxOut);
    const ChannelValues* mic = FirstOf(channels_, kGroupTxIn);
    const ChannelValues* out = FirstOf(channels_, kGroupTxOut);
    if (!rx || !mic || !out) {
        ++lacking_;
        return;
    }
    EchoFrame e;
    e.Rx = MeanSquare(*rx);
    e.Mic = MeanSquare(*mic);
    e.Out = MeanSquare(*out);
    e.VadRx = VadOf(*rx);
    e.VadTx = VadOf(*out);
    delay_.AddFrame(e.Rx, e.Mic);
    delay_.AddBlocks(rx->FirstBlock, mic->FirstBlock,
                     std::min(rx->FirstBlockSamples, mic->FirstBlockSamples));
    metrics_.AddFrame(e, delay_.DelayFrames());
    ++counted_;
}

} // namespace vintrel
