#pragma once
// The five signals of an echo canceller at work: the far-end talker on RXout, its delayed and
// attenuated echo plus room noise (and, if asked for, a near-end talker) on TX1in, noise on TX2in
// and RXin, and TXout = TX1in with the echo mostly removed and the near-end talker kept.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/NearTalker.h"
#include "sim/SimChannels.h"
#include "sim/SimRandom.h"
#include "sim/Talker.h"

namespace vintrel::sim {

// Samples stay within +-kSampleLimit. That keeps them clear of the old-protocol marker words
// (0x7FFE, 0x8001) and of every old-protocol key word (all above 18000), so no sample in a header
// scan window can pass for a marker or a "CH" key.
constexpr int kSampleLimit = 16000;

struct SignalFrame {
    std::array<std::vector<int16_t>, kSimChannelCount> samples; // indexed by SimChannel
    bool farEndVoice = false;  // a syllable sounded on RXout during the frame
    bool echoPresent = false;  // its echo reached TX1in during the frame
    bool nearEndVoice = false; // the frame lies in a near-end talk burst
};

// The acoustic path and the canceller. The defaults are the simulator's classic signals.
struct SignalSettings {
    static constexpr double kDefaultEchoGain = 0.35;    // loudspeaker-to-microphone coupling
    static constexpr double kDefaultResidualEcho = 0.1; // what the canceller leaves of the echo on TXout

    double echoGain = kDefaultEchoGain;         // echo on TX1in = echoGain x RXout, delayed
    double residualEcho = kDefaultResidualEcho; // echo on TXout = residualEcho x echo on TX1in
    double nearTalkEverySeconds = 0;            // 0: no near-end talker
    bool noise = true;                          // false: no noise on any channel
};

// Linear amplitude gain of an attenuation in dB: 10^(-dB / 20).
double GainForAttenuationDb(double db);

class SignalSource {
public:
    static constexpr double kVoiceEnvelope = 0.05; // envelope above which a syllable counts as sounding

    SignalSource(int sampleRate, int echoDelayMs, uint64_t seed, const SignalSettings& settings = {});

    // Fills every channel with the next `samplesPerChannel` samples.
    void NextFrame(int samplesPerChannel, SignalFrame& frame);
    int EchoDelaySamples() const { return delaySamples_; }

private:
    Talker talker_;
    NearTalker nearTalker_;
    SimRandom noise_;
    SignalSettings settings_;
    double noiseScale_; // 1, or 0 without noise
    uint64_t frameIndex_ = 0;
    int delaySamples_;
    // The last delaySamples_ + 1 RXout samples and talker envelopes: the echo path's memory.
    std::vector<double> rxOutHistory_;
    std::vector<double> envelopeHistory_;
    size_t historyPos_ = 0;
};

} // namespace vintrel::sim
