#include "sim/SignalSource.h"

#include <algorithm>
#include <cmath>

namespace vintrel::sim {

namespace {
// Noise levels (standard deviation, in sample units) of the far-end line, the microphones and
// the receive input.
constexpr double kRxOutNoise = 20.0;
constexpr double kTx1Noise = 110.0;
constexpr double kTx2Noise = 90.0;
constexpr double kRxInNoise = 60.0;
// The noise suppressor's attenuation of the microphone noise on TXout.
constexpr double kTxOutNoiseGain = 0.7;

int16_t ToSample(double v) {
    const long r = std::lround(v);
    return static_cast<int16_t>(std::clamp<long>(r, -kSampleLimit, kSampleLimit));
}
} // namespace

double GainForAttenuationDb(double db) {
    return std::pow(10.0, -db / 20.0);
}

SignalSource::SignalSource(int sampleRate, int echoDelayMs, uint64_t seed, const SignalSettings& settings)
    : talker_(sampleRate, DeriveSeed(seed, RandomStream::Talker)),
      nearTalker_(sampleRate, settings.nearTalkEverySeconds), noise_(DeriveSeed(seed, RandomStream::Noise)),
      settings_(settings), noiseScale_(settings.noise ? 1.0 : 0.0),
      delaySamples_(static_cast<int>(std::lround(static_cast<double>(echoDelayMs) * sampleRate / 1000.0))),
      rxOutHistory_(static_cast<size_t>(delaySamples_) + 1, 0.0),
      envelopeHistory_(static_cast<size_t>(delaySamples_) + 1, 0.0) {}

void SignalSource::NextFrame(int samplesPerChannel, SignalFrame& frame) {
    for (auto& s : frame.samples) s.resize(static_cast<size_t>(samplesPerChannel));
    frame.farEndVoice = false;
    frame.echoPresent = false;
    frame.nearEndVoice = nearTalker_.InBurst(frameIndex_++, samplesPerChannel);
    const size_t historyLen = rxOutHistory_.size();
    for (int i = 0; i < samplesPerChannel; ++i) {
        const TalkerSample talk = talker_.Next();
        const int16_t rxOut = ToSample(talk.value + noiseScale_ * kRxOutNoise * noise_.Gaussian());

        // With the newest sample written, the slot after it holds the one from delaySamples_ ago
        // (with no delay that is the same slot).
        rxOutHistory_[historyPos_] = rxOut;
        envelopeHistory_[historyPos_] = talk.envelope;
        const size_t delayedPos = (historyPos_ + 1) % historyLen;
        const double delayedRxOut = rxOutHistory_[delayedPos];
        const double delayedEnvelope = envelopeHistory_[delayedPos];
        historyPos_ = delayedPos;

        const double echo = settings_.echoGain * delayedRxOut;
        const double micNoise = noiseScale_ * kTx1Noise * noise_.Gaussian();
        const double nearVoice = frame.nearEndVoice ? nearTalker_.Next() : 0.0;
        const size_t n = static_cast<size_t>(i);
        frame.samples[static_cast<int>(SimChannel::RxOut)][n] = rxOut;
        frame.samples[static_cast<int>(SimChannel::Tx1In)][n] = ToSample(echo + micNoise + nearVoice);
        frame.samples[static_cast<int>(SimChannel::TxOut)][n] =
            ToSample(settings_.residualEcho * echo + kTxOutNoiseGain * micNoise + nearVoice);
        frame.samples[static_cast<int>(SimChannel::Tx2In)][n] =
            ToSample(noiseScale_ * kTx2Noise * noise_.Gaussian());
        frame.samples[static_cast<int>(SimChannel::RxIn)][n] =
            ToSample(noiseScale_ * kRxInNoise * noise_.Gaussian());

        frame.farEndVoice |= talk.envelope > kVoiceEnvelope;
        frame.echoPresent |= delayedEnvelope > kVoiceEnvelope;
    }
}

} // namespace vintrel::sim
